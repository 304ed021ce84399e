#pragma once

#include "media/BasicVideoMixer.h"
#include "media/ffmpeg/MixerSource.h"

#include <QImage>
#include <QPointer>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace tvn {

class MixerDisplay;

// The video mixer on FFmpeg. Each source is a clip decoded frame-exactly by its
// own ClipDecoder, advanced by a worker thread of its own while it plays.
//
// Units: positions and durations are milliseconds from the clip's first frame,
// as the display engine's; SeekSource shows the frame whose interval contains
// the position, and a position up to 1 µs before a frame's start shows that
// frame, so GetSourceDuration / GetSourceFrameCount x n lands on frame n.
// Rectangles are display pixels (the widget's own pixels); a negative width
// mirrors left to right, a negative height top to bottom; whatever reaches
// outside the display is cut off. Until SetSourceRect a source fills the display.
// Alpha is 0 (transparent) to 1 (opaque), clamped; a new source is opaque.
//
// Clock: playing sources advance on one shared clock (steady time). A source
// started at clock time t on frame position p shows at t + d the frame whose
// interval contains p + d, so two clips of different frame rates stay in step.
// The clock reads one instant for all calls made before control returns to the
// event loop, so sources started (or paused) together by one host call start
// (or stop) at the same instant: TVN_Play starts both clips in step, and a
// PlaySource followed at once by PauseSource leaves the source where it was.
// A paused source shows the frame the clock reached, even if its decoding fell
// behind. A source that reaches its last frame stays there; PauseSource keeps
// the frame shown until PlaySource or SeekSource.
//
// Composition: the picture is composed once for each change of what is shown
// (a source's new frame, a seek, a placement, opacity or size change), on the UI
// thread, at the display's size (the first source's size while the display has
// no area), sources in the order they were added, the later over the earlier.
// The widget paints that picture; MixedFramePicture(-1) returns exactly it.
//
// The set-up calls: Call9 holds composition (the display keeps showing its
// last picture while sources are added and placed); Call11 ends the hold and
// composes. MixerSetting2 is the background colour (0x00BBGGRR) where no
// source covers the display; the control sets 0, black.
//
// Identifiers: every per-source operation on an identifier the mixer does not
// hold fails with MixerSourceUnknown, except RemoveSource, which then does
// nothing. Removal is idempotent so that an overlay whose second clip failed to
// open (its identifier is still -1) can always be taken down and the control
// closed or given another clip.
class FfmpegVideoMixer : public BasicVideoMixer {
    Q_OBJECT
public:
    explicit FfmpegVideoMixer(QWidget* parent);
    ~FfmpegVideoMixer() override;

    void Call9() override { holdComposition(); }
    void SetMixerSetting2(int32_t value) override { setBackgroundColour(value); }
    int32_t AddSource(const QString& fileName, int32_t flags) override;
    void Call11() override { releaseComposition(); }
    void RemoveSource(int32_t source) override;
    void StopAll() override;

    void GetSourceSize(int32_t source, int32_t& width, int32_t& height) override;
    double GetSourceDuration(int32_t source) override;
    int32_t GetSourceFrameCount(int32_t source) override;
    void SetSourceDeinterlace(int32_t source, int32_t onOff) override;
    void SetSourceAlpha(int32_t source, float alpha) override;
    void SetSourceRect(int32_t source, float x, float y, float width, float height) override;
    void SeekSource(int32_t source, double position) override;
    void PlaySource(int32_t source) override;
    void PauseSource(int32_t source) override;

    // -1: the composed picture shown; a source's identifier: that source's own
    // frame as decoded (display size, unplaced, opaque).
    Picture MixedFramePicture(int32_t which) override;

    // How many pictures have been composed (tests: paints must not compose).
    int64_t compositionCount() const { return compositions_; }
    // Number of sources now added.
    int sourceCount() const { return static_cast<int>(sources_.size()); }

private:
    // Call9: the display keeps its last picture while sources are added and placed.
    void holdComposition() { held_ = true; }
    // Call11: composes again, and from then on at every change.
    void releaseComposition();
    // MixerSetting2: the colour (0x00BBGGRR) where no source covers the display.
    void setBackgroundColour(int32_t colour);
    int32_t backgroundColour() { return MixerSetting2(); }

    struct Entry {
        int32_t id;
        std::unique_ptr<MixerSource> source;
    };
    MixerSource& find(int32_t source, const char* operation);
    MixerSource::Clock::time_point clockNow();
    void onFrameDue();
    void adoptDueFrames();
    void recompose();

    QPointer<MixerDisplay> view_;  // owned by the parent widget, which may delete it first
    std::vector<Entry> sources_;  // in the order they were added: the drawing order
    int32_t nextId_ = 1;
    bool held_ = false;           // between holdComposition and releaseComposition
    QImage composed_;
    int64_t compositions_ = 0;
    std::optional<MixerSource::Clock::time_point> clockInstant_;  // the clock's reading until the event loop runs
    std::atomic<bool> adoptPosted_{false};  // a queued adoption is on its way to the UI thread
};

}  // namespace tvn
