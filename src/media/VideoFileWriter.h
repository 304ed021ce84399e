#pragma once

#include "media/PlanarPicture.h"

#include <QImage>
#include <QString>
#include <cstdint>
#include <memory>

namespace tvn {

// Writes a video file that plays anywhere a coach sends it (a browser, a phone,
// a messaging app): H.264 High in yuv420p with AAC sound in an MP4 whose index
// leads the file (+faststart, so it plays while it downloads), or VP9 with Opus
// in WebM. Pictures go in one after another at a constant frame rate; sound goes
// in as interleaved 16-bit stereo at 48 kHz and is interleaved with the pictures
// in the file as it comes.
//
// The file is written under a temporary name in the target folder
// (".NAME.partial") and gets its name only when finish() succeeds; a writer
// destroyed before that (a failure, a cancel) removes what it wrote, so no half
// file ever carries the name. Every failure (no such folder, an unwritable
// folder, a full disk, a missing encoder) throws TvnError naming the file and
// the cause. Converting and encoding run on a thread of the writer's own behind
// a queue of a few pictures, so the caller draws the next picture meanwhile.
// Used from one thread.
class VideoFileWriter {
public:
    enum class Container { Mp4, WebM };
    struct Settings {
        Container container = Container::Mp4;
        int width = 0;  // the file's picture size; pictures of another size are scaled to it
        int height = 0;
        double frameRate = 30;
        bool sound = true;  // false: a file without a sound stream
        // x264's speed/size trade (ultrafast ... veryslow); libvpx's deadline
        // follows it (faster presets: realtime, others: good).
        QString preset = QStringLiteral("ultrafast");
        int quality = 20;  // constant rate factor: lower is better (x264 18-23 look clean; VP9 takes it +10)
        int audioBitRate = 128000;
        // The matrix the file's colours are in and tagged with (players read
        // the tag): a planar picture in it goes to the encoder as it is, and
        // RGB pictures are converted to it.
        PlanarPicture::Matrix matrix = PlanarPicture::Matrix::Bt709;
    };

    // Sound sample rate and channel count of writeSound.
    static constexpr int SoundRate = 48000;
    static constexpr int SoundChannels = 2;

    // The container a file name asks for: ".webm" WebM, anything else MP4.
    static Container containerFor(const QString& fileName);
    // Opens the temporary file and the encoders. Odd sizes are rounded down to
    // even (yuv420p needs them so).
    static std::unique_ptr<VideoFileWriter> create(const QString& fileName, const Settings& settings);

    virtual ~VideoFileWriter() = default;
    // The next picture (any format QImage converts from; RGB32 is fastest).
    virtual void writeFrame(const QImage& picture) = 0;
    // The next picture as planes: handed to the encoder without a copy when it
    // has the file's size, else scaled to it.
    virtual void writeFrame(const PlanarPicture& picture) = 0;
    // Sound to play from where the sound so far ends.
    virtual void writeSound(const int16_t* interleaved, int frames) = 0;
    // Ends the streams, completes the file and gives it its name.
    virtual void finish() = 0;
    // The temporary name the file is written under.
    virtual QString temporaryFile() const = 0;
};

}  // namespace tvn
