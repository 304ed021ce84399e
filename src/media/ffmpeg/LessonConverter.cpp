#include "media/ffmpeg/LessonConverter.h"

#include "core/TvnError.h"
#include "media/ffmpeg/FfmpegCompat.h"
#include "media/ffmpeg/FrameScaler.h"
#include "media/ffmpeg/LessonAvHandles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <map>
#include <vector>
#include <cmath>
#include <cstdio>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

namespace tvn {

using namespace ff;

namespace {

[[noreturn]] void failWith(const QString& what) {
    throw TvnError(err::ConversionFailed, what, QStringLiteral("FfmpegRecordingEngine"));
}

void check(int rc, const QString& what) {
    if (rc < 0) failWith(QStringLiteral("%1: %2").arg(what, errorText(rc)));
}

FormatPtr openInput(const QString& fileName, const char* what) {
    AVFormatContext* raw = nullptr;
    const int rc = avformat_open_input(&raw, fileName.toUtf8().constData(), nullptr, nullptr);
    if (rc < 0) failWith(QStringLiteral("Cannot open lesson %1 '%2': %3").arg(QLatin1String(what), fileName, errorText(rc)));
    FormatPtr input(raw);
    check(avformat_find_stream_info(raw, nullptr), QStringLiteral("Cannot read lesson %1 '%2'").arg(QLatin1String(what), fileName));
    return input;
}

CodecPtr openDecoder(AVStream* stream, int lowres, const QString& fileName) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) failWith(QStringLiteral("No decoder for the stream in '%1'").arg(fileName));
    CodecPtr ctx(avcodec_alloc_context3(codec));
    check(avcodec_parameters_to_context(ctx.get(), stream->codecpar), fileName);
    ctx->pkt_timebase = stream->time_base;
    ctx->lowres = std::min(lowres, static_cast<int>(codec->max_lowres));
    ctx->thread_count = 2;
    check(avcodec_open2(ctx.get(), codec, nullptr), QStringLiteral("Cannot decode '%1'").arg(fileName));
    return ctx;
}

// One conversion from open to rename.
class Conversion {
public:
    Conversion(const LessonConverter::Job& job, const LessonConverter::Progress& progress,
               const std::atomic<bool>& cancel)
        : job_(job), progress_(progress), cancel_(cancel), temp_(LessonConverter::temporaryName(job.outputFile)) {}

    void run();

private:
    void openVideoInput();
    void openAudioInput();
    void openOutput();
    void addVideoEncoder(const char* name);
    void addAudioEncoder(const char* name);
    void videoStep();
    void audioStep();
    // Encodes the output frames that fall in the input frame at ts, showing decoded.
    void emitVideoFrame(const AVFrame* decoded, int64_t ts);
    void scale(const AVFrame* decoded);
    void resampleIntoFifo(const uint8_t** data, int samples);
    void encodeAudioFrames(bool flush);
    void encodeAndWrite(AVCodecContext* enc, AVStream* stream, AVFrame* frame);
    void reportProgress();

    const LessonConverter::Job& job_;
    const LessonConverter::Progress& progress_;
    const std::atomic<bool>& cancel_;
    const QString temp_;
    bool mp4_ = false;
    int lastPercent_ = -1;

    FormatPtr vin_;
    int vIndex_ = -1;
    CodecPtr vdec_;
    double inFps_ = 25;
    FormatPtr ain_;
    int aIndex_ = -1;
    CodecPtr adec_;

    OutputPtr out_;
    CodecPtr venc_, aenc_;
    AVStream* vst_ = nullptr;
    AVStream* ast_ = nullptr;
    int outWidth_ = 0, outHeight_ = 0;
    double outFps_ = 25;
    FrameScaler scaler_;
    SwrPtr swr_;
    AudioFifoPtr fifo_;
    FramePtr scaled_;
    PacketPtr packet_{av_packet_alloc()};
    FramePtr decoded_{av_frame_alloc()};
    int64_t decodedCount_ = 0;   // pictures received from the decoder
    int64_t scaledPicture_ = -1;  // which of them scaled_ shows
    std::vector<uint8_t> lastBytes_;        // the last video packet sent to the decoder
    int64_t lastSentPts_ = AV_NOPTS_VALUE;
    int64_t lastShownPts_ = AV_NOPTS_VALUE;  // the pts of the last picture out of the decoder
    FramePtr lastDecoded_{av_frame_alloc()};  // that picture
    std::map<int64_t, std::vector<int64_t>> repeats_;  // picture's pts -> pts of its copies

    int64_t videoOut_ = 0;      // frames written
    int64_t audioOut_ = 0;      // samples handed to the audio encoder
    int64_t audioSkip_ = 0;     // samples still to leave out before the span
    int64_t audioLimit_ = 0;    // samples the span allows
    int64_t audioQueued_ = 0;   // samples put in the fifo so far (after the skip)
    bool videoDone_ = false, audioDone_ = true, videoEnded_ = false;
};

void Conversion::run() {
    if (!(job_.toSeconds > job_.fromSeconds) || job_.fromSeconds < 0)
        failWith(QStringLiteral("Cannot convert '%1': the span %2 to %3 s is empty")
                     .arg(job_.videoFile).arg(job_.fromSeconds).arg(job_.toSeconds));
    mp4_ = job_.outputFile.endsWith(QLatin1String(".mp4"), Qt::CaseInsensitive);
    lastPercent_ = 0;
    if (progress_) progress_(0);
    openVideoInput();
    if (!job_.audioFile.isEmpty() && QFileInfo::exists(job_.audioFile)) openAudioInput();
    try {
        // The temporary file exists from avio_open on: everything after it is
        // inside, so a header that cannot be written leaves nothing behind.
        openOutput();
        reportProgress();
        while (!videoDone_ || !audioDone_) {
            if (cancel_) failWith(QStringLiteral("Conversion of '%1' was cancelled").arg(job_.videoFile));
            const double videoTime = videoOut_ / outFps_;
            const double audioTime = aenc_ ? double(audioOut_) / aenc_->sample_rate : 0;
            if (!videoDone_ && (audioDone_ || videoTime <= audioTime)) videoStep();
            else audioStep();
            reportProgress();
        }
        check(av_write_trailer(out_.get()), QStringLiteral("Cannot finish '%1'").arg(job_.outputFile));
        avio_flush(out_->pb);
        check(out_->pb->error, QStringLiteral("Cannot write '%1'").arg(job_.outputFile));
        out_.reset();
        if (std::rename(QFile::encodeName(temp_).constData(), QFile::encodeName(job_.outputFile).constData()) != 0)
            failWith(QStringLiteral("Cannot rename '%1' to '%2': %3").arg(temp_, job_.outputFile,
                                                                        QString::fromLocal8Bit(strerror(errno))));
    } catch (...) {
        out_.reset();
        QFile::remove(temp_);
        throw;
    }
    lastPercent_ = 99;
    if (progress_) progress_(100);
}

void Conversion::openVideoInput() {
    vin_ = openInput(job_.videoFile, "video");
    vIndex_ = av_find_best_stream(vin_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (vIndex_ < 0) failWith(QStringLiteral("The lesson video '%1' has no video stream").arg(job_.videoFile));
    AVStream* st = vin_->streams[vIndex_];
    AVRational rate = st->avg_frame_rate.num ? st->avg_frame_rate : st->r_frame_rate;
    if (rate.num > 0 && rate.den > 0) inFps_ = av_q2d(rate);
    outFps_ = job_.profile.frameRate > 0 ? job_.profile.frameRate : inFps_;
    job_.profile.outputSize(st->codecpar->width, st->codecpar->height, outWidth_, outHeight_);
    // Decode at a reduced size when the decoder can and the output is that small anyway.
    int lowres = 0;
    while (lowres < 3 && (st->codecpar->width >> (lowres + 1)) >= outWidth_ &&
           (st->codecpar->height >> (lowres + 1)) >= outHeight_)
        ++lowres;
    vdec_ = openDecoder(st, lowres, job_.videoFile);
}

void Conversion::openAudioInput() {
    ain_ = openInput(job_.audioFile, "sound");
    aIndex_ = av_find_best_stream(ain_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (aIndex_ < 0) failWith(QStringLiteral("The lesson sound '%1' has no audio stream").arg(job_.audioFile));
    adec_ = openDecoder(ain_->streams[aIndex_], 0, job_.audioFile);
    if (adec_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        const int n = adec_->ch_layout.nb_channels;
        av_channel_layout_uninit(&adec_->ch_layout);
        av_channel_layout_default(&adec_->ch_layout, n);
    }
    audioDone_ = false;
}

void Conversion::openOutput() {
    AVFormatContext* raw = nullptr;
    check(avformat_alloc_output_context2(&raw, nullptr, mp4_ ? "mp4" : "asf", QFile::encodeName(temp_).constData()),
          QStringLiteral("Cannot create '%1'").arg(job_.outputFile));
    out_.reset(raw);
    addVideoEncoder(mp4_ ? "libx264" : "wmv2");
    if (ain_) addAudioEncoder(mp4_ ? "aac" : "wmav2");
    check(avio_open(&out_->pb, QFile::encodeName(temp_).constData(), AVIO_FLAG_WRITE),
          QStringLiteral("Cannot write '%1'").arg(temp_));
    AVDictionary* options = nullptr;
    if (mp4_) av_dict_set(&options, "movflags", "+faststart", 0);
    const int rc = avformat_write_header(out_.get(), &options);
    av_dict_free(&options);
    check(rc, QStringLiteral("Cannot write '%1'").arg(temp_));
}

void Conversion::addVideoEncoder(const char* name) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) failWith(QStringLiteral("The encoder '%1' is not available").arg(QLatin1String(name)));
    venc_.reset(avcodec_alloc_context3(codec));
    const AVRational rate = av_d2q(outFps_, 100000);
    venc_->width = outWidth_;
    venc_->height = outHeight_;
    venc_->pix_fmt = AV_PIX_FMT_YUV420P;
    venc_->time_base = av_inv_q(rate);
    venc_->framerate = rate;
    venc_->bit_rate = job_.profile.videoBitRate;
    venc_->gop_size = std::max(1, static_cast<int>(std::lround(outFps_ * 2)));
    venc_->max_b_frames = 0;
    venc_->thread_count = 2;
    if (out_->oformat->flags & AVFMT_GLOBALHEADER) venc_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    if (mp4_) av_dict_set(&options, "preset", "veryfast", 0);
    const int rc = avcodec_open2(venc_.get(), codec, &options);
    av_dict_free(&options);
    check(rc, QStringLiteral("Cannot open the %1 encoder").arg(QLatin1String(name)));
    vst_ = avformat_new_stream(out_.get(), nullptr);
    if (!vst_) failWith(QStringLiteral("Cannot add a video stream to '%1': out of memory").arg(job_.outputFile));
    check(avcodec_parameters_from_context(vst_->codecpar, venc_.get()), QStringLiteral("video stream"));
    vst_->time_base = venc_->time_base;
    vst_->avg_frame_rate = rate;
    scaled_.reset(av_frame_alloc());
    scaled_->format = venc_->pix_fmt;
    scaled_->width = outWidth_;
    scaled_->height = outHeight_;
    check(av_frame_get_buffer(scaled_.get(), 0), QStringLiteral("video frame"));
}

void Conversion::addAudioEncoder(const char* name) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) failWith(QStringLiteral("The encoder '%1' is not available").arg(QLatin1String(name)));
    aenc_.reset(avcodec_alloc_context3(codec));
    const AVSampleFormat* formats = ff::encoderSampleFormats(codec);
    aenc_->sample_fmt = formats ? formats[0] : AV_SAMPLE_FMT_FLTP;
    aenc_->sample_rate = job_.profile.sampleRate;
    av_channel_layout_default(&aenc_->ch_layout, job_.profile.channels);
    aenc_->bit_rate = job_.profile.audioBitRate;
    aenc_->time_base = AVRational{1, aenc_->sample_rate};
    if (out_->oformat->flags & AVFMT_GLOBALHEADER) aenc_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    check(avcodec_open2(aenc_.get(), codec, nullptr), QStringLiteral("Cannot open the %1 encoder").arg(QLatin1String(name)));
    ast_ = avformat_new_stream(out_.get(), nullptr);
    if (!ast_) failWith(QStringLiteral("Cannot add a sound stream to '%1': out of memory").arg(job_.outputFile));
    check(avcodec_parameters_from_context(ast_->codecpar, aenc_.get()), QStringLiteral("audio stream"));
    ast_->time_base = aenc_->time_base;

    SwrContext* swr = nullptr;
    check(swr_alloc_set_opts2(&swr, &aenc_->ch_layout, aenc_->sample_fmt, aenc_->sample_rate, &adec_->ch_layout,
                              adec_->sample_fmt, adec_->sample_rate, 0, nullptr),
          QStringLiteral("audio resampler"));
    swr_.reset(swr);
    check(swr_init(swr), QStringLiteral("audio resampler"));
    fifo_.reset(av_audio_fifo_alloc(aenc_->sample_fmt, aenc_->ch_layout.nb_channels, 4096));
    audioSkip_ = std::llround(job_.fromSeconds * aenc_->sample_rate);
    const double span = std::min(job_.toSeconds - job_.fromSeconds, 1e7);
    audioLimit_ = std::llround(span * aenc_->sample_rate);
}

void Conversion::videoStep() {
    if (!videoEnded_) {
        int rc = av_read_frame(vin_.get(), packet_.get());
        if (rc == AVERROR_EOF) {
            videoEnded_ = true;
            avcodec_send_packet(vdec_.get(), nullptr);
        } else {
            check(rc, QStringLiteral("Cannot read '%1'").arg(job_.videoFile));
            if (packet_->stream_index == vIndex_) {
                const int64_t pts = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
                // A packet identical to the one before is the same picture (the lesson
                // writer copies packets, and a still picture encodes to the same bytes):
                // it is shown again after that one instead of being decoded again.
                if (pts != AV_NOPTS_VALUE && lastSentPts_ != AV_NOPTS_VALUE &&
                    static_cast<size_t>(packet_->size) == lastBytes_.size() &&
                    std::equal(lastBytes_.begin(), lastBytes_.end(), packet_->data)) {
                    av_packet_unref(packet_.get());
                    if (lastShownPts_ == lastSentPts_) emitVideoFrame(lastDecoded_.get(), pts);  // its picture is out
                    else repeats_[lastSentPts_].push_back(pts);
                } else {
                    lastBytes_.assign(packet_->data, packet_->data + packet_->size);
                    lastSentPts_ = pts;
                    rc = avcodec_send_packet(vdec_.get(), packet_.get());
                    av_packet_unref(packet_.get());
                    if (rc < 0 && rc != AVERROR(EAGAIN))
                        check(rc, QStringLiteral("Cannot decode '%1'").arg(job_.videoFile));
                }
            } else {
                av_packet_unref(packet_.get());
            }
        }
    }
    for (;;) {
        const int rc = avcodec_receive_frame(vdec_.get(), decoded_.get());
        if (rc == AVERROR(EAGAIN)) return;
        if (rc == AVERROR_EOF) break;
        check(rc, QStringLiteral("Cannot decode '%1'").arg(job_.videoFile));
        ++decodedCount_;
        av_frame_unref(lastDecoded_.get());
        av_frame_move_ref(lastDecoded_.get(), decoded_.get());
        const int64_t ts = lastDecoded_->pts != AV_NOPTS_VALUE ? lastDecoded_->pts : lastDecoded_->best_effort_timestamp;
        emitVideoFrame(lastDecoded_.get(), ts);
        lastShownPts_ = ts;
        // The copies of this picture, and of any whose picture never came out.
        while (!repeats_.empty() && repeats_.begin()->first <= ts && !videoDone_) {
            for (int64_t copy : repeats_.begin()->second)
                if (!videoDone_) emitVideoFrame(lastDecoded_.get(), copy);
            repeats_.erase(repeats_.begin());
        }
        if (videoDone_) return;
    }
    // Decoder drained: copies still waiting show the last picture, then the encoder is flushed.
    for (const auto& [picture, copies] : repeats_)
        for (int64_t copy : copies)
            if (!videoDone_ && decodedCount_ > 0) emitVideoFrame(lastDecoded_.get(), copy);
    repeats_.clear();
    if (videoDone_) return;
    if (videoOut_ == 0) failWith(QStringLiteral("The lesson video '%1' holds no frames in the span").arg(job_.videoFile));
    encodeAndWrite(venc_.get(), vst_, nullptr);
    videoDone_ = true;
}

void Conversion::emitVideoFrame(const AVFrame* decoded, int64_t ts) {
    const AVRational tb = vin_->streams[vIndex_]->time_base;
    if (ts == AV_NOPTS_VALUE) ts = 0;
    const double start = ts * av_q2d(tb) - job_.fromSeconds;
    const double end = start + 1.0 / inFps_;
    if (end <= 0) return;
    if (start >= job_.toSeconds - job_.fromSeconds) {
        encodeAndWrite(venc_.get(), vst_, nullptr);
        videoDone_ = true;
        return;
    }
    // Every output frame whose middle falls before this frame ends shows this frame.
    if (!((videoOut_ + 0.5) / outFps_ < end)) return;
    if (scaledPicture_ != decodedCount_) scale(decoded);
    while ((videoOut_ + 0.5) / outFps_ < end) {
        scaled_->pts = videoOut_++;
        encodeAndWrite(venc_.get(), vst_, scaled_.get());
    }
}

void Conversion::scale(const AVFrame* decoded) {
    scaledPicture_ = decodedCount_;
    check(av_frame_make_writable(scaled_.get()), QStringLiteral("video frame"));
    if (!scaler_.scale(decoded, FrameScaler::sideOf(scaled_.get()), scaled_->data, scaled_->linesize))
        failWith(QStringLiteral("Cannot scale the pictures of '%1'").arg(job_.videoFile));
}

void Conversion::audioStep() {
    bool ended = false;
    int rc = av_read_frame(ain_.get(), packet_.get());
    if (rc == AVERROR_EOF) {
        ended = true;
        avcodec_send_packet(adec_.get(), nullptr);
    } else {
        check(rc, QStringLiteral("Cannot read '%1'").arg(job_.audioFile));
        if (packet_->stream_index == aIndex_) {
            rc = avcodec_send_packet(adec_.get(), packet_.get());
            if (rc < 0 && rc != AVERROR(EAGAIN)) check(rc, QStringLiteral("Cannot decode '%1'").arg(job_.audioFile));
        }
        av_packet_unref(packet_.get());
    }
    for (;;) {
        rc = avcodec_receive_frame(adec_.get(), decoded_.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) break;
        check(rc, QStringLiteral("Cannot decode '%1'").arg(job_.audioFile));
        resampleIntoFifo(const_cast<const uint8_t**>(decoded_->extended_data), decoded_->nb_samples);
        av_frame_unref(decoded_.get());
    }
    if (ended) resampleIntoFifo(nullptr, 0);  // what the resampler still holds
    const bool finished = ended || audioQueued_ >= audioLimit_;
    encodeAudioFrames(finished);
    if (finished) audioDone_ = true;
}

void Conversion::resampleIntoFifo(const uint8_t** data, int samples) {
    const int room = swr_get_out_samples(swr_.get(), samples);
    if (room <= 0) return;
    FramePtr converted(av_frame_alloc());
    converted->format = aenc_->sample_fmt;
    converted->nb_samples = room;
    converted->sample_rate = aenc_->sample_rate;
    check(av_channel_layout_copy(&converted->ch_layout, &aenc_->ch_layout), QStringLiteral("audio frame"));
    check(av_frame_get_buffer(converted.get(), 0), QStringLiteral("audio frame"));
    const int got = swr_convert(swr_.get(), converted->data, room, data, samples);
    check(got, QStringLiteral("Cannot resample '%1'").arg(job_.audioFile));
    // Leave out what lies before the span, and stop at its end.
    const int64_t skip = std::min<int64_t>(audioSkip_, got);
    audioSkip_ -= skip;
    const int count = static_cast<int>(std::min<int64_t>(got - skip, audioLimit_ - audioQueued_));
    if (count <= 0) return;
    const int bytes = av_get_bytes_per_sample(aenc_->sample_fmt);
    const bool planar = av_sample_fmt_is_planar(aenc_->sample_fmt);
    const int channels = aenc_->ch_layout.nb_channels;
    uint8_t* planes[AV_NUM_DATA_POINTERS] = {};
    for (int c = 0; c < (planar ? channels : 1); ++c)
        planes[c] = converted->data[c] + static_cast<size_t>(skip) * bytes * (planar ? 1 : channels);
    check(av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(planes), count), QStringLiteral("audio fifo"));
    audioQueued_ += count;
}

void Conversion::encodeAudioFrames(bool flush) {
    const int frameSize = aenc_->frame_size > 0 ? aenc_->frame_size : 1024;
    while (av_audio_fifo_size(fifo_.get()) >= frameSize || (flush && av_audio_fifo_size(fifo_.get()) > 0)) {
        const int available = av_audio_fifo_size(fifo_.get());
        const int take = std::min(available, frameSize);
        FramePtr frame(av_frame_alloc());
        frame->format = aenc_->sample_fmt;
        frame->sample_rate = aenc_->sample_rate;
        // Fixed-size encoders get a last frame padded with silence.
        frame->nb_samples = (aenc_->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) ? take : frameSize;
        av_channel_layout_copy(&frame->ch_layout, &aenc_->ch_layout);
        check(av_frame_get_buffer(frame.get(), 0), QStringLiteral("audio frame"));
        av_samples_set_silence(frame->data, 0, frame->nb_samples, aenc_->ch_layout.nb_channels, aenc_->sample_fmt);
        check(av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->data), take), QStringLiteral("audio fifo"));
        frame->pts = audioOut_;
        audioOut_ += take;
        encodeAndWrite(aenc_.get(), ast_, frame.get());
    }
    if (flush) encodeAndWrite(aenc_.get(), ast_, nullptr);
}

void Conversion::encodeAndWrite(AVCodecContext* enc, AVStream* stream, AVFrame* frame) {
    int rc = avcodec_send_frame(enc, frame);
    if (rc == AVERROR_EOF) return;  // already flushed
    check(rc, QStringLiteral("Cannot encode '%1'").arg(job_.outputFile));
    PacketPtr packet(av_packet_alloc());
    for (;;) {
        rc = avcodec_receive_packet(enc, packet.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
        check(rc, QStringLiteral("Cannot encode '%1'").arg(job_.outputFile));
        packet->stream_index = stream->index;
        av_packet_rescale_ts(packet.get(), enc->time_base, stream->time_base);
        check(av_interleaved_write_frame(out_.get(), packet.get()), QStringLiteral("Cannot write '%1'").arg(temp_));
    }
}

void Conversion::reportProgress() {
    if (!progress_) return;
    const int64_t size = avio_size(vin_->pb);
    const int64_t pos = avio_tell(vin_->pb);
    int percent = size > 0 ? static_cast<int>(pos * 100 / size) : 0;
    if (videoDone_ && audioDone_) percent = 99;  // 100 only once the file is complete
    percent = std::clamp(percent, 0, 99);
    if (percent > lastPercent_) {
        lastPercent_ = percent;
        progress_(percent);
    }
}

}  // namespace

QString LessonConverter::temporaryName(const QString& outputFile) {
    const QFileInfo info(outputFile);
    return info.dir().filePath(QStringLiteral(".%1.partial").arg(info.fileName()));
}

void LessonConverter::run(const Job& job, const Progress& progress, const std::atomic<bool>& cancel) {
    Conversion(job, progress, cancel).run();
}

}  // namespace tvn
