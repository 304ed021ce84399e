#include "control/Trelvan.h"

#include "annotate/AnnotationEditor.h"
#include "annotate/AnnotationRenderer.h"
#include "annotate/AnnotationStore.h"
#include "annotate/PointerHandler.h"
#include "annotate/TrackingTrail.h"
#include "annotate/ZoomLoupe.h"
#include "control/TrelvanListener.h"
#include "core/LogCategories.h"
#include "core/Numeric.h"
#include "core/Twips.h"
#include "core/TvnError.h"
#include "layout/FilmStrip.h"
#include "layout/LayoutManager.h"
#include "lesson/LessonCompressor.h"
#include "lesson/LessonRecorder.h"
#include "media/AudioRecorder.h"
#include "media/VideoEngine.h"
#include "media/VideoMixer.h"
#include "motion/MotionAnalysis.h"

#include <QScopeGuard>
#include "overlay/OverlayController.h"
#include "platform/Platform.h"
#include "platform/Surface.h"
#include "platform/SurfaceView.h"
#include "playback/ClipLoader.h"
#include "playback/FrameExport.h"
#include "playback/Transport.h"

#include <QDebug>
#include <QResizeEvent>

namespace tvn {

namespace {
void registerValueTypes() {
    static const bool once = [] {
        qRegisterMetaType<Collection>();
        qRegisterMetaType<Picture>();
        qRegisterMetaType<KiteTail>();
        qRegisterMetaType<TvnError>();
        return true;
    }();
    (void)once;
}
}  // namespace

Trelvan::Trelvan(QWidget* parent) : Trelvan(Components::defaults(), parent) {}

Trelvan::Trelvan(Components components, QWidget* parent)
    : ControlWidget(parent), components_(std::move(components)) {
    registerValueTypes();
    parts_.widget = this;
    parts_.platform = components_.platform;
    store_ = std::make_unique<AnnotationStore>();
    ControlProperties& props = *this;
    ControlEvents& events = *this;
    AnnotationRedraw& redraw = *this;
    PositionViews& views = *this;
    // Built so that each finds the subsystems it uses already there; the
    // children they drive are created next, and read from parts_ when they run.
    transport_ = std::make_unique<Transport>(props, parts_, state_, events, redraw, views);
    tracking_ = std::make_unique<TrackingTrail>(props, *store_, *transport_);
    renderer_ = std::make_unique<AnnotationRenderer>(props, parts_, state_, *store_, *tracking_);
    editor_ = std::make_unique<AnnotationEditor>(props, parts_, *store_, redraw);
    loupe_ = std::make_unique<ZoomLoupe>(props, parts_, redraw);
    pointer_ = std::make_unique<PointerHandler>(props, parts_, state_, *store_, events, redraw, *loupe_, *transport_);
    filmStrip_ = std::make_unique<FilmStrip>(props, parts_, state_, *transport_);
    layout_ = std::make_unique<LayoutManager>(parts_, state_, redraw, *filmStrip_);
    clipLoader_ = std::make_unique<ClipLoader>(props, parts_, state_, redraw, *layout_);
    overlay_ = std::make_unique<OverlayController>(props, parts_, state_, *clipLoader_);
    frameExport_ = std::make_unique<FrameExport>(parts_, state_, events, *editor_);
    lesson_ = std::make_unique<LessonRecorder>(props, parts_, state_, events);
    compressor_ = std::make_unique<LessonCompressor>(props, parts_, events);
    createChildren();
    connectNotifications();
    initialise();
}

Trelvan::~Trelvan() = default;

void Trelvan::createChildren() {
    setAttribute(Qt::WA_OpaquePaintEvent);
    const double tpp = twipsPerPixelX(this);
    ControlParts& p = parts_;
    p.VideoCapX1 = components_.createEngine(EngineRole::Display, this);
    p.VideoCapX4 = components_.createEngine(EngineRole::Recording, this);
    p.VideoCapX4->Display()->hide();  // the recording instance is never shown
    p.VideoMixerX1 = components_.createMixer(this);
    p.VideoMixerX1->Display()->hide();  // shown only while an overlay is active

    p.Picture1 = std::make_unique<Surface>(QStringLiteral("Picture1"), tpp);
    p.Picture1->setFontName(QStringLiteral("Arial Black"));
    p.Picture1->setFontBold(true);
    p.Picture1->setFontSize(8.25);
    p.Picture2 = std::make_unique<Surface>(QStringLiteral("Picture2"), tpp);
    p.Picture2->clearTo(0xFFFFFF);
    p.Picture3 = std::make_unique<Surface>(QStringLiteral("Picture3"), tpp);
    p.Picture4 = std::make_unique<Surface>(QStringLiteral("Picture4"), tpp);
    p.Picture5 = std::make_unique<Surface>(QStringLiteral("Picture5"), tpp);
    p.Picture6 = std::make_unique<Surface>(QStringLiteral("Picture6"), tpp);
    p.FilmStripPanel = new SurfaceView(*p.Picture5, this);
    p.FilmStripPanel->setObjectName(QStringLiteral("FilmStrip"));
    p.FilmStripPanel->hide();
    p.ZoomPicture = std::make_unique<Surface>(QStringLiteral("ZoomPicture"), tpp);
    p.ZoomView = new SurfaceView(*p.ZoomPicture, this);
    p.ZoomView->setObjectName(QStringLiteral("ZoomPicture"));
    p.ZoomView->hide();
    // Stacking: the video, the mixer over it, the strip over both, the loupe on top.
    p.VideoMixerX1->Display()->raise();
    p.FilmStripPanel->raise();
    p.ZoomView->raise();

    p.Timer1 = p.platform->createTimer();
    p.Timer1->setInterval(500);
    p.Timer2 = p.platform->createTimer();
    p.Timer2->setInterval(200);
    p.LessonTimer = p.platform->createTimer();
}

template <class Handler>
void Trelvan::handleNotification(const char* name, Handler&& handler) {
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

void Trelvan::keepFailure(const char* name, const TvnError& error) {
    lastNotificationError_ = std::make_unique<TvnError>(error);
    qCWarning(lcControl).noquote() << name << "failed:" << error.what();
    emit failed(error);
}

void Trelvan::clearNotificationError() { lastNotificationError_.reset(); }

void Trelvan::connectNotifications() {
    connect(parts_.VideoCapX1, &VideoEngine::Event1, this,
            [this] { handleNotification("VideoCapX1_Event1", [&] { transport_->OnEvent1(); }); });
    connect(parts_.VideoCapX1, &VideoEngine::PlaybackEnded, this,
            [this] { handleNotification("VideoCapX1_PlaybackEnded", [&] { transport_->OnPlaybackEnded(); }); });
    connect(parts_.VideoCapX1, &VideoEngine::StateChange, this, [this](int32_t state) {
        handleNotification("VideoCapX1_StateChange", [&] { transport_->OnStateChange(state); });
    });
    connect(parts_.VideoCapX1, &VideoEngine::EngineMouseDown, this, [this](int16_t& b, int16_t& s, float& x, float& y) {
        handleNotification("VideoCapX1_MouseDown", [&] { pointer_->PointerDown(b, s, x, y); });
    });
    connect(parts_.VideoCapX1, &VideoEngine::EngineMouseMove, this, [this](int16_t& b, int16_t& s, float& x, float& y) {
        handleNotification("VideoCapX1_MouseMove", [&] { pointer_->PointerMove(b, s, x, y); });
    });
    connect(parts_.VideoCapX1, &VideoEngine::EngineMouseUp, this, [this](int16_t& b, int16_t& s, float& x, float& y) {
        handleNotification("VideoCapX1_MouseUp", [&] { pointer_->PointerUp(b, s, x, y); });
    });
    connect(parts_.VideoCapX1, &VideoEngine::EngineKeyPress, this, [this](int16_t& key) {
        handleNotification("VideoCapX1_KeyPress", [&] { pointer_->OnEngineKeyPress(key); });
    });
    connect(parts_.VideoCapX1, &VideoEngine::EngineFullScreenLost, this, [this] {
        handleNotification("VideoCapX1_FullScreenLost", [&] { transport_->OnEngineFullScreenLost(); });
    });
    connect(parts_.VideoCapX4, &VideoEngine::CompressionProgress, this, [this](int32_t progress, int32_t) {
        handleNotification("VideoCapX4_CompressionProgress", [&] { compressor_->OnCompressionProgress(progress); });
    });
    connect(parts_.VideoCapX4, &VideoEngine::CompressionDone, this, [this] {
        handleNotification("VideoCapX4_CompressionDone", [&] { compressor_->OnCompressionDone(); });
    });
    // Failures of the components' workers reach the host through the same keeping.
    connect(parts_.VideoCapX1, &VisualComponent::Failed, this,
            [this](const TvnError& e) { keepFailure("VideoCapX1", e); });
    connect(parts_.VideoCapX4, &VisualComponent::Failed, this,
            [this](const TvnError& e) { keepFailure("VideoCapX4", e); });
    connect(parts_.VideoMixerX1, &VisualComponent::Failed, this,
            [this](const TvnError& e) { keepFailure("VideoMixerX1", e); });
    parts_.Timer1->setTickHandler([this] { handleNotification("Timer1_Timer", [&] { transport_->Timer1Tick(); }); });
    parts_.Timer2->setTickHandler([this] { handleNotification("Timer2_Timer", [&] { loupe_->Timer2Tick(); }); });
    parts_.LessonTimer->setTickHandler(
        [this] { handleNotification("LessonTimer_Timer", [&] { lesson_->LessonTimerTick(); }); });
}

void Trelvan::initialise() {
    parts_.VideoCapX1->SetOption38(2);
    TVN_UseVMR9 = false;
    parts_.Picture1->setVisible(false);
    parts_.VideoCapX1->SetBackColor(0);
    TVN_TransparentColor = 0xFFFFFF;
    TVN_AlphaLevel = -1;
    TVN_drawingColor = 0x00FFFF;
    TVN_drawingTool = QStringLiteral("none");
    TVN_drawingWidth = 5;
    TVN_FontSize = 8;
    TVN_FontName = QStringLiteral("Arial");
    TVN_TextColor = 0x00FFFF;
    TVN_EraseAll();
    parts_.VideoCapX1->SetOption42(true);
    parts_.VideoCapX1->SetOption32(-1);
    parts_.VideoCapX1->SetVolume(85);
    if (!state_.audioRecorderCreated) {
        parts_.audioRecorder = components_.createAudioRecorder();
        state_.audioRecorderCreated = true;
    }
    const int16_t deviceCount = toInt16(parts_.audioRecorder->GetDeviceCount());
    for (int16_t i = 1; i <= deviceCount; ++i) TVN_AudioDevices.Add(parts_.audioRecorder->GetDeviceName(i - 1));
    TVN_SelectedAudioDevice = -1;
    TVN_SelectedLineInput = -1;
}

QWidget* Trelvan::visibleVideoWidget() const {
    if (!parts_.FilmStripPanel->isHidden()) return parts_.FilmStripPanel;
    if (!parts_.VideoCapX1->Display()->isHidden()) return parts_.VideoCapX1->Display();
    if (!parts_.VideoMixerX1->Display()->isHidden()) return parts_.VideoMixerX1->Display();
    return const_cast<Trelvan*>(this);
}

MotionAnalysis* Trelvan::motion() {
    if (!motion_) {
        motion_ = std::make_unique<MotionAnalysis>(
            *this, [this](const TvnError& e) { keepFailure("MotionAnalysis_tracking", e); });
        motion_->setLineSource([this] { return store_->newestLine(); });
        renderer_->setLineLabel([m = motion_.get()](double x1, double y1, double x2, double y2) {
            return m->lineLength(x1, y1, x2, y2);
        });
        connect(motion_.get(), &MotionAnalysis::drawingChanged, this, [this] {
            tracking_->setTrackedTrails(motion_->trails());
            handleNotification("MotionAnalysis_drawingChanged", [&] { redrawAnnotations(); });
        });
    }
    return motion_.get();
}

void Trelvan::tellMotionOfTheClip() {
    if (motion_) motion_->followClip(TVN_videoFileName, QSize(TVN_VideoWidth, TVN_VideoHeight));
}

void Trelvan::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    handleNotification("UserControl_Resize", [&] { layout_->OnResize(); });
}

void Trelvan::Command1Click() {
    TVN_drawingWidth = 4;
    TVN_FontSize = 20;
    TVN_TextColor = 0xFF0000;
    TVN_EraseAll();
    TVN_RawPlayerMode = false;
    TVN_UseVMR9 = false;
    QString fileName = QStringLiteral("z:\\a.avi");
    TVN_OpenFile(fileName);
    TVN_drawingTool = QStringLiteral("qangle");
}

void Trelvan::Command2Click() {
    TVN_Undo();
    parts_.VideoCapX1->Play();
}

void Trelvan::redrawAnnotations() { renderer_->RedrawAnnotations(); }
void Trelvan::syncPositionViews() { filmStrip_->SyncPositionViews(); }

void Trelvan::raiseVideoEnd() {
    emit VideoEnd();
    if (listener_) listener_->VideoEnd();
}
void Trelvan::raiseMouseDown(int16_t& Button, int16_t& Shift, float& x, float& y) {
    emit MouseDown(Button, Shift, x, y);
    if (listener_) listener_->MouseDown(Button, Shift, x, y);
}
void Trelvan::raiseMouseUp(int16_t& Button, int16_t& Shift, float& x, float& y) {
    emit MouseUp(Button, Shift, x, y);
    if (listener_) listener_->MouseUp(Button, Shift, x, y);
}
void Trelvan::raiseMouseMove(int16_t& Button, int16_t& Shift, float& x, float& y) {
    emit MouseMove(Button, Shift, x, y);
    if (listener_) listener_->MouseMove(Button, Shift, x, y);
}
void Trelvan::raiseKeyPress(int16_t& KeyAscii) {
    emit KeyPress(KeyAscii);
    if (listener_) listener_->KeyPress(KeyAscii);
}
void Trelvan::raiseFullScreenLost() {
    emit FullScreenLost();
    if (listener_) listener_->FullScreenLost();
}
void Trelvan::raiseLessonCompressionComplete() {
    emit LessonCompressionComplete();
    if (listener_) listener_->LessonCompressionComplete();
}
void Trelvan::raiseLessonCompressionProgress() {
    emit LessonCompressionProgress();
    if (listener_) listener_->LessonCompressionProgress();
}

// Public methods: each forwards to the subsystem that does the work.
QVariant Trelvan::TVN_Close() {
    const auto told = qScopeGuard([this] { tellMotionOfTheClip(); });
    return clipLoader_->TVN_Close();
}
int32_t Trelvan::TVN_OpenFile(QString& videoFileName) {
    // Also when the open fails: the clip shown before may be closed by then.
    const auto told = qScopeGuard([this] { tellMotionOfTheClip(); });
    return clipLoader_->TVN_OpenFile(videoFileName);
}
QVariant Trelvan::TVN_Pause() { return transport_->TVN_Pause(); }
QVariant Trelvan::TVN_Play() { return transport_->TVN_Play(); }
QVariant Trelvan::TVN_SetVolume(int32_t& volume) { return transport_->TVN_SetVolume(volume); }
QVariant Trelvan::TVN_StepOneFrame() { return transport_->TVN_StepOneFrame(); }
int32_t Trelvan::TVN_GetFrame() { return transport_->TVN_GetFrame(); }
QVariant Trelvan::TVN_SetFrame(int32_t& frameNumber) { return transport_->TVN_SetFrame(frameNumber); }
double Trelvan::TVN_GetPos() { return transport_->TVN_GetPos(); }
QVariant Trelvan::TVN_SetPos(double& pos) { return transport_->TVN_SetPos(pos); }
int32_t Trelvan::scrubToFrame(int32_t frameNumber) { return transport_->scrubToFrame(frameNumber); }
bool Trelvan::TVN_SaveFrameJpg(QString& FileName, int32_t& quality) { return frameExport_->TVN_SaveFrameJpg(FileName, quality); }
QVariant Trelvan::TVN_ReDraw() { return editor_->TVN_ReDraw(); }
QVariant Trelvan::TVN_EraseFreeHand() { return editor_->TVN_EraseFreeHand(); }
QVariant Trelvan::TVN_EraseAll() { return editor_->TVN_EraseAll(); }
QVariant Trelvan::TVN_Undo() { return editor_->TVN_Undo(); }
QVariant Trelvan::TVN_Redo() { return editor_->TVN_Redo(); }
int32_t Trelvan::TVN_GetFrameAsBitmap() { return frameExport_->TVN_GetFrameAsBitmap(); }
QVariant Trelvan::TVN_FullScreen() { return layout_->TVN_FullScreen(); }
void Trelvan::TVN_MouseDown(int16_t& Button, int16_t& Shift, float& x, float& y) { pointer_->TVN_MouseDown(Button, Shift, x, y); }
void Trelvan::TVN_MouseMove(int16_t& Button, int16_t& Shift, float& x, float& y) { pointer_->TVN_MouseMove(Button, Shift, x, y); }
void Trelvan::TVN_MouseUp(int16_t& Button, int16_t& Shift, float& x, float& y) { pointer_->TVN_MouseUp(Button, Shift, x, y); }
QVariant Trelvan::TVN_SetRate(double& rate) { return transport_->TVN_SetRate(rate); }
Picture Trelvan::TVN_GetFrameAsIPic() { return frameExport_->TVN_GetFrameAsIPic(); }
bool Trelvan::TVN_StartLesson(const QString& AviFileName, int32_t fps) { return lesson_->TVN_StartLesson(AviFileName, fps); }
QVariant Trelvan::TVN_PauseLesson() { return lesson_->TVN_PauseLesson(); }
QVariant Trelvan::TVN_ResumeLesson() { return lesson_->TVN_ResumeLesson(); }
QVariant Trelvan::TVN_StopLesson() { return lesson_->TVN_StopLesson(); }
int32_t Trelvan::TVN_CompressLesson(const QString& AviFileName, const QString& WmvFileName) { return compressor_->TVN_CompressLesson(AviFileName, WmvFileName); }
QVariant Trelvan::TVN_SetLogo(const QString& LogoFileName, int32_t Top, int32_t Left) { return lesson_->TVN_SetLogo(LogoFileName, Top, Left); }
void Trelvan::TVN_Overlay(QString& FileName) { overlay_->TVN_Overlay(FileName); }
void Trelvan::TVN_AdjustOverlay(int32_t newLeft, int32_t newTop, int32_t newHeight, int32_t newWidth, int32_t newOpacity) { overlay_->TVN_AdjustOverlay(newLeft, newTop, newHeight, newWidth, newOpacity); }
void Trelvan::setReadableDrawing(bool on) {
    renderer_->setReadable(on);
    loupe_->setBordered(on);
    handleNotification("setReadableDrawing", [&] { redrawAnnotations(); });
}
bool Trelvan::readableDrawing() const { return renderer_->readable(); }
void Trelvan::placeSecondClip(int32_t left, int32_t top, int32_t width, int32_t height, int32_t opacity) { overlay_->placeSecondClip(left, top, width, height, opacity); }
void Trelvan::TVN_SetOverlay2Pos(double newPos) { overlay_->TVN_SetOverlay2Pos(newPos); }
void Trelvan::TVN_SetOverlay2Frame(int32_t newFrame) { overlay_->TVN_SetOverlay2Frame(newFrame); }
void Trelvan::TVN_FlipVideo(int16_t flipIt) { frameExport_->TVN_FlipVideo(flipIt); }
void Trelvan::TVN_ShowFilmStrip(bool onOrOff) { filmStrip_->TVN_ShowFilmStrip(onOrOff); }
void Trelvan::TVN_FlipOverlay(bool flipIt) { overlay_->TVN_FlipOverlay(flipIt); }
QVariant Trelvan::TVN_SetTracking(bool& onOrOff) { return tracking_->TVN_SetTracking(onOrOff); }
double Trelvan::TVN_GetPosLive() { return transport_->TVN_GetPosLive(); }
QVariant Trelvan::TVN_SetSecondIPic(Picture& zz) { return frameExport_->TVN_SetSecondIPic(zz); }
int32_t Trelvan::TVN_UploadFrame(const QString& server, const QString& username, const QString& password, const QString& path, const QString& FileName, int32_t Port, int32_t quality) { return frameExport_->TVN_UploadFrame(server, username, password, path, FileName, Port, quality); }
QVariant Trelvan::TVN_DisplayLaunchMonitor(bool onOrOff) { return frameExport_->TVN_DisplayLaunchMonitor(onOrOff); }
void Trelvan::TVN_SetBitmapOverlay(int32_t& BitmapHandle) { overlay_->TVN_SetBitmapOverlay(BitmapHandle); }
void Trelvan::TVN_SelectAudioDevice(int16_t AudioDeviceIndex) { lesson_->TVN_SelectAudioDevice(AudioDeviceIndex); }
void Trelvan::TVN_SelectAudioLineInput(int16_t AudioLineInputIndex) { lesson_->TVN_SelectAudioLineInput(AudioLineInputIndex); }

}  // namespace tvn
