#pragma once

#include <QColor>
#include <QString>
#include <cstdint>
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

    // The control's colours are 0x00BBGGRR (red in the low byte).
    static QColor toQColor(int32_t colour) { return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF); }
    static int32_t fromQColor(const QColor& c) { return c.red() | (c.green() << 8) | (c.blue() << 16); }
};

}  // namespace studio
