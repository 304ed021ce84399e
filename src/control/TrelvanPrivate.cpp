#include "control/TrelvanPrivate.h"

#include "annotate/AnnotationEditor.h"
#include "annotate/AnnotationRenderer.h"
#include "annotate/AnnotationStore.h"
#include "annotate/PointerHandler.h"
#include "annotate/TrackingTrail.h"
#include "annotate/ZoomLoupe.h"
#include "control/Trelvan.h"
#include "control/TrelvanListener.h"
#include "core/LogCategories.h"
#include "core/Numeric.h"
#include "core/TvnError.h"
#include "layout/FilmStrip.h"
#include "layout/LayoutManager.h"
#include "lesson/LessonAudioSelection.h"
#include "lesson/LessonCompressor.h"
#include "lesson/LessonLogoLoader.h"
#include "lesson/LessonRecorder.h"
#include "media/AudioRecorder.h"
#include "media/VideoEngine.h"
#include "media/VideoMixer.h"
#include "overlay/OverlayController.h"
#include "platform/Platform.h"
#include "platform/Surface.h"
#include "platform/SurfaceView.h"
#include "playback/ClipLoader.h"
#include "playback/FrameExport.h"
#include "playback/Transport.h"

#include <QDebug>

namespace tvn {

TrelvanPrivate::TrelvanPrivate(Trelvan& control, Components given) : q(control), components(std::move(given)) {
    parts.control = &q;
    parts.platform = components.platform;
    store = std::make_unique<AnnotationStore>();
    q.setAttribute(Qt::WA_OpaquePaintEvent);
    parts.create(q, components);
    ControlEvents& events = *this;        // the events the subsystems raise
    FailureReport& failures = *this;      // the failures they report
    AnnotationRedraw& redraw = *this;     // the two requests that would otherwise
    PositionViews& views = *this;         // make subsystems call each other in a circle
    companions = std::make_unique<Companions>(*this, redraw);
    // Each subsystem is handed what it reads (the host's properties, as
    // references), what it drives (the children, by role), the shared state it
    // keeps or reads, and the subsystems it uses, built before it, so that it
    // goes before them.
    transport = std::make_unique<Transport>(
        Transport::Properties{
            q.TVN_videoFileName, q.TVN_NumFrames, q.TVN_IsPlaying, q.TVN_VolumeLevel, q.TVN_FrameLenMS,
            q.TVN_CurrentPos, q.TVN_TotalLenMS, q.TVN_CurrentFrame, q.TVN_PlayRate, q.TVN_TrackingActive,
            q.TVN_DisplayClock
        },
        Transport::Drives{*parts.display, *parts.mixer, *parts.clipTimer, *parts.gestureRedrawTimer},
        state.overlaySources,
        events,
        redraw,
        views);
    tracking = std::make_unique<TrackingTrail>(
        TrackingTrail::Properties{q.TVN_drawingTool, q.TVN_TrackingActive, q.TVN_TrackingLength},
        *store,
        [t = transport.get()] { return t->TVN_GetFrame(); });
    renderer = std::make_unique<AnnotationRenderer>(
        AnnotationRenderer::Properties{
            q.TVN_videoFileName, q.TVN_VideoWidth, q.TVN_VideoHeight, q.TVN_DisplayGrid, q.TVN_GridColor,
            q.TVN_drawingColor, q.TVN_drawingWidth, q.TVN_IsPlaying, q.TVN_CurrentPos, q.TVN_AngleText,
            q.TVN_TextColor, q.TVN_Text, q.TVN_FontSize, q.TVN_OverlayImage, q.TVN_GridSpacing, q.TVN_DisplayClock,
            q.tvn_ClockStartTimeMS, q.TVN_DisplayTarget, q.TVN_TransparentColor
        },
        AnnotationRenderer::Drives{
            q, *parts.display, *parts.annotationLayer, *parts.freeHandLayer, *parts.logoPicture
        },
        state.lessonLogo,
        *store,
        *tracking);
    editor = std::make_unique<AnnotationEditor>(
        AnnotationEditor::Properties{q.TVN_DoDeinterlace, q.TVN_AngleText},
        AnnotationEditor::Drives{*parts.display, *parts.freeHandLayer},
        *store,
        redraw);
    loupe = std::make_unique<ZoomLoupe>(
        ZoomLoupe::Properties{q.TVN_VideoWidth, q.TVN_VideoHeight},
        ZoomLoupe::Drives{
            q, *parts.platform, *parts.display, *parts.loupePicture, *parts.loupeView, *parts.gestureRedrawTimer
        },
        redraw);
    pointer = std::make_unique<PointerHandler>(
        PointerHandler::Properties{
            q.TVN_drawingTool, q.TVN_drawingColor, q.TVN_drawingWidth, q.TVN_AngleText, q.TVN_TextColor,
            q.TVN_FontSize, q.TVN_OverlayImage, q.TVN_FontName
        },
        PointerHandler::Drives{q, *parts.annotationLayer, *parts.freeHandLayer, *parts.gestureRedrawTimer},
        state.pointerScale,
        *store,
        events,
        redraw,
        *loupe,
        *transport);
    filmStrip = std::make_unique<FilmStrip>(
        FilmStrip::Properties{q.TVN_CurrentPos},
        FilmStrip::Drives{
            q, *parts.platform, *parts.display, *parts.mixer, *parts.filmStripPicture, *parts.filmStripPanel
        },
        state.overlaySources,
        *transport);
    layout = std::make_unique<LayoutManager>(
        LayoutManager::Drives{q, *parts.display, *parts.mixer},
        state.clipPicture,
        state.pointerScale,
        redraw,
        *filmStrip);
    clipLoader = std::make_unique<ClipLoader>(
        ClipLoader::Properties{
            q.TVN_videoFileName, q.TVN_VideoWidth, q.TVN_VideoHeight, q.TVN_NumFrames, q.TVN_IsPlaying,
            q.TVN_VolumeLevel, q.TVN_FrameLenMS, q.TVN_CurrentPos, q.TVN_TotalLenMS, q.TVN_DoDeinterlace,
            q.TVN_CurrentFrame, q.TVN_RawPlayerMode, q.TVN_UseVMR9, q.TVN_TrackingActive, q.TVN_DisplayClock
        },
        ClipLoader::Drives{q, *parts.display, *parts.mixer, *parts.annotationLayer, *parts.freeHandLayer},
        state.clipPicture,
        state.overlaySources,
        redraw,
        *layout);
    overlay = std::make_unique<OverlayController>(
        OverlayController::Properties{
            q.TVN_videoFileName, q.TVN_VideoWidth, q.TVN_VideoHeight, q.TVN_NumFrames, q.TVN_IsPlaying,
            q.TVN_CurrentPos, q.TVN_DoDeinterlace, q.TVN_OverlayImage, q.TVN_TransparentColor, q.TVN_AlphaLevel
        },
        OverlayController::Drives{q, *parts.platform, *parts.display, *parts.mixer},
        state.clipPicture,
        state.overlaySources,
        *clipLoader);
    frameExport = std::make_unique<FrameExport>(
        FrameExport::Drives{*parts.display, *parts.mixer, *parts.secondPicture},
        state.clipPicture,
        failures,
        *editor);
    audioSelection = std::make_unique<LessonAudioSelection>(
        LessonAudioSelection::Properties{q.TVN_AudioLineInputs, q.TVN_SelectedAudioDevice, q.TVN_SelectedLineInput},
        *parts.audioRecorder);
    lesson = std::make_unique<LessonRecorder>(
        LessonRecorder::Properties{q.TVN_videoFileName, q.TVN_LessonInProgress},
        LessonRecorder::Drives{
            *parts.platform, *parts.display, *parts.recordingEngine, *parts.mixer, *parts.lessonFrame,
            *parts.filmStripPicture, *parts.secondPicture, *parts.filmStripPanel, *parts.lessonTimer,
            *parts.audioRecorder
        },
        state.overlaySources,
        *audioSelection,
        failures);
    logo = std::make_unique<LessonLogoLoader>(*parts.logoPicture, state.lessonLogo);
    compressor = std::make_unique<LessonCompressor>(
        LessonCompressor::Properties{q.TVN_LessonCompressionProgress, q.TVN_LessonProfile},
        LessonCompressor::Drives{*parts.platform, *parts.recordingEngine},
        events);
    connectNotifications();
}

TrelvanPrivate::~TrelvanPrivate() = default;

void TrelvanPrivate::keepFailure(const char* name, const TvnError& error) {
    lastNotificationError = std::make_unique<TvnError>(error);
    qCWarning(lcControl).noquote() << name << "failed:" << error.what();
    emit q.failed(error);
}

void TrelvanPrivate::connectNotifications() {
    VideoEngine* display = parts.display;
    VideoEngine* recording = parts.recordingEngine;
    QObject::connect(display, &VideoEngine::Event1, &q,
                     [this] { handleNotification("VideoCapX1_Event1", [&] { transport->OnEvent1(); }); });
    QObject::connect(display, &VideoEngine::PlaybackEnded, &q,
                     [this] { handleNotification("VideoCapX1_PlaybackEnded", [&] { transport->OnPlaybackEnded(); }); });
    QObject::connect(display, &VideoEngine::StateChange, &q, [this](int32_t state) {
        handleNotification("VideoCapX1_StateChange", [&] { transport->OnStateChange(state); });
    });
    // The pointer over the video goes to the drawing tools.
    using PointerStep = void (PointerHandler::*)(int16_t&, int16_t&, float&, float&);
    const auto pointerTo = [this](const char* name, PointerStep step) {
        return [this, name, step](int16_t& b, int16_t& s, float& x, float& y) {
            handleNotification(name, [&] { (pointer.get()->*step)(b, s, x, y); });
        };
    };
    QObject::connect(display, &VideoEngine::EngineMouseDown, &q, pointerTo("VideoCapX1_MouseDown", &PointerHandler::PointerDown));
    QObject::connect(display, &VideoEngine::EngineMouseMove, &q, pointerTo("VideoCapX1_MouseMove", &PointerHandler::PointerMove));
    QObject::connect(display, &VideoEngine::EngineMouseUp, &q, pointerTo("VideoCapX1_MouseUp", &PointerHandler::PointerUp));
    QObject::connect(display, &VideoEngine::EngineKeyPress, &q, [this](int16_t& key) {
        handleNotification("VideoCapX1_KeyPress", [&] { pointer->OnEngineKeyPress(key); });
    });
    QObject::connect(display, &VideoEngine::EngineFullScreenLost, &q, [this] {
        handleNotification("VideoCapX1_FullScreenLost", [&] { transport->OnEngineFullScreenLost(); });
    });
    QObject::connect(recording, &VideoEngine::CompressionProgress, &q, [this](int32_t progress, int32_t) {
        handleNotification("VideoCapX4_CompressionProgress", [&] { compressor->OnCompressionProgress(progress); });
    });
    QObject::connect(recording, &VideoEngine::CompressionDone, &q, [this] {
        handleNotification("VideoCapX4_CompressionDone", [&] { compressor->OnCompressionDone(); });
    });
    // Failures of the components' workers reach the host through the same keeping.
    QObject::connect(display, &VisualComponent::Failed, &q,
                     [this](const TvnError& e) { keepFailure("VideoCapX1", e); });
    QObject::connect(recording, &VisualComponent::Failed, &q,
                     [this](const TvnError& e) { keepFailure("VideoCapX4", e); });
    QObject::connect(parts.mixer, &VisualComponent::Failed, &q,
                     [this](const TvnError& e) { keepFailure("VideoMixerX1", e); });
    parts.clipTimer->setTickHandler([this] { handleNotification("Timer1_Timer", [&] { transport->ClipTimerTick(); }); });
    parts.gestureRedrawTimer->setTickHandler([this] { handleNotification("Timer2_Timer", [&] { loupe->GestureRedrawTick(); }); });
    parts.lessonTimer->setTickHandler(
        [this] { handleNotification("LessonTimer_Timer", [&] { lesson->LessonTimerTick(); }); });
}

void TrelvanPrivate::initialise() {
    parts.display->SetOption38(2);
    q.TVN_UseVMR9 = false;
    parts.annotationLayer->setVisible(false);
    parts.display->SetBackColor(0);
    q.TVN_TransparentColor = 0xFFFFFF;
    q.TVN_AlphaLevel = -1;
    q.TVN_drawingColor = 0x00FFFF;
    q.TVN_drawingTool = QStringLiteral("none");
    q.TVN_drawingWidth = 5;
    q.TVN_FontSize = 8;
    q.TVN_FontName = QStringLiteral("Arial");
    q.TVN_TextColor = 0x00FFFF;
    q.TVN_EraseAll();
    parts.display->SetOption42(true);
    parts.display->SetOption32(-1);
    parts.display->SetVolume(85);
    const int16_t deviceCount = toInt16(parts.audioRecorder->GetDeviceCount());
    for (int16_t i = 1; i <= deviceCount; ++i) q.TVN_AudioDevices.Add(parts.audioRecorder->GetDeviceName(i - 1));
    q.TVN_SelectedAudioDevice = -1;
    q.TVN_SelectedLineInput = -1;
}

QWidget* TrelvanPrivate::visibleVideoWidget() const {
    if (!parts.filmStripPanel->isHidden()) return parts.filmStripPanel;
    if (!parts.display->Display()->isHidden()) return parts.display->Display();
    if (!parts.mixer->Display()->isHidden()) return parts.mixer->Display();
    return &q;
}

void TrelvanPrivate::resized() {
    handleNotification("UserControl_Resize", [&] { layout->OnResize(); });
}

void TrelvanPrivate::setReadableDrawing(bool on) {
    renderer->setReadable(on);
    loupe->setBordered(on);
    handleNotification("setReadableDrawing", [&] { redrawAnnotations(); });
}

void TrelvanPrivate::redrawAnnotations() {
    renderer->RedrawAnnotations();
    if (companions) companions->noteChange();
}
void TrelvanPrivate::syncPositionViews() { filmStrip->SyncPositionViews(); }

namespace {

// An event goes out as the control's signal first, then to the listener, with the same variables.
template <class Signal, class Method, class... Args>
void raiseBoth(Trelvan& control, TrelvanListener* listener, Signal signal, Method method, Args&... args) {
    emit (control.*signal)(args...);
    if (listener) (listener->*method)(args...);
}

}  // namespace

void TrelvanPrivate::raiseVideoEnd() { raiseBoth(q, listener, &Trelvan::VideoEnd, &TrelvanListener::VideoEnd); }
void TrelvanPrivate::raiseMouseDown(int16_t& Button, int16_t& Shift, float& x, float& y) {
    raiseBoth(q, listener, &Trelvan::MouseDown, &TrelvanListener::MouseDown, Button, Shift, x, y);
}
void TrelvanPrivate::raiseMouseUp(int16_t& Button, int16_t& Shift, float& x, float& y) {
    raiseBoth(q, listener, &Trelvan::MouseUp, &TrelvanListener::MouseUp, Button, Shift, x, y);
}
void TrelvanPrivate::raiseMouseMove(int16_t& Button, int16_t& Shift, float& x, float& y) {
    raiseBoth(q, listener, &Trelvan::MouseMove, &TrelvanListener::MouseMove, Button, Shift, x, y);
}
void TrelvanPrivate::raiseKeyPress(int16_t& KeyAscii) {
    raiseBoth(q, listener, &Trelvan::KeyPress, &TrelvanListener::KeyPress, KeyAscii);
}
void TrelvanPrivate::raiseFullScreenLost() {
    raiseBoth(q, listener, &Trelvan::FullScreenLost, &TrelvanListener::FullScreenLost);
}
void TrelvanPrivate::raiseLessonCompressionComplete() {
    raiseBoth(q, listener, &Trelvan::LessonCompressionComplete, &TrelvanListener::LessonCompressionComplete);
}
void TrelvanPrivate::raiseLessonCompressionProgress() {
    raiseBoth(q, listener, &Trelvan::LessonCompressionProgress, &TrelvanListener::LessonCompressionProgress);
}

}  // namespace tvn
