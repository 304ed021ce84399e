#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <vector>

// Clips made at test time with the ffmpeg command-line tool, whose frame n shows
// the number n, so that frame accuracy can be checked from pixels.
//
// Frame code: the picture is a grid of 4 columns by 3 rows of cells, each black
// or white. Cell k (k = column + 4 * row, reading left to right, top to bottom)
// is white when bit k of n is set, for k = 0..10; the last cell (bottom right)
// is always white, as a marker. Frames 0 to 2047 can be told apart, and the
// high-contrast cells survive every lossy codec. A mirrored picture reads as a
// different number (or none), so mirroring is visible too.
namespace tvn::testclips {

enum class ClipFormat {
    H264Mp4,     // B-frames, keyframe every keyInterval frames
    H264Mov,
    HevcMp4,
    HevcMov,
    Mpeg4Avi,    // MPEG-4 Part 2 with B-frames
    MjpegAvi,
    Vp8Webm,
    Vp9Mkv,
    Mpeg2Ts,     // starts near 1.4 s in the container, as MPEG-TS does
    H264VfrMp4,  // variable rate: the first half at fps, the second at fps / 2
    ProResMov,   // ProRes 422 HQ, 10-bit 4:2:2 (every frame a keyframe)
    DnxhrMov,    // DNxHR LB, 8-bit 4:2:2; at least 256 x 120
    Av1Mkv,      // libaom, real-time settings
    Ffv1Mkv,     // lossless; any size, odd ones too
    RawAvi,      // uncompressed pictures in the pixel format asked for (nv12, gray ...)
};

struct ClipOptions {
    int frames = 150;
    int fps = 30;
    int width = 320;
    int height = 240;
    int keyInterval = 60;
    // Adds a sine sound track one second longer than the video.
    bool audio = false;
    // MP4 and MOV: the index before the data, as phones and cameras write it.
    bool indexFirst = false;
    // The pictures' pixel format in the file, in place of the format's usual one
    // (ffmpeg's name: "yuv422p", "yuv420p10le", "nv12", "gbrp" ...).
    const char* pixelFormat = nullptr;
    // A frame rate that is not a whole number ("30000/1001"), in place of fps.
    const char* rate = nullptr;
    // MP4 and MOV: the video track's time scale (ticks per second), 0 for the muxer's choice.
    int timescale = 0;
};

// A folder for the clips and files of this test program, made on first use and
// removed when the program ends.
QTemporaryDir& testFolder();

// The formats a control plays in every test of every format (the first ten);
// the rest are made only where a test asks for them by name.
std::vector<ClipFormat> allClipFormats();
// Short name for test output and file names ("h264-mp4").
QString formatName(ClipFormat format);

// Writes the clip into folder (named after the format unless baseName is given,
// which may hold spaces and non-ASCII characters) and returns its path. Throws
// std::runtime_error with ffmpeg's message when the tool fails.
QString makeClip(const QString& folder, ClipFormat format, const ClipOptions& options = {},
                 const QString& baseName = {});

// The clip of this format and these options in testFolder(), made once per
// program: each recipe names its own file.
QString clip(ClipFormat format, const ClipOptions& options = {});

// Marks an MP4 or MOV clip as recorded turned, as phones mark portrait footage:
// its video track's display matrix says to turn the pictures clockwise by
// 90, 180 or 270 degrees (0 clears it). The pictures themselves stay as coded.
void setDisplayRotation(const QString& clip, int clockwiseDegrees);

// Start of frame n in ms, counted from the first frame, for a clip made with these options.
double frameStartMs(ClipFormat format, const ClipOptions& options, int n);

// The number shown by a frame code picture (any size), or -1 when the picture
// shows no valid code (a cell neither clearly black nor white, or no marker).
int frameNumber(const QImage& image);

// Writes bytes to a new file at path (a damaged clip, a text file) and returns the path.
QString writeFile(const QString& path, const QByteArray& bytes);
// The whole content of a file; empty when it cannot be read.
QByteArray readFile(const QString& path);

// One colour all over (RGB32).
QImage solid(int width, int height, QColor colour);

// The share of the samples' power at one frequency (Goertzel): near 1 for a pure tone.
double toneShare(const std::vector<int16_t>& samples, double hz, double sampleRate);

}  // namespace tvn::testclips
