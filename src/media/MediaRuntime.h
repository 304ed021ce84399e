#pragma once

#include "core/TrelvanExport.h"

namespace tvn {

// The process-wide set-up of the libraries behind the real components, done in
// one place a host can see and time, rather than here and there inside them:
// - FFmpeg's log goes through a callback into the trelvan.ffmpeg logging
//   category (silent until the host enables it; see core/LogCategories.h);
//   FFmpeg's global log level stays as it is.
// - libcurl's global initialisation, which is not thread-safe: it must run
//   before any other thread uses libcurl.
//
// A host calls initialise() once in main(), before it creates the first control
// or starts threads of its own that use FFmpeg or libcurl. It is idempotent
// and safe to call from several threads. A host that forgets is covered for its
// own use of the control: the first control built with the real components
// (and the first probeClip) calls it on the UI thread and logs in
// trelvan.media that it did; the host's own threads that use libcurl must
// not be running by then.
class TVN_EXPORT MediaRuntime {
public:
    MediaRuntime() = delete;

    static void initialise();
    static bool isInitialised();
    // Called where the real components are first needed; initialises with a
    // note naming the caller when the host did not.
    static void ensureInitialised(const char* by);
};

}  // namespace tvn
