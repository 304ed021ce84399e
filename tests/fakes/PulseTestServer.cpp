#include "fakes/PulseTestServer.h"

#include "fakes/EventLoopWait.h"

#include <QFile>
#include <QFileInfo>
#include <alsa/asoundlib.h>

namespace tvn::testing {

namespace {
constexpr int kChannels = 2;
}  // namespace

PulseTestServer::PulseTestServer(int toneHz, Start start) {
    socket_ = runtime_.filePath("native");
    if (!startDaemon(toneHz, start == Start::Prompt)) return;
    writeAlsaConfig();
    // A fresh daemon takes a moment before its sink delivers anything: read
    // until it does, so tests measure their component and not the start-up.
    startCapture();
    const bool sounds = waitFor([&] { return capturedCount_ >= kRate / 10; }, 10000);
    stopCapture();
    if (!sounds) problem_ = "the test's PulseAudio sink delivers no sound";
}

PulseTestServer::~PulseTestServer() {
    if (capture_.joinable()) stopCapture();
    for (QProcess* p : {&pacer_, &daemon_}) {
        p->kill();
        p->waitForFinished(5000);
    }
    if (previousConfigPath_.isNull()) qunsetenv("ALSA_CONFIG_PATH");
    else qputenv("ALSA_CONFIG_PATH", previousConfigPath_);
}

bool PulseTestServer::startDaemon(int toneHz, bool lowLatency) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", runtime_.path());
    env.insert("XDG_RUNTIME_DIR", runtime_.path());
    env.insert("PULSE_RUNTIME_PATH", runtime_.filePath("pulse"));
    QStringList args{"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--disable-shm=yes",
                     "--load=module-native-protocol-unix socket=" + socket_ + " auth-anonymous=1",
                     QStringLiteral("--load=module-null-sink sink_name=tvn_null rate=%1").arg(kRate)};
    if (toneHz > 0) args << QStringLiteral("--load=module-sine sink=tvn_null frequency=%1").arg(toneHz);
    daemon_.setProcessEnvironment(env);
    daemon_.setProcessChannelMode(QProcess::MergedChannels);
    daemon_.start(QStringLiteral("pulseaudio"), args);
    if (!waitFor([&] { return QFileInfo::exists(socket_) || daemon_.state() == QProcess::NotRunning; }, 10000) ||
        daemon_.state() != QProcess::Running) {
        problem_ = "pulseaudio did not come up: " + (daemon_.errorString() + daemon_.readAll()).toStdString();
        return false;
    }
    // The null sink renders in blocks as long as the lowest latency any reader
    // asks for, up to about 2 s, so a new stream would wait up to that long for
    // its first sound. A reader asking for 10 ms keeps the blocks short; a
    // server started Late goes without it.
    if (!lowLatency) return true;
    pacer_.setProcessEnvironment(env);
    pacer_.setStandardOutputFile(QProcess::nullDevice());
    pacer_.start(QStringLiteral("parec"),
                 {"--server=unix:" + socket_, "--device=tvn_null.monitor", "--latency-msec=10", "--raw"});
    if (!pacer_.waitForStarted(5000)) {
        problem_ = "parec cannot start: " + pacer_.errorString().toStdString();
        return false;
    }
    return true;
}

void PulseTestServer::writeAlsaConfig() {
    const QString path = runtime_.filePath("asound.conf");
    QFile conf(path);
    conf.open(QIODevice::WriteOnly);
    conf.write(QStringLiteral("</usr/share/alsa/alsa.conf>\n"
                              "pcm.!default {\n type pulse\n server \"unix:%1\"\n device \"tvn_null\"\n}\n"
                              "ctl.!default {\n type pulse\n server \"unix:%1\"\n}\n"
                              "pcm.%2 {\n type pulse\n server \"unix:%1\"\n device \"tvn_null.monitor\"\n"
                              " hint { show on description \"%3\" }\n}\n"
                              "ctl.%2 {\n type pulse\n server \"unix:%1\"\n}\n")
                   .arg(socket_, QLatin1String(kMonitorPcm), monitorDescription())
                   .toUtf8());
    conf.close();
    previousConfigPath_ = qgetenv("ALSA_CONFIG_PATH");
    qputenv("ALSA_CONFIG_PATH", path.toUtf8());
    qputenv("PULSE_SERVER", ("unix:" + socket_).toUtf8());
}

bool PulseTestServer::suspendSink(bool suspended) {
    return QProcess::execute(QStringLiteral("pactl"), {"--server=unix:" + socket_, QStringLiteral("suspend-sink"),
                                                       QStringLiteral("tvn_null"), suspended ? "1" : "0"}) == 0;
}

void PulseTestServer::startCapture() {
    captured_.clear();
    capturedCount_ = 0;
    capturing_ = true;
    capture_ = std::thread([this] { captureLoop(); });
    waitFor([&] { return capturedCount_ > 0; }, 5000);
}

std::vector<int16_t> PulseTestServer::stopCapture() {
    capturing_ = false;
    if (capture_.joinable()) capture_.join();
    return std::move(captured_);
}

void PulseTestServer::captureLoop() {
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, kMonitorPcm, SND_PCM_STREAM_CAPTURE, 0) < 0) return;
    std::vector<int16_t> buffer(480 * kChannels);
    if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, kChannels, kRate, 1, 100000) < 0)
        capturing_ = false;
    while (capturing_) {
        const snd_pcm_sframes_t n = snd_pcm_readi(pcm, buffer.data(), 480);
        if (n < 0) snd_pcm_recover(pcm, static_cast<int>(n), 1);
        for (snd_pcm_sframes_t i = 0; i < n; ++i) captured_.push_back(buffer[static_cast<size_t>(i * kChannels)]);
        if (n > 0) capturedCount_ += static_cast<size_t>(n);
    }
    snd_pcm_close(pcm);
}

}  // namespace tvn::testing
