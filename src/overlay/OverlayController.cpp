#include "overlay/OverlayController.h"

#include <QWidget>

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
    const double widthTwips = drives_.display.Width();
    const double heightTwips = drives_.display.Height();
    return {static_cast<float>(widthTwips / twipsPerPixelX(&drives_.control)),
            static_cast<float>(heightTwips / twipsPerPixelY(&drives_.control))};
}

void OverlayController::placeSecondSource(bool mirrored) {
    const DisplaySize d = displaySize();
    const int32_t second = overlaySources_.overlayMixerSource;
    if (mirrored) {
        drives_.mixer.SetSourceRect(second, d.w, 0, -d.w, d.h);
    } else {
        drives_.mixer.SetSourceRect(second, 0, 0, d.w, d.h);
    }
}

void OverlayController::TVN_Overlay(QString& FileName) {
    withPrefix("TVN_Overlay", [&] {
        clipLoader_.CloseOverlay();
        if (props_.TVN_videoFileName.isEmpty() || props_.TVN_NumFrames == 0 || FileName.isEmpty()) return;

        VideoMixer& mixer = drives_.mixer;
        VideoEngine& display = drives_.display;
        mixer.SetTop(0);
        mixer.SetLeft(0);
        mixer.SetWidth(display.Width());
        mixer.SetHeight(display.Height());

        display.SetVisible(false);
        mixer.SetVisible(true);
        // Pending window messages run here, so host events and timer ticks may run
        // inside this call; the overlay counts as active only after them.
        if (!drives_.platform.processEventsAndSurvive(&drives_.control)) return;
        mixer.Call9();
        if (!drives_.platform.processEventsAndSurvive(&drives_.control)) return;
        mixer.SetMixerSetting2(0);

        overlaySources_.overlayActive = true;
        overlaySources_.mainMixerSource = mixer.AddSource(props_.TVN_videoFileName, 0);
        overlaySources_.overlayMixerSource = mixer.AddSource(FileName, 0);
        overlaySources_.overlayFileName = FileName;
        mixer.Call11();

        int32_t width = 0, height = 0;  // asked for, not used further
        mixer.GetSourceSize(overlaySources_.mainMixerSource, width, height);
        mixer.GetSourceSize(overlaySources_.overlayMixerSource, width, height);
        overlayDuration_ = mixer.GetSourceDuration(overlaySources_.overlayMixerSource);

        mixer.PlaySource(overlaySources_.mainMixerSource);
        mixer.PlaySource(overlaySources_.overlayMixerSource);
        // A Boolean handed to the mixer as a Long: -1 on, 0 off.
        const int32_t deinterlace = boolToLong(props_.TVN_DoDeinterlace);
        mixer.SetSourceDeinterlace(overlaySources_.overlayMixerSource, deinterlace);
        mixer.SetSourceDeinterlace(overlaySources_.mainMixerSource, deinterlace);
        mixer.PauseSource(overlaySources_.mainMixerSource);
        mixer.PauseSource(overlaySources_.overlayMixerSource);
        mixer.SetSourceAlpha(overlaySources_.overlayMixerSource, InitialOverlayAlpha);
        secondMirrored_ = false;
        placement_ = {};

        // The main clip keeps the mirroring the display had.
        const DisplaySize d = displaySize();
        if (clipPicture_.videoFlipped) {
            mixer.SetSourceRect(overlaySources_.mainMixerSource, d.w, 0, -d.w, d.h);
        } else {
            mixer.SetSourceRect(overlaySources_.mainMixerSource, 0, 0, d.w, d.h);
        }
    });
}

void OverlayController::TVN_FlipOverlay(bool flipIt) {
    withPrefix("TVN_FlipOverlay", [&] {
        placeSecondSource(flipIt);
        secondMirrored_ = flipIt;
        placement_.mirrored = flipIt;
        placement_.placed = false;  // the second source fills the display again
    });
}

void OverlayController::placeSecondClip(int32_t left, int32_t top, int32_t width, int32_t height, int32_t opacity) {
    if (!overlaySources_.overlayActive) return;
    placement_.placed = true;
    placement_.left = left;
    placement_.top = top;
    placement_.width = width;
    placement_.height = height;
    placement_.opacity = opacity;
    VideoMixer& mixer = drives_.mixer;
    ignoringErrors([&] {
        const DisplaySize d = displaySize();
        if (clipPicture_.videoFlipped) mixer.SetSourceRect(overlaySources_.mainMixerSource, d.w, 0, -d.w, d.h);
        else mixer.SetSourceRect(overlaySources_.mainMixerSource, 0, 0, d.w, d.h);
    });
    ignoringErrors([&] {
        const auto x = float(left), y = float(top), w = float(width), h = float(height);
        if (secondMirrored_) mixer.SetSourceRect(overlaySources_.overlayMixerSource, x + w, y, -w, h);
        else mixer.SetSourceRect(overlaySources_.overlayMixerSource, x, y, w, h);
    });
    ignoringErrors([&] { mixer.SetSourceAlpha(overlaySources_.overlayMixerSource, float(opacity * 0.01)); });
}

void OverlayController::TVN_AdjustOverlay(int32_t newLeft, int32_t newTop, int32_t newHeight, int32_t newWidth,
                                          int32_t newOpacity) {
    withPrefix("TVN_AdjustOverlay", [&] {
        if (!overlaySources_.overlayActive) return;
        // From here each failing mixer call is skipped.
        VideoMixer& mixer = drives_.mixer;
        ignoringErrors([&] {
            mixer.SetSourceRect(overlaySources_.mainMixerSource, static_cast<float>(newLeft), static_cast<float>(newTop),
                                static_cast<float>(newWidth), static_cast<float>(newHeight));
        });
        // The second clip keeps the display's size and moves by the opposite offset,
        // so it stays where it was on screen relative to the moved main clip.
        ignoringErrors([&] {
            const DisplaySize d = displaySize();
            mixer.SetSourceRect(overlaySources_.overlayMixerSource, static_cast<float>(-newLeft), static_cast<float>(-newTop), d.w,
                                d.h);
        });
        // A percentage: 100 is opaque.
        ignoringErrors([&] { mixer.SetSourceAlpha(overlaySources_.overlayMixerSource, static_cast<float>(newOpacity * 0.01)); });
        ignoringErrors([&] { mixer.PauseSource(overlaySources_.mainMixerSource); });
        ignoringErrors([&] { mixer.PauseSource(overlaySources_.overlayMixerSource); });
    });
}

void OverlayController::TVN_SetOverlay2Pos(double newPos) {
    withPrefix("TVN_SetOverlay2Pos", [&] {
        VideoMixer& mixer = drives_.mixer;
        const int32_t second = overlaySources_.overlayMixerSource;
        if (mixer.GetSourceDuration(second) <= 0) return;
        if (!(newPos >= 0 && newPos <= overlayDuration_)) return;  // outside the clip, or NaN
        mixer.SeekSource(second, newPos);
        mixer.PauseSource(second);
        placement_.positionMs = newPos;
        placement_.frame = -1;
    });
}

void OverlayController::TVN_SetOverlay2Frame(int32_t newFrame) {
    withPrefix("TVN_SetOverlay2Frame", [&] {
        VideoMixer& mixer = drives_.mixer;
        const int32_t second = overlaySources_.overlayMixerSource;
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
        placement_.positionMs = pos;
        placement_.frame = newFrame;
    });
}

void OverlayController::TVN_SetBitmapOverlay(int32_t& BitmapHandle) {
    withPrefix("TVN_SetBitmapOverlay", [&] {
        props_.TVN_OverlayImage = BitmapHandle;
        // Slot 0, at (0, 0) over the whole video; the key colour and the blending
        // level go to the engine unchanged.
        drives_.display.SetOverlayBitmap(0, BitmapHandle, 0, 0, props_.TVN_VideoWidth, props_.TVN_VideoHeight,
                                        props_.TVN_TransparentColor, props_.TVN_AlphaLevel);
        // Paused: show the frame again, now with the bitmap (every display seek carries +1 ms).
        if (!props_.TVN_IsPlaying) drives_.display.Seek(props_.TVN_CurrentPos + 1.0);
    });
}

}  // namespace tvn
