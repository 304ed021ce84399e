#pragma once

#include "media/ffmpeg/LessonAvHandles.h"

#include <QString>

namespace tvn {

// The file a lesson conversion writes: MP4 or ASF, written under a temporary
// name and renamed to the output name only once it is complete. Streams are
// added before open(); from open() on the temporary file exists, and discard()
// (or the destructor of an output never finished) leaves nothing behind.
class ConversionOutput {
public:
    ConversionOutput(const QString& outputFile, const QString& temporaryFile, bool mp4);
    ~ConversionOutput();

    bool mp4() const { return mp4_; }
    const QString& fileName() const { return outputFile_; }
    // Whether encoders must put their global header in the stream parameters.
    bool wantsGlobalHeader() const;

    // A stream for what the encoder makes, in the encoder's time base.
    AVStream* addStream(AVCodecContext* encoder, const char* kind);
    // Creates the temporary file and writes the header.
    void open();
    // Sends frame (nullptr: flush) to the encoder and writes what comes out.
    void encodeAndWrite(AVCodecContext* encoder, AVStream* stream, AVFrame* frame);
    // Writes the trailer and renames the temporary file to the output name.
    void finish();

private:
    // Closes and removes the temporary file.
    void discard();

    const QString outputFile_;
    const QString temp_;
    const bool mp4_;
    ff::OutputPtr out_;
    bool finished_ = false;
};

}  // namespace tvn
