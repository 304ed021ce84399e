#pragma once

namespace tvn {

// Silences ALSA's own error messages on the calling thread for the lifetime of
// the object. Opening a PCM that cannot open (no card, a plugin whose server is
// not running) is an expected outcome while probing devices or on a machine
// without sound, and the caller handles it through the return code; ALSA would
// otherwise print it to stderr. Thread-local, so other threads' ALSA use (the
// host's included) still reports as before.
class AlsaQuietErrors {
public:
    AlsaQuietErrors();
    ~AlsaQuietErrors();
    AlsaQuietErrors(const AlsaQuietErrors&) = delete;
    AlsaQuietErrors& operator=(const AlsaQuietErrors&) = delete;

private:
    void* previous_;
};

}  // namespace tvn
