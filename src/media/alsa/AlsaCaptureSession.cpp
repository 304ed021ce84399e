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
#include <pthread.h>
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
        if (file) sf_seek(file, 0, SEEK_END);
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

void AlsaCaptureSession::pause() {
    if (paused_) return;
    endedAt_ = now();
    ++pauses_;
    paused_ = true;
}

void AlsaCaptureSession::resume() {
    if (!paused_) return;
    stretchStartedAt_ = now();
    dropPending_ = true;
    paused_ = false;
}

void AlsaCaptureSession::stop() {
    if (!paused_) endedAt_ = now();
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
    pthread_setname_np(pthread_self(), "tvn-capture");
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
    // stretch's time (for at most a second), then goes idle.
    bool draining = false, idle = false;
    int64_t drainTarget = 0, drainDeadline = 0;
    int pausesSeen = 0;  // a pause and resume between two reads still end the stretch
    const auto framesSince = [&](int64_t from, int64_t to) {
        return static_cast<int64_t>(static_cast<double>(to - from) * 1e-9 * rate);
    };
    for (;;) {
        if ((paused_ || stopping_ || pauses_ != pausesSeen) && !draining && !idle) {
            draining = true;
            pausesSeen = pauses_;
            drainTarget = framesAtStart + framesSince(started, endedAt_);
            drainDeadline = now() + 1'000'000'000;
        }
        if (draining && (!writing || aligning || framesWritten_ >= drainTarget || now() > drainDeadline)) {
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
        if (aligning || refilling) {
            // The file lacks the time before these samples that the device did
            // not deliver: its late start, or what an overrun lost. Silence
            // takes that time, so the voice stays in step with the pictures.
            aligning = refilling = false;
            snd_pcm_sframes_t buffered = 0;
            if (snd_pcm_delay(pcm, &buffered) < 0) buffered = 0;
            int64_t gap = framesAtStart + framesSince(started, now()) - n - buffered - framesWritten_;
            if (draining) gap = std::min<int64_t>(gap, drainTarget - framesWritten_);
            if (gap > static_cast<int64_t>(rate / 50) && gap < static_cast<int64_t>(rate) * 10) {
                const std::vector<short> silence(static_cast<size_t>(gap) * channels_, 0);
                if (sf_writef_short(file_.get(), silence.data(), gap) == gap) framesWritten_ += gap;
            }
        }
        const sf_count_t keep = draining ? std::min<sf_count_t>(n, drainTarget - framesWritten_) : n;
        const sf_count_t written = sf_writef_short(file_.get(), buffer.data(), keep);
        if (written != keep) {
            setError(QStringLiteral("write failed: %1").arg(QString::fromUtf8(sf_strerror(file_.get()))));
            writing = false;  // keep reading so stop() finds a live thread; the file keeps what it has
            continue;
        }
        framesWritten_ += keep;
    }
}

}  // namespace tvn
