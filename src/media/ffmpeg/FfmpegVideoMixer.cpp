#include "media/ffmpeg/FfmpegVideoMixer.h"

#include "core/Numeric.h"
#include "core/TvnError.h"
#include "media/ffmpeg/EngineValues.h"
#include "media/FrameComposer.h"
#include "media/ffmpeg/MixerComposer.h"
#include "media/ffmpeg/MixerDisplay.h"

#include <QTimer>
#include <algorithm>
#include <cmath>

namespace tvn {

namespace {
[[noreturn]] void invalidArgument(const char* operation, const QString& what) {
    throw TvnError(err::InvalidCall, QStringLiteral("%1: %2").arg(QLatin1String(operation), what),
                   QStringLiteral("VideoMixer"));
}
}  // namespace

FfmpegVideoMixer::FfmpegVideoMixer(QWidget* parent) : BasicVideoMixer(parent) {
    view_ = new MixerDisplay(parent);
    setDisplay(view_);
    connect(view_, &MixerDisplay::resized, this, [this] { recompose(); });
    recompose();
}

FfmpegVideoMixer::~FfmpegVideoMixer() {
    // Workers end before the sources (and this object) go.
    sources_.clear();
}

MixerSource& FfmpegVideoMixer::find(int32_t source, const char* operation) {
    const auto it = std::find_if(sources_.begin(), sources_.end(), [&](const Entry& e) { return e.id == source; });
    if (it == sources_.end()) throwUnknownSource(source, operation);
    return *it->source;
}

// ---- set-up -------------------------------------------------------------------

void FfmpegVideoMixer::releaseComposition() {
    held_ = false;
    recompose();
}

void FfmpegVideoMixer::setBackgroundColour(int32_t colour) {
    BasicVideoMixer::SetMixerSetting2(colour);  // read back as it was set
    recompose();
}

int32_t FfmpegVideoMixer::AddSource(const QString& fileName, int32_t) {
    return withPrefix("AddSource", [&] {
        auto source = std::make_unique<MixerSource>([this] { onFrameDue(); }, [this](const TvnError& error) {
            QMetaObject::invokeMethod(this, [this, error] { emit Failed(error); }, Qt::QueuedConnection);
        });
        source->open(fileName);
        const int32_t id = nextId_++;
        sources_.push_back({id, std::move(source)});
        recompose();
        return id;
    });
}

void FfmpegVideoMixer::RemoveSource(int32_t source) {
    if (std::erase_if(sources_, [&](const Entry& e) { return e.id == source; }) > 0) recompose();
}

void FfmpegVideoMixer::StopAll() {
    for (Entry& e : sources_) e.source->pause(clockNow());
    recompose();
}

// ---- queries ------------------------------------------------------------------

void FfmpegVideoMixer::GetSourceSize(int32_t source, int32_t& width, int32_t& height) {
    const ClipInfo& info = find(source, "GetSourceSize").info();
    width = info.width;
    height = info.height;
}

double FfmpegVideoMixer::GetSourceDuration(int32_t source) { return find(source, "GetSourceDuration").info().durationMs; }

int32_t FfmpegVideoMixer::GetSourceFrameCount(int32_t source) {
    const ClipInfo& info = find(source, "GetSourceFrameCount").info();
    return toInt32(info.frameCount);
}

// ---- per-source settings --------------------------------------------------------

void FfmpegVideoMixer::SetSourceDeinterlace(int32_t source, int32_t onOff) {
    MixerSource& s = find(source, "SetSourceDeinterlace");
    withPrefix("SetSourceDeinterlace", [&] { s.setDeinterlace(onOff != 0); });
    recompose();
}

void FfmpegVideoMixer::SetSourceAlpha(int32_t source, float alpha) {
    MixerSource& s = find(source, "SetSourceAlpha");
    if (!std::isfinite(alpha)) invalidArgument("SetSourceAlpha", QStringLiteral("the opacity is not a number"));
    s.setAlpha(std::clamp(alpha, 0.0f, 1.0f));
    recompose();
}

void FfmpegVideoMixer::SetSourceRect(int32_t source, float x, float y, float width, float height) {
    MixerSource& s = find(source, "SetSourceRect");
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(width) || !std::isfinite(height))
        invalidArgument("SetSourceRect",
                        QStringLiteral("the rectangle (%1, %2, %3, %4) is not finite").arg(x).arg(y).arg(width).arg(height));
    s.setRect(QRectF(x, y, width, height));
    recompose();
}

// ---- transport ------------------------------------------------------------------

void FfmpegVideoMixer::SeekSource(int32_t source, double position) {
    MixerSource& s = find(source, "SeekSource");
    if (!std::isfinite(position)) invalidArgument("SeekSource", QStringLiteral("the position is not a number"));
    adoptDueFrames();
    withPrefix("SeekSource", [&] { s.seek(position, clockNow()); });
    recompose();
}

void FfmpegVideoMixer::PlaySource(int32_t source) {
    MixerSource& s = find(source, "PlaySource");
    withPrefix("PlaySource", [&] { s.play(clockNow()); });
}

void FfmpegVideoMixer::PauseSource(int32_t source) {
    MixerSource& s = find(source, "PauseSource");
    if (!s.playing()) return;
    s.pause(clockNow());
    // The frame handed over just before the pause may not have been composed yet.
    recompose();
}

// ---- pictures -------------------------------------------------------------------

Picture FfmpegVideoMixer::MixedFramePicture(int32_t which) {
    if (which == engine::kMixedPicture) return Picture(composed_);
    return Picture(find(which, "MixedFramePicture").shown().image);
}

MixerSource::Clock::time_point FfmpegVideoMixer::clockNow() {
    if (!clockInstant_) {
        clockInstant_ = MixerSource::Clock::now();
        // The instant holds until control returns to the event loop.
        QTimer::singleShot(0, this, [this] { clockInstant_.reset(); });
    }
    return *clockInstant_;
}

void FfmpegVideoMixer::onFrameDue() {
    // Worker thread: only post. One adoption in flight takes every source's latest frame.
    if (adoptPosted_.exchange(true)) return;
    QMetaObject::invokeMethod(this, [this] { adoptDueFrames(); }, Qt::QueuedConnection);
}

void FfmpegVideoMixer::adoptDueFrames() {
    adoptPosted_ = false;
    bool changed = false;
    for (Entry& e : sources_) changed = e.source->adoptDueFrame() || changed;
    if (changed) recompose();
}

void FfmpegVideoMixer::recompose() {
    if (held_ || !view_) return;
    QSize size = view_->size();
    if (size.isEmpty()) size = sources_.empty() ? QSize() : QSize(sources_.front().source->info().width,
                                                                 sources_.front().source->info().height);
    std::vector<MixerComposer::Layer> layers;
    layers.reserve(sources_.size());
    for (const Entry& e : sources_) {
        const MixerSource& s = *e.source;
        layers.push_back({s.shown().image, s.hasRect() ? s.rect() : QRectF(QPointF(0, 0), QSizeF(size)), s.alpha()});
    }
    composed_ = size.isEmpty() ? QImage() : MixerComposer::compose(layers, size, FrameComposer::colourOf(backgroundColour()));
    ++compositions_;
    view_->setPicture(composed_);
}

}  // namespace tvn
