#pragma once

#include "core/TvnError.h"
#include "media/VideoFileWriter.h"
#include "media/ffmpeg/FrameScaler.h"
#include "media/ffmpeg/LessonAvHandles.h"
#include "media/ffmpeg/SoundStreamEncoder.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tvn {

// VideoFileWriter on FFmpeg: libx264 (High, yuv420p, BT.709 or BT.601 as the
// settings say) and AAC in MP4 with +faststart, or libvpx-vp9 and libopus in
// WebM. The caller's pictures and sound wait in a queue (at most
// MaxQueuedPictures pictures, so memory stays flat); the thread
// "tvn-export-enc" converts each RGB picture to yuv420p with swscale (a planar
// one of the file's size goes as it is) and encodes and muxes it, while x264
// spreads its own work over its frame threads.
// A failure on that thread is kept and thrown by the caller's next call.
class FfmpegVideoFileWriter final : public VideoFileWriter {
public:
    static constexpr size_t MaxQueuedPictures = 3;

    FfmpegVideoFileWriter(const QString& fileName, const Settings& settings);
    ~FfmpegVideoFileWriter() override;

    void writeFrame(const QImage& picture) override;
    void writeFrame(const PlanarPicture& picture) override;
    void writeSound(const int16_t* interleaved, int frames) override;
    void finish() override;
    QString temporaryFile() const override { return temp_; }

private:
    struct Item {
        QImage picture;               // a picture, or
        PlanarPicture planar;         // a planar picture, or
        std::vector<int16_t> sound;   // sound, when both are null
        bool isPicture() const { return !picture.isNull() || !planar.isNull(); }
    };
    void open();
    void addVideoStream();
    void push(Item item);
    void encodeLoop();
    void encodePicture(const QImage& picture);
    void encodePlanar(const PlanarPicture& picture);
    // Converted (and scaled) by swscale into the file's yuv420p, then encoded.
    void encodeConverted(const FrameScaler::Side& from, const uint8_t* const src[], const int stride[]);
    void encodeSound(const std::vector<int16_t>& sound, bool flush);
    void encodeAndWrite(AVCodecContext* enc, AVStream* stream, AVFrame* frame);
    void rethrowKept();
    void stopThread();
    [[noreturn]] void fail(const QString& what) const;
    void check(int rc, const QString& what) const;

    const QString file_;
    const QString temp_;
    Settings settings_;
    ff::OutputPtr out_;
    ff::CodecPtr venc_;
    AVStream* vst_ = nullptr;
    std::unique_ptr<SoundStreamEncoder> sound_;
    ff::FramePtr yuv_;
    ff::PacketPtr packet_;
    FrameScaler scaler_;
    int64_t picturesOut_ = 0;
    bool finished_ = false;

    std::mutex mutex_;  // guards queue_, queuedPictures_, ending_, stopping_, kept_
    std::condition_variable changed_;
    std::deque<Item> queue_;
    size_t queuedPictures_ = 0;
    bool ending_ = false;    // no more items: drain and end
    bool stopping_ = false;  // drop the queue and end now
    std::optional<TvnError> kept_;  // the encoding thread's failure
    std::thread thread_;
};

}  // namespace tvn
