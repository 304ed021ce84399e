#pragma once

#include <QString>
#include <functional>

namespace tvn {
class Trelvan;
class TvnError;
}

namespace studio {

// What the panels of the studio share: the control, a status line, and a way to
// run a call on it that reports a failure to the coach instead of letting it escape.
struct StudioContext {
    tvn::Trelvan* control = nullptr;
    std::function<void(const QString&)> showMessage;
    std::function<void(const QString& what, const tvn::TvnError&)> showFailure;
    // Runs the call; a failure is shown (showFailure). Returns false on failure.
    bool run(const QString& what, const std::function<void()>& call) const;
};

}  // namespace studio
