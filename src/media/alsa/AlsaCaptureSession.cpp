#include "media/alsa/AlsaCaptureSession.h"

#include "core/LogCategories.h"
#include "core/TvnError.h"

#include <QFile>
#include <QFileInfo>
#include <QtGlobal>
#include <alsa/asoundlib.h>
#include <sndfile.h>
#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace tvn {

namespace {

constexpr unsigned LatencyMicroseconds = 100000;  // device buffer
constexpr int BlockMilliseconds = 50;             // one read and one header update

QString alsaText(int code) { return QString::fromUtf8(snd_strerror(code)); }

}  // namespace

void AlsaCaptureSession::PcmCloser::operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
void AlsaCaptureSession::FileCloser::operator()(SNDFILE* file) const { sf_close(file); }

AlsaCaptureSession::AlsaCaptureSession(const QString& pcmName, const QString& deviceName, const QString& fileName,
                                       int channels, int sampleRate, bool append)
    : fileName_(fileName), channels_(channels) {
    stretchStartedAt_ = now();
    const auto deviceError = [&](int code, const char* step) {
        return TvnError(err::AudioDeviceFailed,
                        QStringLiteral("Cannot %1 audio device '%2' (%3) for capture: %4")
                            .arg(QLatin1String(step), deviceName, pcmName, alsaText(code)),
                        QStringLiteral("AlsaAudioRecorder"));
    };
    snd_pcm_t* pcm = nullptr;
    int rc = snd_pcm_open(&pcm, pcmName.toUtf8().constData(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (rc < 0) throw deviceError(rc, "open");
    pcm_.reset(pcm);
    rc = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, channels, sampleRate,
                            1 /* resample when the device cannot give the rate */, LatencyMicroseconds);
    if (rc < 0) throw deviceError(rc, "set up");

    const QByteArray path = QFile::encodeName(fileName);
    SF_INFO info = {};
    SNDFILE* file = nullptr;
    const bool existed = QFileInfo::exists(fileName);
    if (append && existed) {
        file = sf_open(path.constData(), SFM_RDWR, &info);
        if (file && (info.channels != channels || info.samplerate != sampleRate ||
                     (info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAV ||
                     (info.format & SF_FORMAT_SUBMASK) != SF_FORMAT_PCM_16)) {
            sf_close(file);
            throw TvnError(err::PathFileAccess,
                           QStringLiteral("Cannot append to lesson sound '%1': it holds %2 channels at %3 Hz, not %4 at %5 Hz")
                               .arg(fileName).arg(info.channels).arg(info.samplerate).arg(channels).arg(sampleRate),
                           QStringLiteral("AlsaAudioRecorder"));
        }
        if (file) {
            sf_seek(file, 0, SEEK_END);
            framesBefore_ = info.frames;
        }
    } else {
        info.channels = channels;
        info.samplerate = sampleRate;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        file = sf_open(path.constData(), SFM_WRITE, &info);
    }
    if (!file)
        throw TvnError(err::PathFileAccess,
                       QStringLiteral("Cannot write lesson sound '%1': %2").arg(fileName, QString::fromUtf8(sf_strerror(nullptr))),
                       QStringLiteral("AlsaAudioRecorder"));
    file_.reset(file);
    sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    // Put the header on disk now, so a full disk fails the start and not the first block.
    sf_command(file, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    sf_write_sync(file);
    if (sf_error(file) != SF_ERR_NO_ERROR) {
        const QString why = QString::fromUtf8(sf_strerror(file));
        file_.reset();
        if (!existed) QFile::remove(fileName);
        throw TvnError(err::PathFileAccess, QStringLiteral("Cannot write lesson sound '%1': %2").arg(fileName, why),
                       QStringLiteral("AlsaAudioRecorder"));
    }
    rc = snd_pcm_start(pcm);
    if (rc < 0) {
        file_.reset();
        if (!existed) QFile::remove(fileName);
        throw deviceError(rc, "start");
    }
    thread_ = std::thread([this] { run(); });
}

AlsaCaptureSession::~AlsaCaptureSession() { stop(); }

int64_t AlsaCaptureSession::now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void AlsaCaptureSession::endStretch() {
    const double elapsed = double(now() - stretchStartedAt_) * 1e-9;
    const double asked = askedLength_.exchange(-1);
    // A length asked for goes at most two seconds past the call (the pictures
    // of a 1 fps lesson run up to a frame and a half ahead of the clock).
    const double length = asked >= 0 ? std::min(asked, elapsed + 2.0) : elapsed;
    stretchHeard_ = std::min(length, elapsed);
    stretchLength_ = length;
}

void AlsaCaptureSession::setStretchLength(double seconds) {
    if (paused_ || stopping_ || !(seconds >= 0)) return;
    askedLength_ = seconds;
}

void AlsaCaptureSession::pause() {
    if (paused_ || stopping_) return;
    endStretch();
    ++pauses_;
    paused_ = true;
}

void AlsaCaptureSession::resume() {
    if (!paused_ || stopping_) return;
    askedLength_ = -1;
    stretchStartedAt_ = now();
    dropPending_ = true;
    paused_ = false;
}

void AlsaCaptureSession::stop() {
    if (!paused_ && !stopping_) endStretch();
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    file_.reset();
    pcm_.reset();
}

QString AlsaCaptureSession::error() const {
    std::scoped_lock lock(errorMutex_);
    return error_;
}

void AlsaCaptureSession::setError(const QString& what) {
    qCWarning(lcAlsa, "Lesson sound '%s': %s", qPrintable(fileName_), qPrintable(what));
    std::scoped_lock lock(errorMutex_);
    if (error_.isEmpty()) error_ = what;
}

void AlsaCaptureSession::run() {
    snd_pcm_t* pcm = pcm_.get();
    unsigned rate = 0;
    {
        snd_pcm_hw_params_t* hw = nullptr;
        snd_pcm_hw_params_alloca(&hw);
        snd_pcm_hw_params_current(pcm, hw);
        snd_pcm_hw_params_get_rate(hw, &rate, nullptr);
    }
    const snd_pcm_uframes_t block = std::max<unsigned>(64, rate * BlockMilliseconds / 1000);
    std::vector<short> buffer(block * channels_);
    bool writing = true;
    // A stretch's time 0 is its start or resume: see the class comment.
    int64_t started = stretchStartedAt_;
    int64_t framesAtStart = 0;  // frames in the file when this stretch began
    bool aligning = true;       // the stretch's first samples have not come yet
    bool refilling = false;     // an overrun lost sound since the last read
    // After a pause or stop the thread writes on until the file holds the
    // stretch's time (waiting at most a second for the device), then goes idle.
    bool draining = false, idle = false;
    int64_t drainTarget = 0, stretchEnd = 0, drainDeadline = 0;
    int pausesSeen = 0;  // a pause and resume between two reads still end the stretch
    const auto framesSince = [&](int64_t from, int64_t to) {
        return static_cast<int64_t>(static_cast<double>(to - from) * 1e-9 * rate);
    };
    const auto write = [&](const short* samples, int64_t frames) {
        if (frames <= 0 || !writing) return;
        const sf_count_t written = sf_writef_short(file_.get(), samples, frames);
        if (written != frames) {
            setError(QStringLiteral("write failed: %1").arg(QString::fromUtf8(sf_strerror(file_.get()))));
            writing = false;  // keep reading so stop() finds a live thread; the file keeps what it has
            return;
        }
        framesWritten_ += frames;
    };
    const auto writeSilence = [&](int64_t frames) {
        if (frames <= 0) return;
        const std::vector<short> silence(static_cast<size_t>(std::min<int64_t>(frames, rate)) * channels_, 0);
        for (int64_t left = frames; left > 0 && writing; left -= rate) write(silence.data(), std::min<int64_t>(left, rate));
    };
    for (;;) {
        if ((paused_ || stopping_ || pauses_ != pausesSeen) && !draining && !idle) {
            draining = true;
            pausesSeen = pauses_;
            drainTarget = framesAtStart + std::llround(stretchHeard_ * rate);
            stretchEnd = framesAtStart + std::llround(stretchLength_ * rate);
            drainDeadline = now() + 1'000'000'000;
        }
        if (draining && (!writing || framesWritten_ >= drainTarget || now() > drainDeadline)) {
            // What the device did not give in time, and the stretch's time past
            // the call, are silence; sound written past the stretch's end (read
            // before the pause was seen, or past the end the pictures set) is
            // cut off: the stretch keeps its length.
            sf_count_t end = framesBefore_ + stretchEnd;  // in the file, which may hold an earlier recording
            if (writing && framesWritten_ > stretchEnd) {
                if (sf_command(file_.get(), SFC_FILE_TRUNCATE, &end, sizeof end) == 0) {
                    sf_command(file_.get(), SFC_UPDATE_HEADER_NOW, nullptr, 0);
                    qCDebug(lcAlsa, "Lesson sound '%s': %lld frames past the stretch's end cut off", qPrintable(fileName_),
                            static_cast<long long>(framesWritten_ - stretchEnd));
                    framesWritten_ = stretchEnd;
                } else setError(QStringLiteral("cannot cut the sound back to the pause: %1").arg(QString::fromUtf8(sf_strerror(file_.get()))));
            }
            writeSilence(stretchEnd - framesWritten_);
            draining = false;
            idle = true;
        }
        if (stopping_ && (idle || !writing)) break;
        if (idle && dropPending_.exchange(false)) {
            // What the device buffered while paused belongs to the pause.
            snd_pcm_drop(pcm);
            snd_pcm_prepare(pcm);
            snd_pcm_start(pcm);
            started = stretchStartedAt_;
            framesAtStart = framesWritten_;
            aligning = true;
            idle = false;
        }
        const int stallMs = stallMs_.exchange(0);
        if (stallMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(stallMs));
        const snd_pcm_sframes_t n = stallMs > 0 ? -EPIPE : snd_pcm_readi(pcm, buffer.data(), block);
        if (n == -EAGAIN) {
            snd_pcm_wait(pcm, 100);
            continue;
        }
        if (n == -EPIPE) {
            ++overruns_;
            qCWarning(lcAlsa, "Lesson sound '%s': capture overrun, the lost time is filled with silence", qPrintable(fileName_));
            snd_pcm_prepare(pcm);
            snd_pcm_start(pcm);
            refilling = true;
            continue;
        }
        if (n < 0) {
            const int rc = snd_pcm_recover(pcm, static_cast<int>(n), 1);
            if (rc < 0) {
                setError(QStringLiteral("capture failed: %1").arg(alsaText(static_cast<int>(n))));
                break;
            }
            snd_pcm_start(pcm);
            refilling = true;
            continue;
        }
        if (idle || !writing || n == 0) continue;
        int64_t from = 0;  // frames of this read that belong before the stretch
        if (aligning || refilling) {
            // Where these samples belong: they were captured before now by what
            // they hold plus what the device still buffers. Silence takes the
            // time the device did not deliver (its late start, what an overrun
            // lost); what it captured before the stretch began is left out.
            snd_pcm_sframes_t buffered = 0;
            // A delay past ten seconds is no device's buffer: not believed.
            if (snd_pcm_delay(pcm, &buffered) < 0 || buffered < 0 || buffered > 10 * snd_pcm_sframes_t(rate)) buffered = 0;
            const int64_t at = framesAtStart + framesSince(started, now()) - n - buffered;
            const int64_t gap = draining ? std::min(at, drainTarget) - framesWritten_ : at - framesWritten_;
            qCDebug(lcAlsa, "Lesson sound '%s': %lld frames of silence, %lld captured before the stretch left out",
                    qPrintable(fileName_), static_cast<long long>(std::max<int64_t>(gap, 0)),
                    static_cast<long long>(std::min<int64_t>(std::max<int64_t>(-gap, 0), n)));
            if (gap > 0) writeSilence(gap);
            from = std::min<int64_t>(std::max<int64_t>(-gap, 0), n);
            if (from < n) aligning = refilling = false;  // else all of it came before: the next read tells again
        }
        const int64_t frames = n - from;
        write(buffer.data() + from * channels_, draining ? std::min(frames, drainTarget - framesWritten_) : frames);
    }
}

}  // namespace tvn
