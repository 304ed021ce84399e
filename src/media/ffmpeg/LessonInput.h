#pragma once

#include "media/ffmpeg/FfmpegHandles.h"

#include <QString>

namespace tvn {

// One file of a lesson read for conversion (its AVI video or its WAVE sound):
// the open file, its best stream of one kind and that stream's decoder.
// Failures are ConversionFailed errors naming the file.
class LessonInput {
public:
    // Opens fileName and finds its best stream of the given kind (video or audio).
    LessonInput(const QString& fileName, AVMediaType kind);

    // Opens the stream's decoder, decoding at 1/2^lowres of the size where the decoder can.
    void openDecoder(int lowres);

    // Reads the file's next packet into packet; at the end of the file, tells the
    // decoder so (its remaining frames then come out) and returns false.
    bool readPacket(AVPacket* packet);

    const QString& fileName() const { return fileName_; }
    AVFormatContext* format() const { return format_.get(); }
    AVStream* stream() const { return format_->streams[index_]; }
    int streamIndex() const { return index_; }
    AVCodecContext* decoder() const { return decoder_.get(); }

private:
    QString fileName_;
    ff::FormatPtr format_;
    int index_ = -1;
    ff::CodecPtr decoder_;
};

}  // namespace tvn
