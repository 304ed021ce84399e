#include "overlay/OverlayController.h"

#include <QWidget>

#include "control/ControlParts.h"
#include "control/ControlProperties.h"
#include "control/ControlState.h"
#include "core/Numeric.h"
#include "core/TvnError.h"
#include "core/Twips.h"
#include "media/VideoEngine.h"
#include "media/VideoMixer.h"
#include "platform/Platform.h"
#include "playback/ClipLoader.h"

namespace tvn {

namespace {
constexpr float InitialOverlayAlpha = 0.5f;  // the second clip starts half transparent
}  // namespace

OverlayController::DisplaySize OverlayController::displaySize() {
    // Width first, then Height: the order the engine is asked in.
    const double widthTwips = parts_.VideoCapX1->Width();
    const double heightTwips = parts_.VideoCapX1->Height();
    return {static_cast<float>(widthTwips / twipsPerPixelX(parts_.widget)),
            static_cast<float>(heightTwips / twipsPerPixelY(parts_.widget))};
}

void OverlayController::placeSecondSource(bool mirrored) {
    const DisplaySize d = displaySize();
    const int32_t second = state_.overlayMixerSource;
    if (mirrored) {
        parts_.VideoMixerX1->SetSourceRect(second, d.w, 0, -d.w, d.h);
    } else {
        parts_.VideoMixerX1->SetSourceRect(second, 0, 0, d.w, d.h);
    }
}

void OverlayController::TVN_Overlay(QString& FileName) {
    withPrefix("TVN_Overlay", [&] {
        ControlState& s = state_;
        clipLoader_.CloseOverlay();
        if (props_.TVN_videoFileName.isEmpty() || props_.TVN_NumFrames == 0 || FileName.isEmpty()) return;

        VideoMixer& mixer = *parts_.VideoMixerX1;
        VideoEngine& display = *parts_.VideoCapX1;
        mixer.SetTop(0);
        mixer.SetLeft(0);
        mixer.SetWidth(display.Width());
        mixer.SetHeight(display.Height());

        display.SetVisible(false);
        mixer.SetVisible(true);
        // Pending window messages run here, so host events and timer ticks may run
        // inside this call; the overlay counts as active only after them.
        if (!parts_.platform->processEventsAndSurvive(parts_.widget)) return;
        mixer.Call9();
        if (!parts_.platform->processEventsAndSurvive(parts_.widget)) return;
        mixer.SetMixerSetting2(0);

        s.overlayActive = true;
        s.mainMixerSource = mixer.AddSource(props_.TVN_videoFileName, 0);
        s.overlayMixerSource = mixer.AddSource(FileName, 0);
        s.overlayFileName = FileName;
        mixer.Call11();

        int32_t width = 0, height = 0;  // asked for, not used further
        mixer.GetSourceSize(s.mainMixerSource, width, height);
        mixer.GetSourceSize(s.overlayMixerSource, width, height);
        overlayDuration_ = mixer.GetSourceDuration(s.overlayMixerSource);

        mixer.PlaySource(s.mainMixerSource);
        mixer.PlaySource(s.overlayMixerSource);
        // A Boolean handed to the mixer as a Long: -1 on, 0 off.
        const int32_t deinterlace = boolToLong(props_.TVN_DoDeinterlace);
        mixer.SetSourceDeinterlace(s.overlayMixerSource, deinterlace);
        mixer.SetSourceDeinterlace(s.mainMixerSource, deinterlace);
        mixer.PauseSource(s.mainMixerSource);
        mixer.PauseSource(s.overlayMixerSource);
        mixer.SetSourceAlpha(s.overlayMixerSource, InitialOverlayAlpha);
        secondMirrored_ = false;

        // The main clip keeps the mirroring the display had.
        const DisplaySize d = displaySize();
        if (s.videoFlipped) {
            mixer.SetSourceRect(s.mainMixerSource, d.w, 0, -d.w, d.h);
        } else {
            mixer.SetSourceRect(s.mainMixerSource, 0, 0, d.w, d.h);
        }
    });
}

void OverlayController::TVN_FlipOverlay(bool flipIt) {
    withPrefix("TVN_FlipOverlay", [&] {
        placeSecondSource(flipIt);
        secondMirrored_ = flipIt;
    });
}

void OverlayController::placeSecondClip(int32_t left, int32_t top, int32_t width, int32_t height, int32_t opacity) {
    const ControlState& s = state_;
    if (!s.overlayActive) return;
    VideoMixer& mixer = *parts_.VideoMixerX1;
    ignoringErrors([&] {
        const DisplaySize d = displaySize();
        if (s.videoFlipped) mixer.SetSourceRect(s.mainMixerSource, d.w, 0, -d.w, d.h);
        else mixer.SetSourceRect(s.mainMixerSource, 0, 0, d.w, d.h);
    });
    ignoringErrors([&] {
        const auto x = float(left), y = float(top), w = float(width), h = float(height);
        if (secondMirrored_) mixer.SetSourceRect(s.overlayMixerSource, x + w, y, -w, h);
        else mixer.SetSourceRect(s.overlayMixerSource, x, y, w, h);
    });
    ignoringErrors([&] { mixer.SetSourceAlpha(s.overlayMixerSource, float(opacity * 0.01)); });
}

void OverlayController::TVN_AdjustOverlay(int32_t newLeft, int32_t newTop, int32_t newHeight, int32_t newWidth,
                                          int32_t newOpacity) {
    withPrefix("TVN_AdjustOverlay", [&] {
        ControlState& s = state_;
        if (!s.overlayActive) return;
        // From here each failing mixer call is skipped.
        VideoMixer& mixer = *parts_.VideoMixerX1;
        ignoringErrors([&] {
            mixer.SetSourceRect(s.mainMixerSource, static_cast<float>(newLeft), static_cast<float>(newTop),
                                static_cast<float>(newWidth), static_cast<float>(newHeight));
        });
        // The second clip keeps the display's size and moves by the opposite offset,
        // so it stays where it was on screen relative to the moved main clip.
        ignoringErrors([&] {
            const DisplaySize d = displaySize();
            mixer.SetSourceRect(s.overlayMixerSource, static_cast<float>(-newLeft), static_cast<float>(-newTop), d.w,
                                d.h);
        });
        // A percentage: 100 is opaque.
        ignoringErrors([&] { mixer.SetSourceAlpha(s.overlayMixerSource, static_cast<float>(newOpacity * 0.01)); });
        ignoringErrors([&] { mixer.PauseSource(s.mainMixerSource); });
        ignoringErrors([&] { mixer.PauseSource(s.overlayMixerSource); });
    });
}

void OverlayController::TVN_SetOverlay2Pos(double newPos) {
    withPrefix("TVN_SetOverlay2Pos", [&] {
        VideoMixer& mixer = *parts_.VideoMixerX1;
        const int32_t second = state_.overlayMixerSource;
        if (mixer.GetSourceDuration(second) <= 0) return;
        if (!(newPos >= 0 && newPos <= overlayDuration_)) return;  // outside the clip, or NaN
        mixer.SeekSource(second, newPos);
        mixer.PauseSource(second);
    });
}

void OverlayController::TVN_SetOverlay2Frame(int32_t newFrame) {
    withPrefix("TVN_SetOverlay2Frame", [&] {
        VideoMixer& mixer = *parts_.VideoMixerX1;
        const int32_t second = state_.overlayMixerSource;
        if (mixer.GetSourceDuration(second) <= 0) return;
        const int32_t frames = mixer.GetSourceFrameCount(second);
        if (frames == 0)
            throw TvnError(err::DivisionByZero,
                           QStringLiteral("Division by zero: the second clip reports 0 frames, so frame %1 has no "
                                          "position")
                               .arg(newFrame),
                           QStringLiteral("Trelvan"));
        // Frames count from 0: frame 0 is position 0.
        const double pos = overlayDuration_ / frames * newFrame;
        if (pos < 0 || pos > overlayDuration_) return;
        mixer.SeekSource(second, pos);
        mixer.PauseSource(second);
    });
}

void OverlayController::TVN_SetBitmapOverlay(int32_t& BitmapHandle) {
    withPrefix("TVN_SetBitmapOverlay", [&] {
        props_.TVN_OverlayImage = BitmapHandle;
        // Slot 0, at (0, 0) over the whole video; the key colour and the blending
        // level go to the engine unchanged.
        parts_.VideoCapX1->SetOverlayBitmap(0, BitmapHandle, 0, 0, props_.TVN_VideoWidth, props_.TVN_VideoHeight,
                                        props_.TVN_TransparentColor, props_.TVN_AlphaLevel);
        // Paused: show the frame again, now with the bitmap (every display seek carries +1 ms).
        if (!props_.TVN_IsPlaying) parts_.VideoCapX1->Seek(props_.TVN_CurrentPos + 1.0);
    });
}

}  // namespace tvn
