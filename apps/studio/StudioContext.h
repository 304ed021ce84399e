#pragma once

#include <QString>
#include <functional>

namespace tvn {
class Trelvan;
}

namespace studio {

// What the panels of the studio share: the control and a way to run a call on it
// that reports a failure in the status bar instead of letting it escape.
struct StudioContext {
    tvn::Trelvan* control = nullptr;
    std::function<void(const QString&)> showMessage;
    // Runs the call; a TvnError is shown as "error N: description [source]". Returns false on failure.
    bool run(const QString& what, const std::function<void()>& call) const;
};

}  // namespace studio
