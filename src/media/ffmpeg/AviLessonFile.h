#pragma once

#include "core/TvnError.h"
#include "media/ffmpeg/AviFrameWriter.h"
#include "media/ffmpeg/FrameScaler.h"
#include "media/ffmpeg/LessonAvHandles.h"

#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>

namespace tvn {

// The AVI file of a lesson and its encoder, as AviFrameWriter's worker drives
// them: on that one thread only, after the constructor. The constructor opens
// the file and writes its header (a header that cannot be written removes the
// file). Each frame is fitted to the file's size, encoded and its packet
// pushed to the file at once, while the file system keeps room for it and the
// index; a repeated frame is the previous packet again where the encoder is
// intra-only. A failure is handed to the failure sink, with fullDisk true when
// it is the disk running out in time (the index still fits).
class AviLessonFile {
public:
    using FailureSink = std::function<void(const QString& what, bool fullDisk)>;

    AviLessonFile(const AviFrameWriter::Settings& settings, FailureSink fail);

    // The error a host sees for what went wrong with the file.
    static TvnError error(const QString& fileName, const QString& what, int32_t number = err::CaptureFailed);

    // Writes image (null: black) as frame index; true when it was encoded anew.
    bool writeImage(const QImage& image, int64_t index);
    // Writes frame index as a copy of the previous frame; false when there is none yet.
    bool writeCopy(int64_t index);
    // Hands the encoder's remaining packets to the file.
    void drain();
    // Writes the index when writeIndex, closes the file and frees the encoder; the error text, if any.
    QString close(bool writeIndex);

private:
    QImage prepare(const QImage& image) const;
    void encode(AVFrame* frame);
    void writePacket(AVPacket* packet);
    // True while the file system keeps room for `bytes` more and the index after them.
    bool roomFor(int64_t bytes);

    const AviFrameWriter::Settings& settings_;
    FailureSink fail_;
    ff::OutputPtr output_;
    ff::CodecPtr codec_;
    AVStream* stream_ = nullptr;
    ff::FramePtr frame_;
    ff::PacketPtr lastPacket_;  // the previous frame's packet, for intra-only copies
    FrameScaler scaler_;
    bool intraOnly_ = false;
    bool haveFrame_ = false;
    int64_t framesIn_ = 0;        // frames sent to the encoder
    int64_t packetsOut_ = 0;      // packets received from it
    int64_t packetsWritten_ = 0;  // packets in the file
};

}  // namespace tvn
