#pragma once

namespace tvn {

class TvnError;

// Where a subsystem leaves a failure no call is there to receive (a lesson
// frame the engine refused mid-lesson), or the reason of a call that can only
// answer False: kept as the control's lastNotificationError(), logged under
// `procedure` and signalled by failed(). The control implements it.
class FailureReport {
public:
    virtual void reportFailure(const char* procedure, const TvnError& error) = 0;

protected:
    ~FailureReport() = default;
};

}  // namespace tvn
