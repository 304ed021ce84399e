#include "layout/FilmStrip.h"

#include "core/Numeric.h"
#include "core/TvnError.h"
#include "media/VideoEngine.h"
#include "media/VideoMixer.h"
#include "platform/Platform.h"
#include "platform/Surface.h"
#include "platform/SurfaceView.h"
#include "playback/Transport.h"

#include <QPointer>
#include <utility>
#include <vector>

namespace tvn {

namespace {

// Blocks user input on the widgets that take it while the strip is drawn, and
// gives each back the enabled state it had, however the drawing ends.
class InputBlock {
public:
    explicit InputBlock(std::initializer_list<QWidget*> widgets) {
        for (QWidget* w : widgets) {
            if (!w) continue;
            saved_.emplace_back(w, w->testAttribute(Qt::WA_ForceDisabled));
            w->setEnabled(false);
        }
    }
    ~InputBlock() {
        for (auto& [widget, wasDisabled] : saved_)
            if (widget) widget->setEnabled(!wasDisabled);
    }
    InputBlock(const InputBlock&) = delete;
    InputBlock& operator=(const InputBlock&) = delete;

private:
    std::vector<std::pair<QPointer<QWidget>, bool>> saved_;
};

}  // namespace

void FilmStrip::clearSurface() {
    drives_.filmStripPicture.setPicture(Picture());
    drives_.filmStripPicture.clear();
}

void FilmStrip::TVN_ShowFilmStrip(bool onOrOff) {
    withPrefix("TVN_ShowFilmStrip", [&] {
        if (onOrOff) {
            clearSurface();
            drives_.filmStripPanel.show();
            drives_.filmStripPanel.raise();
            if (!DrawFilmStrip()) return;  // the control is gone
        } else {
            clearSurface();
            drives_.filmStripPanel.hide();
            clearSurface();
        }
        drives_.filmStripPanel.update();
    });
}

bool FilmStrip::DrawFilmStrip() {
    if (drives_.filmStripPanel.isHidden()) return true;
    if (filmStripBusy_) return true;
    filmStripBusy_ = true;
    // A failure before the frame loop would otherwise leave the flag set and
    // silence every later strip; it is cleared on every way out.
    struct BusyReset {
        bool* flag;  // null once the control is gone
        ~BusyReset() {
            if (flag) *flag = false;
        }
    } busyReset{&filmStripBusy_};

    Surface& surface = drives_.filmStripPicture;
    bool survived = true;
    withPrefix("DrawFilmStrip", [&] {
        const QWidget& control = drives_.control;
        drives_.filmStripPanel.setGeometry(0, 0, control.width(), control.height());
        // In the surface's own unit (twips, as the control's): at 15 twips per
        // pixel every width divides by 3, so the grid always has three columns.
        surface.setSize(control.width() * surface.twipsPerPixel(), control.height() * surface.twipsPerPixel());
        surface.setPicture(Picture(surface.image()));  // what is drawn so far stays as background
        survived = drives_.platform.processEventsAndSurvive(&drives_.control);
    });
    if (!survived) {
        busyReset.flag = nullptr;
        return false;
    }
    InputBlock block({drives_.display.Display(), drives_.mixer.Display(), &drives_.filmStripPanel});

    // From here nothing fails: a step that fails is skipped and the next runs,
    // so a thumbnail that cannot be painted is left out and the position is
    // still restored.
    Transport& transport = transport_;
    double saved = 0;
    ignoringErrors([&] { saved = transport.TVN_GetPos(); });
    // 32-bit, so that a control wider than 32767 twips (2184 pixels) still
    // gets its rows.
    int32_t x = 0;
    int32_t y = 0;
    for (int i = 0; i < kThumbnails; ++i) {
        Picture frame;
        ignoringErrors([&] { frame = drives_.display.CurrentFramePicture(); });
        const double w = surface.width();
        const double h = surface.height();
        if (!frame.isNothing()) ignoringErrors([&] { surface.paintPicture(frame.image(), x, y, w / 3, h / 3); });
        ignoringErrors([&] { x = toInt32(x + w / 3); });
        if (x >= w) {
            x = 0;
            ignoringErrors([&] { y = toInt32(y + h / 3); });
        }
        ignoringErrors([&] { transport.TVN_StepOneFrame(); });
        ignoringErrors([&] { drives_.platform.waitMs(kStepWaitMs); });
    }
    ignoringErrors([&] { surface.setPicture(Picture(surface.image())); });
    ignoringErrors([&] { transport.TVN_SetPos(saved); });
    drives_.filmStripPanel.update();
    return true;
}

void FilmStrip::SyncPositionViews() {
    // Every failure is ignored; a failing step is skipped.
    bool mixerShown = false;
    ignoringErrors([&] { mixerShown = drives_.mixer.Visible(); });
    if (mixerShown) {
        ignoringErrors([&] { drives_.mixer.SeekSource(overlaySources_.mainMixerSource, props_.TVN_CurrentPos); });
        ignoringErrors([&] { drives_.mixer.PauseSource(overlaySources_.mainMixerSource); });
    }
    if (!drives_.filmStripPanel.isHidden()) ignoringErrors([&] { DrawFilmStrip(); });
}

}  // namespace tvn
