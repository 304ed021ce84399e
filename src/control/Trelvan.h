#pragma once

#include "control/ControlProperties.h"
#include "control/ControlWidget.h"
#include "control/KiteTail.h"
#include "core/Collection.h"
#include "core/Picture.h"
#include "core/TrelvanExport.h"

#include <QString>
#include <QVariant>
#include <QWidget>
#include <cstdint>
#include <memory>

namespace tvn {

class Analysis;
struct Components;
class MotionAnalysis;
class VideoExport;
class TrelvanListener;
class TrelvanPrivate;
class TvnError;

// The embeddable video-analysis control. A host places it on a window, sets its
// public properties, calls its TVN_ methods and receives its events (Qt signals,
// and an optional TrelvanListener). Everything runs on the UI thread, one call
// or notification at a time.
//
// The control is a thin owner: its public properties are the plain members of
// ControlProperties, which it derives from; everything else (its children, the
// subsystems, the shared state, the raising of events) lives in its private
// implementation (TrelvanPrivate, not installed), so that no internal change
// alters the layout or the symbols a host's build depends on. Each public
// method forwards to the subsystem that does the work (the forwarders at the
// end of Trelvan.cpp name it).
// Its meta-object is its dispatch interface: properties and invokable methods
// appear in interface order, and the class-info entry "Members" lists both,
// interleaved, in that order.
class TVN_EXPORT Trelvan : public ControlWidget, public ControlProperties {
    Q_OBJECT
    // Every member of the dispatch interface, properties and methods interleaved, in interface order.
    Q_CLASSINFO("Members", "TVN_videoFileName,TVN_VideoWidth,TVN_VideoHeight,TVN_drawingTool,TVN_DisplayGrid,TVN_GridColor,TVN_drawingColor,TVN_drawingWidth,TVN_NumFrames,TVN_IsPlaying,TVN_VolumeLevel,TVN_FrameLenMS,TVN_CurrentPos,TVN_TotalLenMS,TVN_DoDeinterlace,TVN_AngleText,TVN_TextColor,TVN_Text,TVN_FontSize,TVN_CurrentFrame,TVN_Version,TVN_RawPlayerMode,TVN_UseVMR9,TVN_OverlayImage,TVN_Close,TVN_OpenFile,TVN_Pause,TVN_Play,TVN_SetVolume,TVN_StepOneFrame,TVN_GetFrame,TVN_SetFrame,TVN_GetPos,TVN_SetPos,TVN_SaveFrameJpg,TVN_ReDraw,TVN_EraseFreeHand,TVN_EraseAll,TVN_Undo,TVN_Redo,TVN_GetFrameAsBitmap,TVN_FullScreen,TVN_MouseDown,TVN_MouseMove,TVN_MouseUp,TVN_PlayRate,TVN_SetRate,TVN_GridSpacing,TVN_GetFrameAsIPic,TVN_LessonInProgress,TVN_StartLesson,TVN_PauseLesson,TVN_ResumeLesson,TVN_StopLesson,TVN_CompressLesson,TVN_SetLogo,TVN_LessonCompressionProgress,TVN_Overlay,TVN_AdjustOverlay,TVN_SetOverlay2Pos,TVN_SetOverlay2Frame,TVN_FlipVideo,TVN_ShowFilmStrip,TVN_FlipOverlay,TVN_TrackingActive,TVN_TrackingLength,TVN_SetTracking,TVN_DisplayClock,tvn_ClockStartTimeMS,TVN_GetPosLive,TVN_SetSecondIPic,TVN_UploadFrame,TVN_DisplayLaunchMonitor,TVN_LessonProfile,TVN_DisplayTarget,TVN_FontName,TVN_TransparentColor,TVN_SetBitmapOverlay,TVN_AudioDevices,TVN_AudioLineInputs,TVN_SelectedAudioDevice,TVN_SelectedLineInput,TVN_SelectAudioDevice,TVN_SelectAudioLineInput,TVN_AlphaLevel")
    Q_PROPERTY(QString TVN_videoFileName MEMBER TVN_videoFileName)
    Q_PROPERTY(int16_t TVN_VideoWidth MEMBER TVN_VideoWidth)
    Q_PROPERTY(int16_t TVN_VideoHeight MEMBER TVN_VideoHeight)
    Q_PROPERTY(QString TVN_drawingTool MEMBER TVN_drawingTool)
    Q_PROPERTY(bool TVN_DisplayGrid MEMBER TVN_DisplayGrid)
    Q_PROPERTY(int32_t TVN_GridColor MEMBER TVN_GridColor)
    Q_PROPERTY(int32_t TVN_drawingColor MEMBER TVN_drawingColor)
    Q_PROPERTY(int16_t TVN_drawingWidth MEMBER TVN_drawingWidth)
    Q_PROPERTY(int32_t TVN_NumFrames MEMBER TVN_NumFrames)
    Q_PROPERTY(bool TVN_IsPlaying MEMBER TVN_IsPlaying)
    Q_PROPERTY(int32_t TVN_VolumeLevel MEMBER TVN_VolumeLevel)
    Q_PROPERTY(double TVN_FrameLenMS MEMBER TVN_FrameLenMS)
    Q_PROPERTY(double TVN_CurrentPos MEMBER TVN_CurrentPos)
    Q_PROPERTY(double TVN_TotalLenMS MEMBER TVN_TotalLenMS)
    Q_PROPERTY(bool TVN_DoDeinterlace MEMBER TVN_DoDeinterlace)
    Q_PROPERTY(QString TVN_AngleText MEMBER TVN_AngleText)
    Q_PROPERTY(int32_t TVN_TextColor MEMBER TVN_TextColor)
    Q_PROPERTY(QString TVN_Text MEMBER TVN_Text)
    Q_PROPERTY(int16_t TVN_FontSize MEMBER TVN_FontSize)
    Q_PROPERTY(int32_t TVN_CurrentFrame MEMBER TVN_CurrentFrame)
    Q_PROPERTY(QString TVN_Version MEMBER TVN_Version)
    Q_PROPERTY(bool TVN_RawPlayerMode MEMBER TVN_RawPlayerMode)
    Q_PROPERTY(bool TVN_UseVMR9 MEMBER TVN_UseVMR9)
    Q_PROPERTY(int32_t TVN_OverlayImage MEMBER TVN_OverlayImage)
    Q_PROPERTY(double TVN_PlayRate MEMBER TVN_PlayRate)
    Q_PROPERTY(int16_t TVN_GridSpacing MEMBER TVN_GridSpacing)
    Q_PROPERTY(bool TVN_LessonInProgress MEMBER TVN_LessonInProgress)
    Q_PROPERTY(int32_t TVN_LessonCompressionProgress MEMBER TVN_LessonCompressionProgress)
    Q_PROPERTY(int32_t TVN_TrackingActive MEMBER TVN_TrackingActive)
    Q_PROPERTY(int32_t TVN_TrackingLength MEMBER TVN_TrackingLength)
    Q_PROPERTY(bool TVN_DisplayClock MEMBER TVN_DisplayClock)
    Q_PROPERTY(int32_t tvn_ClockStartTimeMS MEMBER tvn_ClockStartTimeMS)
    Q_PROPERTY(QString TVN_LessonProfile MEMBER TVN_LessonProfile)
    Q_PROPERTY(bool TVN_DisplayTarget MEMBER TVN_DisplayTarget)
    Q_PROPERTY(QString TVN_FontName MEMBER TVN_FontName)
    Q_PROPERTY(int32_t TVN_TransparentColor MEMBER TVN_TransparentColor)
    Q_PROPERTY(tvn::Collection TVN_AudioDevices MEMBER TVN_AudioDevices)
    Q_PROPERTY(tvn::Collection TVN_AudioLineInputs MEMBER TVN_AudioLineInputs)
    Q_PROPERTY(int16_t TVN_SelectedAudioDevice MEMBER TVN_SelectedAudioDevice)
    Q_PROPERTY(int16_t TVN_SelectedLineInput MEMBER TVN_SelectedLineInput)
    Q_PROPERTY(int32_t TVN_AlphaLevel MEMBER TVN_AlphaLevel)

public:
    // Public methods.
    Q_INVOKABLE QVariant TVN_Close();
    Q_INVOKABLE int32_t TVN_OpenFile(QString& videoFileName);
    Q_INVOKABLE QVariant TVN_Pause();
    Q_INVOKABLE QVariant TVN_Play();
    Q_INVOKABLE QVariant TVN_SetVolume(int32_t& volume);
    Q_INVOKABLE QVariant TVN_StepOneFrame();
    Q_INVOKABLE int32_t TVN_GetFrame();
    Q_INVOKABLE QVariant TVN_SetFrame(int32_t& frameNumber);
    Q_INVOKABLE double TVN_GetPos();
    Q_INVOKABLE QVariant TVN_SetPos(double& pos);
    Q_INVOKABLE bool TVN_SaveFrameJpg(QString& FileName, int32_t& quality);
    Q_INVOKABLE QVariant TVN_ReDraw();
    Q_INVOKABLE QVariant TVN_EraseFreeHand();
    Q_INVOKABLE QVariant TVN_EraseAll();
    Q_INVOKABLE QVariant TVN_Undo();
    Q_INVOKABLE QVariant TVN_Redo();
    Q_INVOKABLE int32_t TVN_GetFrameAsBitmap();
    Q_INVOKABLE QVariant TVN_FullScreen();
    Q_INVOKABLE void TVN_MouseDown(int16_t& Button, int16_t& Shift, float& x, float& y);
    Q_INVOKABLE void TVN_MouseMove(int16_t& Button, int16_t& Shift, float& x, float& y);
    Q_INVOKABLE void TVN_MouseUp(int16_t& Button, int16_t& Shift, float& x, float& y);
    Q_INVOKABLE QVariant TVN_SetRate(double& rate);
    Q_INVOKABLE tvn::Picture TVN_GetFrameAsIPic();
    Q_INVOKABLE bool TVN_StartLesson(const QString& AviFileName, int32_t fps);
    Q_INVOKABLE QVariant TVN_PauseLesson();
    Q_INVOKABLE QVariant TVN_ResumeLesson();
    Q_INVOKABLE QVariant TVN_StopLesson();
    Q_INVOKABLE int32_t TVN_CompressLesson(const QString& AviFileName, const QString& WmvFileName);
    Q_INVOKABLE QVariant TVN_SetLogo(const QString& LogoFileName, int32_t Top, int32_t Left);
    Q_INVOKABLE void TVN_Overlay(QString& FileName);
    Q_INVOKABLE void TVN_AdjustOverlay(int32_t newLeft, int32_t newTop, int32_t newHeight, int32_t newWidth, int32_t newOpacity);
    Q_INVOKABLE void TVN_SetOverlay2Pos(double newPos);
    Q_INVOKABLE void TVN_SetOverlay2Frame(int32_t newFrame);
    Q_INVOKABLE void TVN_FlipVideo(int16_t flipIt);
    Q_INVOKABLE void TVN_ShowFilmStrip(bool onOrOff);
    Q_INVOKABLE void TVN_FlipOverlay(bool flipIt);
    Q_INVOKABLE QVariant TVN_SetTracking(bool& onOrOff);
    Q_INVOKABLE double TVN_GetPosLive();
    Q_INVOKABLE QVariant TVN_SetSecondIPic(tvn::Picture& zz);
    Q_INVOKABLE int32_t TVN_UploadFrame(const QString& server, const QString& username, const QString& password, const QString& path, const QString& FileName, int32_t Port, int32_t quality);
    Q_INVOKABLE QVariant TVN_DisplayLaunchMonitor(bool onOrOff);
    Q_INVOKABLE void TVN_SetBitmapOverlay(int32_t& BitmapHandle);
    Q_INVOKABLE void TVN_SelectAudioDevice(int16_t AudioDeviceIndex);
    Q_INVOKABLE void TVN_SelectAudioLineInput(int16_t AudioLineInputIndex);

    // Host-side wiring that is not part of the dispatch interface.
    explicit Trelvan(QWidget* parent = nullptr);
    // With other components than the real ones (tests' fakes); not exported:
    // the components' contracts are private to the library.
    TVN_NO_EXPORT Trelvan(Components components, QWidget* parent = nullptr);
    ~Trelvan() override;

    // Events also go to this listener (not owned; nullptr for none).
    void setListener(TrelvanListener* listener);
    // The last failure no caller was there to receive: a notification
    // handler's, or one a component reported (a worker's, an upload's reason),
    // each also signalled by failed(); cleared by clearNotificationError().
    const TvnError* lastNotificationError() const;
    void clearNotificationError();

    // The two developer test buttons, never shown to users.
    void Command1Click();
    void Command2Click();

    // The widget that shows the video now (display, mixer or film strip), for
    // hosts and tools that send input to it or capture it.
    QWidget* visibleVideoWidget() const;

    // The motion-analysis companion (calibration, point tracking, kinematics),
    // made on first use; owned by the control.
    MotionAnalysis* motion();
    // The video-export companion (an analysis as a video file anyone can play),
    // made on first use; owned by the control.
    VideoExport* videoExport();
    // The analysis-document companion (documents beside the clip, autosave and
    // recovery, key moments), made on first use; owned by the control. Until a
    // host asks for it the control persists nothing.
    Analysis* analysis();

    // Extension outside the documented interface, for a host's frame slider
    // while it is dragged: shows at once the picture nearest frameNumber that
    // costs little (a frame the engine holds decoded, or the keyframe before it;
    // the engine decodes on towards the frame meanwhile) and makes it the
    // position (TVN_CurrentFrame, TVN_CurrentPos); returns that frame. When the
    // drag ends, TVN_SetFrame shows the exact frame, which is then ready or
    // nearly. TVN_SetFrame, TVN_SetPos and TVN_StepOneFrame stay exact.
    Q_INVOKABLE int32_t scrubToFrame(int32_t frameNumber);

    // Extension outside the documented interface, for a host that aligns the
    // second clip of an overlay with the first: the main clip stays whole over
    // the display while the second goes to (left, top) at width x height
    // (display pixels; mirrored while TVN_FlipOverlay says so), at opacity
    // percent. TVN_AdjustOverlay moves the two clips by opposite offsets, as documented.
    // Extension outside the documented interface: readable drawing, for HD
    // footage shown smaller than its pixels. Pen widths (TVN_drawingWidth and
    // the outlines) count screen pixels; every stroke, trail and label has an
    // outline (a screen pixel and a half) that reads on any picture instead of the
    // offset shadow; the values the control prints keep the design font, bold;
    // an angle shows no value before its second arm has a length; the loupe has
    // a border. Off by default, when the drawing is exactly as documented.
    Q_INVOKABLE void setReadableDrawing(bool on);
    bool readableDrawing() const;

    Q_INVOKABLE void placeSecondClip(int32_t left, int32_t top, int32_t width, int32_t height, int32_t opacity);

signals:
    void VideoEnd();
    void MouseDown(int16_t& Button, int16_t& Shift, float& x, float& y);
    void MouseUp(int16_t& Button, int16_t& Shift, float& x, float& y);
    void MouseMove(int16_t& Button, int16_t& Shift, float& x, float& y);
    void KeyPress(int16_t& KeyAscii);
    void FullScreenLost();
    void LessonCompressionComplete();
    void LessonCompressionProgress();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class ControlProbe;  // tests' window on the private state
    friend class TrelvanPrivate;

    std::unique_ptr<TrelvanPrivate> d_;
};

}  // namespace tvn
