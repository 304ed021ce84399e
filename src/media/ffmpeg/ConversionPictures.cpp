#include "media/ffmpeg/ConversionPictures.h"

#include "media/ffmpeg/ConversionError.h"
#include "media/ffmpeg/ConversionOutput.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/dict.h>
}

namespace tvn {

using namespace ff;

ConversionPictures::ConversionPictures(const LessonConverter::Job& job)
    : job_(job), input_(job.videoFile, AVMEDIA_TYPE_VIDEO) {
    AVStream* st = input_.stream();
    AVRational rate = st->avg_frame_rate.num ? st->avg_frame_rate : st->r_frame_rate;
    if (rate.num > 0 && rate.den > 0) inFps_ = av_q2d(rate);
    outFps_ = job_.profile.frameRate > 0 ? job_.profile.frameRate : inFps_;
    job_.profile.outputSize(st->codecpar->width, st->codecpar->height, outWidth_, outHeight_);
    // Decode at a reduced size when the decoder can and the output is that small anyway.
    int lowres = 0;
    while (lowres < 3 && (st->codecpar->width >> (lowres + 1)) >= outWidth_ &&
           (st->codecpar->height >> (lowres + 1)) >= outHeight_)
        ++lowres;
    input_.openDecoder(lowres);
}

void ConversionPictures::addEncoder(ConversionOutput& output, const char* name) {
    output_ = &output;
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) conversion::fail(QStringLiteral("The encoder '%1' is not available").arg(QLatin1String(name)));
    encoder_.reset(avcodec_alloc_context3(codec));
    const AVRational rate = av_d2q(outFps_, 100000);
    encoder_->width = outWidth_;
    encoder_->height = outHeight_;
    encoder_->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder_->time_base = av_inv_q(rate);
    encoder_->framerate = rate;
    encoder_->bit_rate = job_.profile.videoBitRate;
    encoder_->gop_size = std::max(1, static_cast<int>(std::lround(outFps_ * 2)));
    encoder_->max_b_frames = 0;
    encoder_->thread_count = 2;
    if (output.wantsGlobalHeader()) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    if (output.mp4()) av_dict_set(&options, "preset", "veryfast", 0);
    const int rc = avcodec_open2(encoder_.get(), codec, &options);
    av_dict_free(&options);
    conversion::check(rc, QStringLiteral("Cannot open the %1 encoder").arg(QLatin1String(name)));
    stream_ = output.addStream(encoder_.get(), "video");
    stream_->avg_frame_rate = rate;
    scaled_.reset(av_frame_alloc());
    scaled_->format = encoder_->pix_fmt;
    scaled_->width = outWidth_;
    scaled_->height = outHeight_;
    conversion::check(av_frame_get_buffer(scaled_.get(), 0), QStringLiteral("video frame"));
}

void ConversionPictures::step() {
    AVCodecContext* decoder = input_.decoder();
    const QString& file = input_.fileName();
    if (!ended_) {
        if (!input_.readPacket(packet_.get())) {
            ended_ = true;
        } else {
            if (packet_->stream_index == input_.streamIndex()) {
                const int64_t pts = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
                // A packet identical to the one before is the same picture (the lesson
                // writer copies packets, and a still picture encodes to the same bytes):
                // it is shown again after that one instead of being decoded again.
                if (pts != AV_NOPTS_VALUE && lastSentPts_ != AV_NOPTS_VALUE &&
                    static_cast<size_t>(packet_->size) == lastBytes_.size() &&
                    std::equal(lastBytes_.begin(), lastBytes_.end(), packet_->data)) {
                    av_packet_unref(packet_.get());
                    if (lastShownPts_ == lastSentPts_) emitFrame(lastDecoded_.get(), pts);  // its picture is out
                    else repeats_[lastSentPts_].push_back(pts);
                } else {
                    lastBytes_.assign(packet_->data, packet_->data + packet_->size);
                    lastSentPts_ = pts;
                    const int rc = avcodec_send_packet(decoder, packet_.get());
                    av_packet_unref(packet_.get());
                    if (rc < 0 && rc != AVERROR(EAGAIN)) conversion::check(rc, QStringLiteral("Cannot decode '%1'").arg(file));
                }
            } else {
                av_packet_unref(packet_.get());
            }
        }
    }
    for (;;) {
        const int rc = avcodec_receive_frame(decoder, decoded_.get());
        if (rc == AVERROR(EAGAIN)) return;
        if (rc == AVERROR_EOF) break;
        conversion::check(rc, QStringLiteral("Cannot decode '%1'").arg(file));
        ++decodedCount_;
        av_frame_unref(lastDecoded_.get());
        av_frame_move_ref(lastDecoded_.get(), decoded_.get());
        const int64_t ts = lastDecoded_->pts != AV_NOPTS_VALUE ? lastDecoded_->pts : lastDecoded_->best_effort_timestamp;
        emitFrame(lastDecoded_.get(), ts);
        lastShownPts_ = ts;
        // The copies of this picture, and of any whose picture never came out.
        while (!repeats_.empty() && repeats_.begin()->first <= ts && !done_) {
            for (int64_t copy : repeats_.begin()->second)
                if (!done_) emitFrame(lastDecoded_.get(), copy);
            repeats_.erase(repeats_.begin());
        }
        if (done_) return;
    }
    // Decoder drained: copies still waiting show the last picture, then the encoder is flushed.
    for (const auto& [picture, copies] : repeats_)
        for (int64_t copy : copies)
            if (!done_ && decodedCount_ > 0) emitFrame(lastDecoded_.get(), copy);
    repeats_.clear();
    if (done_) return;
    if (written_ == 0) conversion::fail(QStringLiteral("The lesson video '%1' holds no frames in the span").arg(file));
    flushEncoder();
}

void ConversionPictures::emitFrame(const AVFrame* decoded, int64_t ts) {
    const AVRational tb = input_.stream()->time_base;
    if (ts == AV_NOPTS_VALUE) ts = 0;
    const double start = ts * av_q2d(tb) - job_.fromSeconds;
    const double end = start + 1.0 / inFps_;
    if (end <= 0) return;
    if (start >= job_.toSeconds - job_.fromSeconds) {
        flushEncoder();
        return;
    }
    // Every output frame whose middle falls before this frame ends shows this frame.
    if (!((written_ + 0.5) / outFps_ < end)) return;
    if (scaledPicture_ != decodedCount_) scale(decoded);
    while ((written_ + 0.5) / outFps_ < end) {
        scaled_->pts = written_++;
        output_->encodeAndWrite(encoder_.get(), stream_, scaled_.get());
    }
}

void ConversionPictures::scale(const AVFrame* decoded) {
    scaledPicture_ = decodedCount_;
    conversion::check(av_frame_make_writable(scaled_.get()), QStringLiteral("video frame"));
    if (!scaler_.scale(decoded, FrameScaler::sideOf(scaled_.get()), scaled_->data, scaled_->linesize))
        conversion::fail(QStringLiteral("Cannot scale the pictures of '%1'").arg(input_.fileName()));
}

void ConversionPictures::flushEncoder() {
    output_->encodeAndWrite(encoder_.get(), stream_, nullptr);
    done_ = true;
}

int ConversionPictures::percentRead() const {
    const int64_t size = avio_size(input_.format()->pb);
    const int64_t pos = avio_tell(input_.format()->pb);
    return size > 0 ? static_cast<int>(pos * 100 / size) : 0;
}

}  // namespace tvn
