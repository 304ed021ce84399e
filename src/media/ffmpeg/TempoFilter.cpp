#include "media/ffmpeg/TempoFilter.h"

#include "media/SoundOutput.h"
#include "media/ffmpeg/FfmpegHandles.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
}

#include <QByteArray>
#include <QStringList>
#include <cstring>

namespace tvn {

namespace {
constexpr int kRate = SoundOutput::kRate;
constexpr int kChannels = SoundOutput::kChannels;

struct InOutFreer {
    void operator()(AVFilterInOut* io) const { avfilter_inout_free(&io); }
};
using InOutPtr = std::unique_ptr<AVFilterInOut, InOutFreer>;
}  // namespace

struct TempoFilter::Impl {
    bool passThrough = false;
    ff::FilterGraphPtr graph;
    AVFilterContext* src = nullptr;
    AVFilterContext* sink = nullptr;
    int64_t nextPts = 0;
    bool flushed = false;

    void drain(std::vector<int16_t>& out) {
        auto got = ff::makeFrame();
        while (av_buffersink_get_frame(sink, got.get()) >= 0) {
            const auto* samples = reinterpret_cast<const int16_t*>(got->data[0]);
            out.insert(out.end(), samples, samples + size_t(got->nb_samples) * kChannels);
            av_frame_unref(got.get());
        }
    }

    bool build(double tempo) {
        graph.reset(avfilter_graph_alloc());
        if (!graph) return false;
        const QByteArray srcArgs =
            QStringLiteral("sample_rate=%1:sample_fmt=s16:channel_layout=stereo:time_base=1/%1").arg(kRate).toLatin1();
        if (avfilter_graph_create_filter(&src, avfilter_get_by_name("abuffer"), "in", srcArgs.constData(), nullptr,
                                         graph.get()) < 0 ||
            avfilter_graph_create_filter(&sink, avfilter_get_by_name("abuffersink"), "out", nullptr, nullptr,
                                         graph.get()) < 0)
            return false;
        QStringList chain;
        for (double f : stages(tempo)) chain << QStringLiteral("atempo=%1").arg(f, 0, 'f', 6);
        // The atempo output keeps the input's format; aformat pins it so the
        // sink hands back exactly what the device takes.
        chain << QStringLiteral("aformat=sample_fmts=s16:sample_rates=%1:channel_layouts=stereo").arg(kRate);
        InOutPtr outputs(avfilter_inout_alloc());
        InOutPtr inputs(avfilter_inout_alloc());
        if (!outputs || !inputs) return false;
        outputs->name = av_strdup("in");
        outputs->filter_ctx = src;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = sink;
        AVFilterInOut* outRaw = outputs.release();
        AVFilterInOut* inRaw = inputs.release();
        const int parsed = avfilter_graph_parse_ptr(graph.get(), chain.join(',').toLatin1().constData(), &inRaw,
                                                    &outRaw, nullptr);
        avfilter_inout_free(&inRaw);
        avfilter_inout_free(&outRaw);
        return parsed >= 0 && avfilter_graph_config(graph.get(), nullptr) >= 0;
    }
};

TempoFilter::TempoFilter(double tempo) : d(std::make_unique<Impl>()) {
    d->passThrough = tempo == 1.0;
    if (!d->passThrough && !d->build(tempo)) d->graph.reset();
}

TempoFilter::~TempoFilter() = default;

bool TempoFilter::isReady() const { return d->passThrough || d->graph != nullptr; }

std::vector<double> TempoFilter::stages(double tempo) {
    std::vector<double> factors;
    if (!(tempo > 0)) return factors;
    while (tempo < 0.5) {
        factors.push_back(0.5);
        tempo /= 0.5;
    }
    while (tempo > 2.0) {
        factors.push_back(2.0);
        tempo /= 2.0;
    }
    factors.push_back(tempo);
    return factors;
}

std::vector<int16_t> TempoFilter::process(const int16_t* interleaved, int frames) {
    if (d->passThrough) return std::vector<int16_t>(interleaved, interleaved + size_t(frames) * kChannels);
    std::vector<int16_t> out;
    if (!d->graph || d->flushed || frames <= 0) return out;
    auto in = ff::makeFrame();
    in->format = AV_SAMPLE_FMT_S16;
    in->sample_rate = kRate;
    in->nb_samples = frames;
    in->pts = d->nextPts;
    d->nextPts += frames;
    av_channel_layout_default(&in->ch_layout, kChannels);
    if (av_frame_get_buffer(in.get(), 0) < 0) return out;
    std::memcpy(in->data[0], interleaved, size_t(frames) * kChannels * sizeof(int16_t));
    if (av_buffersrc_add_frame(d->src, in.get()) < 0) return out;
    d->drain(out);
    return out;
}

std::vector<int16_t> TempoFilter::flush() {
    std::vector<int16_t> out;
    if (d->passThrough || !d->graph || d->flushed) return out;
    d->flushed = true;
    if (av_buffersrc_add_frame(d->src, nullptr) < 0) return out;  // the end: atempo lets go of what it held
    d->drain(out);
    return out;
}

}  // namespace tvn
