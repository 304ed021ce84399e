#include "media/ffmpeg/FfmpegVideoFileWriter.h"

#include "media/ffmpeg/FfmpegCompat.h"
#include "media/ffmpeg/PlanarFrames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <pthread.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace tvn {

using namespace ff;

namespace {

QString temporaryNameOf(const QString& fileName) {
    const QFileInfo info(fileName);
    return info.dir().filePath(QStringLiteral(".%1.partial").arg(info.fileName()));
}

// A folder that is missing or cannot be written is the host's path problem (75);
// anything later (a full disk, an encoder) is the export's own failure.
bool isPathError(int rc) { return rc == AVERROR(ENOENT) || rc == AVERROR(EACCES) || rc == AVERROR(EROFS) || rc == AVERROR(ENOTDIR); }

}  // namespace

VideoFileWriter::Container VideoFileWriter::containerFor(const QString& fileName) {
    return fileName.endsWith(QLatin1String(".webm"), Qt::CaseInsensitive) ? Container::WebM : Container::Mp4;
}

std::unique_ptr<VideoFileWriter> VideoFileWriter::create(const QString& fileName, const Settings& settings) {
    return std::make_unique<FfmpegVideoFileWriter>(fileName, settings);
}

FfmpegVideoFileWriter::FfmpegVideoFileWriter(const QString& fileName, const Settings& settings)
    : file_(fileName), temp_(temporaryNameOf(fileName)), settings_(settings), packet_(av_packet_alloc()) {
    settings_.width &= ~1;
    settings_.height &= ~1;
    if (settings_.width < 2 || settings_.height < 2)
        fail(QStringLiteral("Cannot export to '%1': the picture size %2 x %3 is too small")
                 .arg(file_).arg(settings.width).arg(settings.height));
    if (!(settings_.frameRate > 0 && settings_.frameRate <= 240))
        fail(QStringLiteral("Cannot export to '%1': the frame rate %2 is out of range").arg(file_).arg(settings.frameRate));
    try {
        open();
    } catch (...) {
        out_.reset();
        QFile::remove(temp_);
        throw;
    }
    thread_ = std::thread([this] { encodeLoop(); });
}

FfmpegVideoFileWriter::~FfmpegVideoFileWriter() {
    stopThread();
    if (!finished_) {
        out_.reset();
        QFile::remove(temp_);
    }
}

void FfmpegVideoFileWriter::fail(const QString& what) const {
    throw TvnError(err::ExportFailed, what, QStringLiteral("VideoFileWriter"));
}

void FfmpegVideoFileWriter::check(int rc, const QString& what) const {
    if (rc >= 0) return;
    const QString text = QStringLiteral("%1: %2").arg(what, errorText(rc));
    if (isPathError(rc)) throw TvnError(err::PathFileAccess, text, QStringLiteral("VideoFileWriter"));
    fail(text);
}

void FfmpegVideoFileWriter::open() {
    const bool webm = settings_.container == Container::WebM;
    AVFormatContext* raw = nullptr;
    check(avformat_alloc_output_context2(&raw, nullptr, webm ? "webm" : "mp4", QFile::encodeName(temp_).constData()),
          QStringLiteral("Cannot create '%1'").arg(file_));
    out_.reset(raw);
    addVideoStream();
    if (settings_.sound)
        sound_ = std::make_unique<SoundStreamEncoder>(out_.get(), settings_.container == Container::WebM,
                                                      settings_.audioBitRate, file_);
    check(avio_open(&out_->pb, QFile::encodeName(temp_).constData(), AVIO_FLAG_WRITE),
          QStringLiteral("Cannot write '%1'").arg(file_));
    AVDictionary* options = nullptr;
    if (!webm) av_dict_set(&options, "movflags", "+faststart", 0);
    const int rc = avformat_write_header(out_.get(), &options);
    av_dict_free(&options);
    check(rc, QStringLiteral("Cannot write '%1'").arg(file_));
}

void FfmpegVideoFileWriter::addVideoStream() {
    const bool webm = settings_.container == Container::WebM;
    const char* name = webm ? "libvpx-vp9" : "libx264";
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) fail(QStringLiteral("Cannot export to '%1': the encoder %2 is not available").arg(file_, QLatin1String(name)));
    venc_.reset(avcodec_alloc_context3(codec));
    const AVRational rate = av_d2q(settings_.frameRate, 100000);
    venc_->width = settings_.width;
    venc_->height = settings_.height;
    venc_->pix_fmt = AV_PIX_FMT_YUV420P;
    venc_->time_base = av_inv_q(rate);
    venc_->framerate = rate;
    venc_->sample_aspect_ratio = AVRational{1, 1};
    // Tagged limited range with the settings' matrix (BT.709 unless the clip's
    // own pictures are BT.601), BT.709 primaries and transfer as the display
    // shows them: players show the colours the control shows.
    venc_->colorspace = planarframes::spaceOf(settings_.matrix);
    venc_->color_primaries = AVCOL_PRI_BT709;
    venc_->color_trc = AVCOL_TRC_BT709;
    venc_->color_range = AVCOL_RANGE_MPEG;
    // A keyframe every two seconds: a player seeks in the file quickly.
    venc_->gop_size = std::max(1, int(std::lround(settings_.frameRate * 2)));
    venc_->thread_count = 0;  // the encoder's own choice for this machine
    if (out_->oformat->flags & AVFMT_GLOBALHEADER) venc_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    const QByteArray preset = settings_.preset.toLatin1();
    if (webm) {
        const bool fast = preset == "ultrafast" || preset == "superfast" || preset == "veryfast";
        av_dict_set(&options, "deadline", fast ? "realtime" : "good", 0);
        av_dict_set(&options, "cpu-used", fast ? "8" : "4", 0);
        av_dict_set(&options, "row-mt", "1", 0);
        av_dict_set_int(&options, "crf", std::clamp(settings_.quality + 10, 0, 63), 0);
        venc_->bit_rate = 0;
    } else {
        av_dict_set(&options, "preset", preset.constData(), 0);
        av_dict_set(&options, "profile", "high", 0);
        // x264 signals the lowest profile its tools need, and ultrafast's alone
        // would be Constrained Baseline: the 8x8 transform (High's own tool, and
        // a better picture for its cost) keeps every preset's file H.264 High.
        av_dict_set(&options, "8x8dct", "1", 0);
        av_dict_set_int(&options, "crf", std::clamp(settings_.quality, 0, 51), 0);
    }
    const int rc = avcodec_open2(venc_.get(), codec, &options);
    av_dict_free(&options);
    check(rc, QStringLiteral("Cannot open the %1 encoder for '%2'").arg(QLatin1String(name), file_));
    vst_ = avformat_new_stream(out_.get(), nullptr);
    if (!vst_) fail(QStringLiteral("Cannot add a video stream to '%1': out of memory").arg(file_));
    check(avcodec_parameters_from_context(vst_->codecpar, venc_.get()), QStringLiteral("video stream"));
    vst_->time_base = venc_->time_base;
    vst_->avg_frame_rate = rate;
    yuv_.reset(av_frame_alloc());
    yuv_->format = venc_->pix_fmt;
    yuv_->width = settings_.width;
    yuv_->height = settings_.height;
    yuv_->colorspace = venc_->colorspace;
    yuv_->color_range = venc_->color_range;
    check(av_frame_get_buffer(yuv_.get(), 0), QStringLiteral("video frame"));
}

void FfmpegVideoFileWriter::rethrowKept() {
    std::scoped_lock lock(mutex_);
    if (kept_) throw *kept_;
}

void FfmpegVideoFileWriter::push(Item item) {
    std::unique_lock lock(mutex_);
    if (kept_) throw *kept_;
    if (ending_) fail(QStringLiteral("Cannot add to '%1': the file is finished").arg(file_));
    const bool picture = item.isPicture();
    if (picture) changed_.wait(lock, [this] { return queuedPictures_ < MaxQueuedPictures || kept_; });
    if (kept_) throw *kept_;
    if (picture) ++queuedPictures_;
    queue_.push_back(std::move(item));
    changed_.notify_all();
}

void FfmpegVideoFileWriter::writeFrame(const QImage& picture) {
    if (picture.isNull()) fail(QStringLiteral("Cannot add an empty picture to '%1'").arg(file_));
    push(Item{picture, {}, {}});
}

void FfmpegVideoFileWriter::writeFrame(const PlanarPicture& picture) {
    if (picture.isNull()) fail(QStringLiteral("Cannot add an empty picture to '%1'").arg(file_));
    push(Item{{}, picture, {}});
}

void FfmpegVideoFileWriter::writeSound(const int16_t* interleaved, int frames) {
    if (!sound_ || frames <= 0) return;
    push(Item{QImage(), PlanarPicture(), std::vector<int16_t>(interleaved, interleaved + size_t(frames) * SoundChannels)});
}

void FfmpegVideoFileWriter::encodeLoop() {
    pthread_setname_np(pthread_self(), "tvn-export-enc");
    for (;;) {
        Item item;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || ending_ || !queue_.empty(); });
            if (stopping_ || kept_) return;
            if (queue_.empty()) break;  // ending, all done
            item = std::move(queue_.front());
            queue_.pop_front();
        }
        try {
            if (!item.picture.isNull()) encodePicture(item.picture);
            else if (!item.planar.isNull()) encodePlanar(item.planar);
            else encodeSound(item.sound, false);
        } catch (const TvnError& e) {
            std::scoped_lock lock(mutex_);
            kept_ = e;
        }
        std::scoped_lock lock(mutex_);
        if (item.isPicture()) --queuedPictures_;
        changed_.notify_all();
        if (kept_) return;
    }
    // Ending: the encoders give what they hold.
    try {
        if (sound_) encodeSound({}, true);
        encodeAndWrite(venc_.get(), vst_, nullptr);
    } catch (const TvnError& e) {
        std::scoped_lock lock(mutex_);
        kept_ = e;
    }
}

void FfmpegVideoFileWriter::encodePicture(const QImage& given) {
    QImage picture = given;
    if (picture.format() != QImage::Format_RGB32 && picture.format() != QImage::Format_ARGB32 &&
        picture.format() != QImage::Format_ARGB32_Premultiplied)
        picture = picture.convertToFormat(QImage::Format_RGB32);
    const uint8_t* src[4] = {picture.constBits(), nullptr, nullptr, nullptr};
    const int stride[4] = {int(picture.bytesPerLine()), 0, 0, 0};
    encodeConverted({picture.width(), picture.height(), AV_PIX_FMT_RGB32, AVCOL_RANGE_JPEG, AVCOL_SPC_UNSPECIFIED}, src,
                    stride);
}

void FfmpegVideoFileWriter::encodeConverted(const FrameScaler::Side& from, const uint8_t* const src[], const int stride[]) {
    check(av_frame_make_writable(yuv_.get()), QStringLiteral("video frame"));
    const FrameScaler::Side to{settings_.width, settings_.height, AV_PIX_FMT_YUV420P, AVCOL_RANGE_MPEG,
                               planarframes::spaceOf(settings_.matrix)};
    if (!scaler_.scale(from, src, stride, to, yuv_->data, yuv_->linesize))
        fail(QStringLiteral("Cannot convert a picture for '%1'").arg(file_));
    yuv_->pts = picturesOut_++;
    encodeAndWrite(venc_.get(), vst_, yuv_.get());
}

void FfmpegVideoFileWriter::encodePlanar(const PlanarPicture& picture) {
    if (picture.width() == settings_.width && picture.height() == settings_.height) {
        FramePtr frame = planarframes::frameShowing(picture);
        if (!frame) fail(QStringLiteral("Cannot export to '%1': out of memory").arg(file_));
        frame->colorspace = venc_->colorspace;
        frame->color_range = venc_->color_range;
        frame->pts = picturesOut_++;
        encodeAndWrite(venc_.get(), vst_, frame.get());
        return;
    }
    const uint8_t* src[4] = {picture.plane(0), picture.plane(1), picture.plane(2), nullptr};
    const int stride[4] = {picture.stride(0), picture.stride(1), picture.stride(2), 0};
    encodeConverted({picture.width(), picture.height(), AV_PIX_FMT_YUV420P, AVCOL_RANGE_MPEG,
                     planarframes::spaceOf(picture.matrix())},
                    src, stride);
}

void FfmpegVideoFileWriter::encodeSound(const std::vector<int16_t>& sound, bool flush) {
    sound_->encode(sound, flush, [this](AVCodecContext* enc, AVStream* stream, AVFrame* frame) {
        encodeAndWrite(enc, stream, frame);
    });
}

void FfmpegVideoFileWriter::encodeAndWrite(AVCodecContext* enc, AVStream* stream, AVFrame* frame) {
    int rc = avcodec_send_frame(enc, frame);
    if (rc == AVERROR_EOF) return;  // already flushed
    check(rc, QStringLiteral("Cannot encode '%1'").arg(file_));
    for (;;) {
        rc = avcodec_receive_packet(enc, packet_.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
        check(rc, QStringLiteral("Cannot encode '%1'").arg(file_));
        packet_->stream_index = stream->index;
        av_packet_rescale_ts(packet_.get(), enc->time_base, stream->time_base);
        rc = av_interleaved_write_frame(out_.get(), packet_.get());
        if (rc >= 0 && out_->pb->error < 0) rc = out_->pb->error;
        check(rc, QStringLiteral("Cannot write '%1'").arg(file_));
    }
}

void FfmpegVideoFileWriter::stopThread() {
    {
        std::scoped_lock lock(mutex_);
        stopping_ = true;
        queue_.clear();
        queuedPictures_ = 0;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void FfmpegVideoFileWriter::finish() {
    if (finished_) return;
    {
        std::scoped_lock lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    rethrowKept();
    if (picturesOut_ == 0) fail(QStringLiteral("Cannot finish '%1': it has no pictures").arg(file_));
    check(av_write_trailer(out_.get()), QStringLiteral("Cannot finish '%1'").arg(file_));
    avio_flush(out_->pb);
    check(out_->pb->error, QStringLiteral("Cannot write '%1'").arg(file_));
    const int closed = avio_closep(&out_->pb);
    check(closed, QStringLiteral("Cannot write '%1'").arg(file_));
    out_.reset();
    if (std::rename(QFile::encodeName(temp_).constData(), QFile::encodeName(file_).constData()) != 0)
        throw TvnError(err::PathFileAccess,
                       QStringLiteral("Cannot rename '%1' to '%2': %3")
                           .arg(temp_, file_, QString::fromLocal8Bit(std::strerror(errno))),
                       QStringLiteral("VideoFileWriter"));
    finished_ = true;
}

}  // namespace tvn
