#include "media/alsa/AlsaAudioOutput.h"

#include "core/LogCategories.h"
#include "media/alsa/AlsaQuietErrors.h"

#include <alsa/asoundlib.h>
#include <algorithm>
#include <cerrno>

namespace tvn {

namespace {
// The longest a write waits for room before it looks at its interrupt flag again.
constexpr int kWaitSliceMs = 10;
}  // namespace

struct AlsaAudioOutput::Impl {
    snd_pcm_t* pcm = nullptr;
};

AlsaAudioOutput::AlsaAudioOutput() : d(std::make_unique<Impl>()) {}
AlsaAudioOutput::~AlsaAudioOutput() { close(); }

bool AlsaAudioOutput::open() {
    if (d->pcm) return true;
    snd_pcm_t* pcm = nullptr;
    {
        const AlsaQuietErrors quiet;  // no sound device is a normal case: play silently
        if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return false;
    }
    if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, kChannels, kRate, 1,
                           100000 /* us of latency */) < 0) {
        snd_pcm_close(pcm);
        return false;
    }
    d->pcm = pcm;
    return true;
}

bool AlsaAudioOutput::isOpen() const { return d->pcm != nullptr; }

int AlsaAudioOutput::write(const int16_t* interleaved, int frames, const std::atomic<bool>& interrupted) {
    int taken = 0;
    while (d->pcm && frames > 0 && !interrupted) {
        snd_pcm_sframes_t n = snd_pcm_writei(d->pcm, interleaved, snd_pcm_uframes_t(frames));
        if (n == -EAGAIN) {
            snd_pcm_wait(d->pcm, kWaitSliceMs);  // room, a time-out or an error the next write reports
            continue;
        }
        if (n < 0) n = snd_pcm_recover(d->pcm, int(n), 1);
        if (n < 0) {
            qCWarning(lcAlsa, "The sound device stopped taking the clip's sound: %s", snd_strerror(int(n)));
            close();  // the device went away: go on silently
            break;
        }
        interleaved += n * kChannels;
        frames -= int(n);
        taken += int(n);
    }
    return taken;
}

long AlsaAudioOutput::delayFrames() {
    snd_pcm_sframes_t delay = 0;
    if (!d->pcm || snd_pcm_delay(d->pcm, &delay) < 0) return 0;
    return long(std::max<snd_pcm_sframes_t>(delay, 0));
}

void AlsaAudioOutput::discard() {
    if (!d->pcm) return;
    snd_pcm_drop(d->pcm);
    snd_pcm_prepare(d->pcm);
}

void AlsaAudioOutput::close() {
    if (!d->pcm) return;
    snd_pcm_drop(d->pcm);
    snd_pcm_close(d->pcm);
    d->pcm = nullptr;
}

}  // namespace tvn
