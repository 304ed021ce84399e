#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace tvn {

// What a lesson is compressed to: picture size limit, frame rate, bit rates and
// the audio format. Sizes and rates of 0 mean "the lesson's own".
//
// Custom profile text (TVN_LessonProfile names a file of it): one "key = value"
// per line; blank lines and lines starting with '#' are ignored; keys are case
// insensitive, every key is optional and takes the built-in broadband value
// when absent:
//
//     size = 640x480            largest picture; the lesson is scaled down to fit,
//                               keeping its aspect, both sides even ("0x0": lesson size)
//     frame rate = 25           frames per second, 1 to 120; 0 = the lesson's rate
//     video bit rate = 1400000  bits per second (a "k" or "M" suffix multiplies)
//     audio bit rate = 128k
//     channels = 2              1 or 2
//     sample rate = 44100       8000 to 96000
//
// Anything else (an unknown key, a line without '=', a value out of range) is
// rejected with a ProfileInvalid error naming the line (its first 80 characters).
struct EncodingProfile {
    QString name;
    int maxWidth = 640;
    int maxHeight = 480;
    double frameRate = 0;
    int64_t videoBitRate = 1372000;
    int64_t audioBitRate = 128000;
    int channels = 2;
    int sampleRate = 44100;

    // The name the control looks for; the profile compression uses by default.
    static const QString& broadbandName();
    static const std::vector<EncodingProfile>& builtIns();
    static EncodingProfile broadband();
    static EncodingProfile parse(const QString& text);

    // The output picture size for a lesson of width x height: scaled down to fit
    // maxWidth x maxHeight keeping the aspect (never up), both sides even.
    void outputSize(int width, int height, int& outWidth, int& outHeight) const;
};

}  // namespace tvn
