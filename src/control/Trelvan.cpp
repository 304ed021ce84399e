#include "control/Trelvan.h"

#include "control/TrelvanPrivate.h"

#include "annotate/AnnotationEditor.h"
#include "annotate/AnnotationRenderer.h"
#include "annotate/AnnotationStore.h"
#include "annotate/PointerHandler.h"
#include "annotate/TrackingTrail.h"
#include "annotate/ZoomLoupe.h"
#include "core/TvnError.h"
#include "layout/FilmStrip.h"
#include "layout/LayoutManager.h"
#include "lesson/LessonAudioSelection.h"
#include "lesson/LessonCompressor.h"
#include "lesson/LessonLogoLoader.h"
#include "lesson/LessonRecorder.h"
#include "media/VideoEngine.h"
#include "media/VideoMixer.h"
#include "export/VideoExport.h"
#include "analysis/Analysis.h"
#include "motion/MotionAnalysis.h"
#include "overlay/OverlayController.h"
#include "playback/ClipLoader.h"
#include "playback/FrameExport.h"
#include "playback/Transport.h"

#include <QResizeEvent>
#include <QScopeGuard>

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

Trelvan::Trelvan(Components components, QWidget* parent) : ControlWidget(parent) {
    registerValueTypes();
    d_ = std::make_unique<TrelvanPrivate>(*this, std::move(components));
    d_->initialise();
}

Trelvan::~Trelvan() = default;

void Trelvan::setListener(TrelvanListener* listener) { d_->listener = listener; }
const TvnError* Trelvan::lastNotificationError() const { return d_->lastNotificationError.get(); }
void Trelvan::clearNotificationError() { d_->lastNotificationError.reset(); }
QWidget* Trelvan::visibleVideoWidget() const { return d_->visibleVideoWidget(); }
MotionAnalysis* Trelvan::motion() { return &d_->companions->motion(); }
VideoExport* Trelvan::videoExport() { return &d_->companions->videoExport(); }
Analysis* Trelvan::analysis() { return &d_->companions->analysis(); }

void Trelvan::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (d_) d_->resized();  // not while the private implementation is being built
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
    d_->parts.display->Play();
}

// Public methods: each forwards to the subsystem that does the work.
QVariant Trelvan::TVN_Close() {
    const auto told = qScopeGuard([this] { d_->companions->followClip(); });
    return d_->clipLoader->TVN_Close();
}
int32_t Trelvan::TVN_OpenFile(QString& videoFileName) {
    // Also when the open fails: the clip shown before may be closed by then.
    const auto told = qScopeGuard([this] { d_->companions->followClip(); });
    return d_->clipLoader->TVN_OpenFile(videoFileName);
}
QVariant Trelvan::TVN_Pause() { return d_->transport->TVN_Pause(); }
QVariant Trelvan::TVN_Play() { return d_->transport->TVN_Play(); }
QVariant Trelvan::TVN_SetVolume(int32_t& volume) { return d_->transport->TVN_SetVolume(volume); }
QVariant Trelvan::TVN_StepOneFrame() { return d_->transport->TVN_StepOneFrame(); }
int32_t Trelvan::TVN_GetFrame() { return d_->transport->TVN_GetFrame(); }
QVariant Trelvan::TVN_SetFrame(int32_t& frameNumber) { return d_->transport->TVN_SetFrame(frameNumber); }
double Trelvan::TVN_GetPos() { return d_->transport->TVN_GetPos(); }
QVariant Trelvan::TVN_SetPos(double& pos) { return d_->transport->TVN_SetPos(pos); }
int32_t Trelvan::scrubToFrame(int32_t frameNumber) { return d_->transport->scrubToFrame(frameNumber); }
bool Trelvan::TVN_SaveFrameJpg(QString& FileName, int32_t& quality) { return d_->frameExport->TVN_SaveFrameJpg(FileName, quality); }
QVariant Trelvan::TVN_ReDraw() { return d_->editor->TVN_ReDraw(); }
QVariant Trelvan::TVN_EraseFreeHand() { return d_->editor->TVN_EraseFreeHand(); }
QVariant Trelvan::TVN_EraseAll() { return d_->editor->TVN_EraseAll(); }
QVariant Trelvan::TVN_Undo() { return d_->editor->TVN_Undo(); }
QVariant Trelvan::TVN_Redo() { return d_->editor->TVN_Redo(); }
int32_t Trelvan::TVN_GetFrameAsBitmap() { return d_->frameExport->TVN_GetFrameAsBitmap(); }
QVariant Trelvan::TVN_FullScreen() { return d_->layout->TVN_FullScreen(); }
void Trelvan::TVN_MouseDown(int16_t& Button, int16_t& Shift, float& x, float& y) { d_->pointer->TVN_MouseDown(Button, Shift, x, y); }
void Trelvan::TVN_MouseMove(int16_t& Button, int16_t& Shift, float& x, float& y) { d_->pointer->TVN_MouseMove(Button, Shift, x, y); }
void Trelvan::TVN_MouseUp(int16_t& Button, int16_t& Shift, float& x, float& y) { d_->pointer->TVN_MouseUp(Button, Shift, x, y); }
QVariant Trelvan::TVN_SetRate(double& rate) { return d_->transport->TVN_SetRate(rate); }
Picture Trelvan::TVN_GetFrameAsIPic() { return d_->frameExport->TVN_GetFrameAsIPic(); }
bool Trelvan::TVN_StartLesson(const QString& AviFileName, int32_t fps) { return d_->lesson->TVN_StartLesson(AviFileName, fps); }
QVariant Trelvan::TVN_PauseLesson() { return d_->lesson->TVN_PauseLesson(); }
QVariant Trelvan::TVN_ResumeLesson() { return d_->lesson->TVN_ResumeLesson(); }
QVariant Trelvan::TVN_StopLesson() { return d_->lesson->TVN_StopLesson(); }
int32_t Trelvan::TVN_CompressLesson(const QString& AviFileName, const QString& WmvFileName) { return d_->compressor->TVN_CompressLesson(AviFileName, WmvFileName); }
QVariant Trelvan::TVN_SetLogo(const QString& LogoFileName, int32_t Top, int32_t Left) { return d_->logo->TVN_SetLogo(LogoFileName, Top, Left); }
void Trelvan::TVN_Overlay(QString& FileName) { d_->overlay->TVN_Overlay(FileName); }
void Trelvan::TVN_AdjustOverlay(int32_t newLeft, int32_t newTop, int32_t newHeight, int32_t newWidth, int32_t newOpacity) { d_->overlay->TVN_AdjustOverlay(newLeft, newTop, newHeight, newWidth, newOpacity); }
void Trelvan::setReadableDrawing(bool on) { d_->setReadableDrawing(on); }
bool Trelvan::readableDrawing() const { return d_->renderer->readable(); }
void Trelvan::placeSecondClip(int32_t left, int32_t top, int32_t width, int32_t height, int32_t opacity) { d_->overlay->placeSecondClip(left, top, width, height, opacity); }
void Trelvan::TVN_SetOverlay2Pos(double newPos) { d_->overlay->TVN_SetOverlay2Pos(newPos); }
void Trelvan::TVN_SetOverlay2Frame(int32_t newFrame) { d_->overlay->TVN_SetOverlay2Frame(newFrame); }
void Trelvan::TVN_FlipVideo(int16_t flipIt) { d_->frameExport->TVN_FlipVideo(flipIt); }
void Trelvan::TVN_ShowFilmStrip(bool onOrOff) { d_->filmStrip->TVN_ShowFilmStrip(onOrOff); }
void Trelvan::TVN_FlipOverlay(bool flipIt) { d_->overlay->TVN_FlipOverlay(flipIt); }
QVariant Trelvan::TVN_SetTracking(bool& onOrOff) { return d_->tracking->TVN_SetTracking(onOrOff); }
double Trelvan::TVN_GetPosLive() { return d_->transport->TVN_GetPosLive(); }
QVariant Trelvan::TVN_SetSecondIPic(Picture& zz) { return d_->frameExport->TVN_SetSecondIPic(zz); }
int32_t Trelvan::TVN_UploadFrame(const QString& server, const QString& username, const QString& password, const QString& path, const QString& FileName, int32_t Port, int32_t quality) { return d_->frameExport->TVN_UploadFrame(server, username, password, path, FileName, Port, quality); }
QVariant Trelvan::TVN_DisplayLaunchMonitor(bool onOrOff) { return d_->frameExport->TVN_DisplayLaunchMonitor(onOrOff); }
void Trelvan::TVN_SetBitmapOverlay(int32_t& BitmapHandle) { d_->overlay->TVN_SetBitmapOverlay(BitmapHandle); }
void Trelvan::TVN_SelectAudioDevice(int16_t AudioDeviceIndex) { d_->audioSelection->TVN_SelectAudioDevice(AudioDeviceIndex); }
void Trelvan::TVN_SelectAudioLineInput(int16_t AudioLineInputIndex) { d_->audioSelection->TVN_SelectAudioLineInput(AudioLineInputIndex); }

}  // namespace tvn
