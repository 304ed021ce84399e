#include "layout/FilmStrip.h"

#include "control/ControlParts.h"
#include "control/ControlProperties.h"
#include "control/ControlState.h"
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
    parts_.Picture5->setPicture(Picture());
    parts_.Picture5->clear();
}

void FilmStrip::TVN_ShowFilmStrip(bool onOrOff) {
    withPrefix("TVN_ShowFilmStrip", [&] {
        if (onOrOff) {
            clearSurface();
            parts_.FilmStripPanel->show();
            parts_.FilmStripPanel->raise();
            if (!DrawFilmStrip()) return;  // the control is gone
        } else {
            clearSurface();
            parts_.FilmStripPanel->hide();
            clearSurface();
        }
        parts_.FilmStripPanel->update();
    });
}

bool FilmStrip::DrawFilmStrip() {
    if (parts_.FilmStripPanel->isHidden()) return true;
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

    Surface& surface = *parts_.Picture5;
    bool survived = true;
    withPrefix("DrawFilmStrip", [&] {
        const QWidget& control = *parts_.widget;
        parts_.FilmStripPanel->setGeometry(0, 0, control.width(), control.height());
        // In the surface's own unit (twips, as the control's): at 15 twips per
        // pixel every width divides by 3, so the grid always has three columns.
        surface.setSize(control.width() * surface.twipsPerPixel(), control.height() * surface.twipsPerPixel());
        surface.setPicture(Picture(surface.image()));  // what is drawn so far stays as background
        survived = parts_.platform->processEventsAndSurvive(parts_.widget);
    });
    if (!survived) {
        busyReset.flag = nullptr;
        return false;
    }
    InputBlock block({parts_.VideoCapX1->Display(), parts_.VideoMixerX1->Display(), parts_.FilmStripPanel});

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
        ignoringErrors([&] { frame = parts_.VideoCapX1->CurrentFramePicture(); });
        const double w = surface.width();
        const double h = surface.height();
        if (!frame.isNothing()) ignoringErrors([&] { surface.paintPicture(frame.image(), x, y, w / 3, h / 3); });
        ignoringErrors([&] { x = toInt32(x + w / 3); });
        if (x >= w) {
            x = 0;
            ignoringErrors([&] { y = toInt32(y + h / 3); });
        }
        ignoringErrors([&] { transport.TVN_StepOneFrame(); });
        ignoringErrors([&] { parts_.platform->waitMs(kStepWaitMs); });
    }
    ignoringErrors([&] { surface.setPicture(Picture(surface.image())); });
    ignoringErrors([&] { transport.TVN_SetPos(saved); });
    parts_.FilmStripPanel->update();
    return true;
}

void FilmStrip::SyncPositionViews() {
    // Every failure is ignored; a failing step is skipped.
    const ControlState& s = state_;
    bool mixerShown = false;
    ignoringErrors([&] { mixerShown = parts_.VideoMixerX1->Visible(); });
    if (mixerShown) {
        ignoringErrors([&] { parts_.VideoMixerX1->SeekSource(s.mainMixerSource, props_.TVN_CurrentPos); });
        ignoringErrors([&] { parts_.VideoMixerX1->PauseSource(s.mainMixerSource); });
    }
    if (!parts_.FilmStripPanel->isHidden()) ignoringErrors([&] { DrawFilmStrip(); });
}

}  // namespace tvn
