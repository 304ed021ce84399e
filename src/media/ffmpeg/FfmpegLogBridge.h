#pragma once

namespace tvn {

// Routes FFmpeg's log into the trelvan.ffmpeg logging category: FFmpeg's
// errors become warnings, its warnings information and its informational
// lines debug output; FFmpeg's verbose and debug chatter is dropped. FFmpeg
// then writes nothing to stderr of its own, and a host hears it only after
// enabling the category. FFmpeg has one log callback per process, so this is
// installed once, by MediaRuntime::initialise(); a host that wants FFmpeg's
// log elsewhere installs its own callback after that.
//
// FFmpeg logs from its decoder threads as well: each thread gathers the pieces
// of a line separately until the line is complete.
class FfmpegLogBridge {
public:
    static void install();
};

}  // namespace tvn
