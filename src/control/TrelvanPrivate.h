#pragma once

#include "control/AnnotationRedraw.h"
#include "control/Companions.h"
#include "control/ControlEvents.h"
#include "control/ControlParts.h"
#include "control/ControlState.h"
#include "control/FailureReport.h"
#include "control/PositionViews.h"
#include "core/TvnError.h"
#include "media/Components.h"

#include <exception>
#include <memory>

namespace tvn {

class AnnotationEditor;
class AnnotationRenderer;
class AnnotationStore;
class ClipLoader;
class FilmStrip;
class FrameExport;
class LayoutManager;
class LessonAudioSelection;
class LessonCompressor;
class LessonLogoLoader;
class LessonRecorder;
class OverlayController;
class PointerHandler;
class TrackingTrail;
class Transport;
class Trelvan;
class ZoomLoupe;
class TrelvanListener;

// Everything of the control a host does not see: the components it was given,
// its children, the state its subsystems share, the subsystems themselves, the
// listener, the kept failure and the companions (Companions). It raises the control's events for the
// subsystems (ControlEvents), keeps the failures they report (FailureReport)
// and carries the two requests that would otherwise make subsystems call each
// other in a circle: redraw the annotations, sync the position views. Kept out of the installed Trelvan.h, so that none of it is
// part of a host's ABI.
class TrelvanPrivate final : private ControlEvents, private FailureReport, private AnnotationRedraw,
                             private PositionViews {
public:
    TrelvanPrivate(Trelvan& control, Components components);
    ~TrelvanPrivate();
    TrelvanPrivate(const TrelvanPrivate&) = delete;
    TrelvanPrivate& operator=(const TrelvanPrivate&) = delete;

    // The control's start-up values, once the private implementation is in place.
    void initialise();
    // Runs a notification handler; a failure (already prefixed by the handler)
    // is kept and logged, never thrown back into the component that notified.
    template <class Handler>
    void handleNotification(const char* name, Handler&& handler);
    // Keeps a failure for the host, logs it and signals it (failed).
    void keepFailure(const char* name, const TvnError& error);
    // The control was resized: the layout follows.
    void resized();
    // Readable drawing on or off: the renderer's pens, the loupe's border, drawn again.
    void setReadableDrawing(bool on);
    QWidget* visibleVideoWidget() const;

    Trelvan& q;
    Components components;
    ControlParts parts;
    ControlState state;
    std::unique_ptr<AnnotationStore> store;

    // Subsystems, in the order they are built: each after the ones it is handed,
    // so that it goes before them.
    std::unique_ptr<Transport> transport;
    std::unique_ptr<TrackingTrail> tracking;
    std::unique_ptr<AnnotationRenderer> renderer;
    std::unique_ptr<AnnotationEditor> editor;
    std::unique_ptr<ZoomLoupe> loupe;
    std::unique_ptr<PointerHandler> pointer;
    std::unique_ptr<FilmStrip> filmStrip;
    std::unique_ptr<LayoutManager> layout;
    std::unique_ptr<ClipLoader> clipLoader;
    std::unique_ptr<OverlayController> overlay;
    std::unique_ptr<FrameExport> frameExport;
    std::unique_ptr<LessonAudioSelection> audioSelection;
    std::unique_ptr<LessonRecorder> lesson;
    std::unique_ptr<LessonLogoLoader> logo;
    std::unique_ptr<LessonCompressor> compressor;

    TrelvanListener* listener = nullptr;
    std::unique_ptr<TvnError> lastNotificationError;
    // The motion, export and analysis companions, made on first use; last: gone
    // (their workers stopped, the recovery file removed) before the rest.
    std::unique_ptr<Companions> companions;

private:
    void connectNotifications();

    // ControlEvents: the signal first, then the listener, with the same variables.
    void raiseVideoEnd() override;
    void raiseMouseDown(int16_t& Button, int16_t& Shift, float& x, float& y) override;
    void raiseMouseUp(int16_t& Button, int16_t& Shift, float& x, float& y) override;
    void raiseMouseMove(int16_t& Button, int16_t& Shift, float& x, float& y) override;
    void raiseKeyPress(int16_t& KeyAscii) override;
    void raiseFullScreenLost() override;
    void raiseLessonCompressionComplete() override;
    void raiseLessonCompressionProgress() override;
    // FailureReport: kept, logged and signalled like a notification's failure.
    void reportFailure(const char* procedure, const TvnError& error) override { keepFailure(procedure, error); }
    // AnnotationRedraw and PositionViews, answered by the renderer and the film strip.
    void redrawAnnotations() override;
    void syncPositionViews() override;
};

template <class Handler>
void TrelvanPrivate::handleNotification(const char* name, Handler&& handler) {
    try {
        handler();
    } catch (const TvnError& e) {
        // The handler's own prefix is already on the source; the name only says
        // in the log which notification ran into the failure.
        keepFailure(name, e);
    } catch (const std::exception& e) {
        keepFailure(name, TvnError(err::InvalidCall, QString::fromUtf8(e.what())));
    }
}

}  // namespace tvn
