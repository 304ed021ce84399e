#include "media/alsa/AlsaCaptureSession.h"

#include "core/TvnError.h"

#include <QFile>
#include <QFileInfo>
#include <QtGlobal>
#include <alsa/asoundlib.h>
#include <sndfile.h>
#include <chrono>
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

void AlsaCaptureSession::pause() { paused_ = true; }

void AlsaCaptureSession::resume() {
    if (!paused_) return;
    dropPending_ = true;
    paused_ = false;
}

void AlsaCaptureSession::stop() {
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
    qWarning("Lesson sound '%s': %s", qPrintable(fileName_), qPrintable(what));
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
    // The file's time 0 is the start (or the resume): a device that delivers its
    // first samples late gets silence in front for the gap, so the sound stays
    // in step with the lesson's video, which counts from the same moment.
    auto started = std::chrono::steady_clock::now();
    int64_t framesAtStart = 0;  // frames in the file when this stretch of recording began
    bool aligning = true;
    // At the stop the device still holds what it captured before it (its
    // latency): read that too, for at most a second, so the file ends at the stop.
    bool draining = false;
    int64_t drainTarget = 0;
    std::chrono::steady_clock::time_point drainDeadline;
    for (;;) {
        if (stopping_) {
            const auto now = std::chrono::steady_clock::now();
            if (!draining) {
                draining = true;
                drainTarget = framesAtStart + static_cast<int64_t>(std::chrono::duration<double>(now - started).count() * rate);
                drainDeadline = now + std::chrono::seconds(1);
            }
            if (paused_ || !writing || aligning || framesWritten_ >= drainTarget || now > drainDeadline) break;
        }
        if (dropPending_.exchange(false)) {
            // What the device buffered while paused belongs to the pause.
            snd_pcm_drop(pcm);
            snd_pcm_prepare(pcm);
            snd_pcm_start(pcm);
            started = std::chrono::steady_clock::now();
            framesAtStart = framesWritten_;
            aligning = true;
        }
        const snd_pcm_sframes_t n = snd_pcm_readi(pcm, buffer.data(), block);
        if (n == -EAGAIN) {
            snd_pcm_wait(pcm, 100);
            continue;
        }
        if (n == -EPIPE) {
            ++overruns_;
            qWarning("Lesson sound '%s': capture overrun, some sound was lost", qPrintable(fileName_));
            snd_pcm_prepare(pcm);
            snd_pcm_start(pcm);
            continue;
        }
        if (n < 0) {
            const int rc = snd_pcm_recover(pcm, static_cast<int>(n), 1);
            if (rc < 0) {
                setError(QStringLiteral("capture failed: %1").arg(alsaText(static_cast<int>(n))));
                break;
            }
            snd_pcm_start(pcm);
            continue;
        }
        if (paused_ || !writing || n == 0) continue;
        if (aligning) {
            aligning = false;
            snd_pcm_sframes_t buffered = 0;
            if (snd_pcm_delay(pcm, &buffered) < 0) buffered = 0;
            const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            const int64_t gap = static_cast<int64_t>(elapsed * rate) - n - buffered;
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
