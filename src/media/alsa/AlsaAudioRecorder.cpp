#include "media/alsa/AlsaAudioRecorder.h"

#include "core/TvnError.h"
#include "media/alsa/AlsaCaptureSession.h"
#include "media/alsa/AlsaQuietErrors.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QtGlobal>
#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace tvn {

namespace {

TvnError recorderError(int32_t number, const QString& what) {
    return TvnError(number, what, QStringLiteral("AlsaAudioRecorder"));
}

QString hintText(void* hint, const char* id) {
    char* value = snd_device_name_get_hint(hint, id);
    const QString text = value ? QString::fromUtf8(value) : QString();
    free(value);
    return text;
}

// The plugin type of a PCM defined in ALSA's configuration ("jack", "pulse",
// "hw"...), or empty when the name is not a plain definition.
QString pcmType(const QString& pcmName) {
    snd_config_t* definition = nullptr;
    snd_config_t* type = nullptr;
    const char* value = nullptr;
    if (snd_config_update() < 0 || snd_config_search_definition(snd_config, "pcm", pcmName.toUtf8().constData(),
                                                                 &definition) < 0)
        return {};
    QString result;
    if (snd_config_search(definition, "type", &type) >= 0 && snd_config_get_string(type, &value) >= 0)
        result = QString::fromUtf8(value);
    snd_config_delete(definition);
    return result;
}

// Standard error pointed at /dev/null for the lifetime of the object.
class QuietStderr {
public:
    QuietStderr() : saved_(dup(STDERR_FILENO)) {
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) close(null);
    }
    ~QuietStderr() {
        if (saved_ < 0) return;
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_;
};

bool opensForCapture(const QString& pcmName) {
    // The JACK client library prints its failure to reach a server straight to
    // stderr, past ALSA's error handler; with no JACK server running (the usual
    // case) that would be several lines of noise each time devices are listed.
    std::optional<QuietStderr> quiet;
    if (pcmType(pcmName) == QLatin1String("jack")) quiet.emplace();
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, pcmName.toUtf8().constData(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0) return false;
    snd_pcm_close(pcm);
    return true;
}

// The control device that belongs to a PCM: the card's for a hardware PCM,
// else a control of the same name (ALSA defines "default" and plugin ones).
QString mixerNameFor(const QString& pcmName) {
    static const QRegularExpression card(QStringLiteral("CARD=([^,]+)"));
    const auto m = card.match(pcmName);
    if (m.hasMatch()) return QStringLiteral("hw:CARD=%1").arg(m.captured(1));
    return pcmName.section(':', 0, 0);
}

}  // namespace

void AlsaAudioRecorder::MixerCloser::operator()(snd_mixer_t* mixer) const { snd_mixer_close(mixer); }

AlsaAudioRecorder::AlsaAudioRecorder() {
    loadDevices();
    if (!devices_.empty()) loadLineInputs();
}

AlsaAudioRecorder::~AlsaAudioRecorder() {
    if (session_) session_->stop();
}

void AlsaAudioRecorder::loadDevices() {
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0 || !hints) return;
    std::vector<Device> found;
    // Many PCMs of ALSA's configuration cannot open here (OSS, absent cards).
    const AlsaQuietErrors quiet;
    for (void** h = hints; *h; ++h) {
        const QString pcm = hintText(*h, "NAME");
        const QString ioid = hintText(*h, "IOID");
        if (pcm.isEmpty() || pcm == QLatin1String("null") || (!ioid.isEmpty() && ioid != QLatin1String("Input")))
            continue;
        if (!opensForCapture(pcm)) continue;
        QString name = hintText(*h, "DESC").split('\n', Qt::SkipEmptyParts).join(QStringLiteral(", ")).simplified();
        if (name.isEmpty()) name = pcm;
        found.push_back({pcm, name});
    }
    snd_device_name_free_hint(hints);
    std::stable_partition(found.begin(), found.end(), [](const Device& d) { return d.pcm == QLatin1String("default"); });
    // Two PCMs of one card often share a description: tell them apart by their PCM name.
    QSet<QString> seen, duplicated;
    for (const Device& d : found) (seen.contains(d.name) ? duplicated : seen).insert(d.name);
    for (Device& d : found)
        if (duplicated.contains(d.name)) d.name += QStringLiteral(" (%1)").arg(d.pcm);
    devices_ = std::move(found);
}

void AlsaAudioRecorder::loadLineInputs() {
    lineInputs_.clear();
    mixer_.reset();
    if (devices_.empty()) return;
    const QString name = mixerNameFor(recordingDevice().pcm);
    snd_mixer_t* mixer = nullptr;
    if (snd_mixer_open(&mixer, 0) < 0) return;
    mixer_.reset(mixer);
    const AlsaQuietErrors quiet;  // a device without a mixer is a normal case
    if (snd_mixer_attach(mixer, name.toUtf8().constData()) < 0 || snd_mixer_selem_register(mixer, nullptr, nullptr) < 0 ||
        snd_mixer_load(mixer) < 0) {
        mixer_.reset();  // a device without a mixer has no line inputs
        return;
    }
    std::vector<LineInput> enumItems;
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer); e; e = snd_mixer_elem_next(e)) {
        if (!snd_mixer_selem_is_active(e)) continue;
        const QString element = QString::fromUtf8(snd_mixer_selem_get_name(e));
        const unsigned index = snd_mixer_selem_get_index(e);
        if (snd_mixer_selem_is_enum_capture(e)) {
            const int items = snd_mixer_selem_get_enum_items(e);
            for (int i = 0; i < items; ++i) {
                char text[128] = {};
                if (snd_mixer_selem_get_enum_item_name(e, i, sizeof text, text) >= 0)
                    enumItems.push_back({QString::fromUtf8(text), element, index, i});
            }
        } else if (snd_mixer_selem_has_capture_switch(e) || snd_mixer_selem_has_capture_volume(e)) {
            const QString shown = index ? QStringLiteral("%1 %2").arg(element).arg(index) : element;
            lineInputs_.push_back({shown, element, index, -1});
        }
    }
    lineInputs_.insert(lineInputs_.end(), enumItems.begin(), enumItems.end());
}

const AlsaAudioRecorder::Device& AlsaAudioRecorder::recordingDevice() const {
    return devices_[selectedDevice_ >= 0 ? selectedDevice_ : 0];
}

int32_t AlsaAudioRecorder::GetDeviceCount() { return static_cast<int32_t>(devices_.size()); }

void AlsaAudioRecorder::checkDeviceIndex(int32_t index) const {
    if (index < 0 || index >= static_cast<int32_t>(devices_.size()))
        throw recorderError(err::SubscriptOutOfRange,
                            QStringLiteral("No audio capture device %1 (there are %2)").arg(index).arg(devices_.size()));
}

void AlsaAudioRecorder::checkLineInputIndex(int32_t index) const {
    if (index < 0 || index >= static_cast<int32_t>(lineInputs_.size()))
        throw recorderError(err::SubscriptOutOfRange,
                            QStringLiteral("No line input %1 (the device has %2)").arg(index).arg(lineInputs_.size()));
}

QString AlsaAudioRecorder::GetDeviceName(int32_t index) {
    checkDeviceIndex(index);
    return devices_[index].name;
}

QString AlsaAudioRecorder::DevicePcmName(int32_t index) const {
    return index >= 0 && index < static_cast<int32_t>(devices_.size()) ? devices_[index].pcm : QString();
}

void AlsaAudioRecorder::SelectDevice(int32_t index) {
    checkDeviceIndex(index);
    selectedDevice_ = index;
    loadLineInputs();
}

int32_t AlsaAudioRecorder::GetLineInputCount() { return static_cast<int32_t>(lineInputs_.size()); }

QString AlsaAudioRecorder::GetLineInputName(int32_t index) {
    checkLineInputIndex(index);
    return lineInputs_[index].name;
}

void AlsaAudioRecorder::SelectLineInput(int32_t index) {
    // A device without line inputs records its one source: choosing the first
    // input (as choosing a device does) has nothing to switch.
    if (lineInputs_.empty() && index == 0) return;
    checkLineInputIndex(index);
    const LineInput& input = lineInputs_[index];
    snd_mixer_selem_id_t* id = nullptr;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_name(id, input.element.toUtf8().constData());
    snd_mixer_selem_id_set_index(id, input.elementIndex);
    snd_mixer_elem_t* e = mixer_ ? snd_mixer_find_selem(mixer_.get(), id) : nullptr;
    if (!e) throw recorderError(err::AudioDeviceFailed, QStringLiteral("The line input '%1' is gone").arg(input.name));
    int rc = 0;
    if (input.enumItem >= 0) {
        for (int ch = 0; ch <= SND_MIXER_SCHN_LAST && rc >= 0; ++ch)
            if (snd_mixer_selem_has_capture_channel(e, static_cast<snd_mixer_selem_channel_id_t>(ch)) || ch == 0)
                rc = snd_mixer_selem_set_enum_item(e, static_cast<snd_mixer_selem_channel_id_t>(ch), input.enumItem);
    } else if (snd_mixer_selem_has_capture_switch(e)) {
        rc = snd_mixer_selem_set_capture_switch_all(e, 1);
    }
    if (rc < 0)
        throw recorderError(err::AudioDeviceFailed,
                            QStringLiteral("Cannot select the line input '%1': %2").arg(input.name, QString::fromUtf8(snd_strerror(rc))));
}

void AlsaAudioRecorder::StartRecord(int32_t channels, int32_t sampleRate) {
    StopRecord();
    if (devices_.empty())
        throw recorderError(err::AudioDeviceFailed, QStringLiteral("No audio capture device: '%1' is not recorded").arg(fileName_));
    if (fileName_.isEmpty()) throw recorderError(err::PathFileAccess, QStringLiteral("No sound file name is set"));
    if (channels < 1 || channels > 8 || sampleRate < 8000 || sampleRate > 192000)
        throw recorderError(err::InvalidCall, QStringLiteral("Cannot record %1 channels at %2 Hz").arg(channels).arg(sampleRate));
    const Device& device = recordingDevice();
    const bool append = fileName_ == lastWrittenFile_;
    lastError_.clear();
    session_ = std::make_unique<AlsaCaptureSession>(device.pcm, device.name, fileName_, channels, sampleRate, append);
    lastWrittenFile_ = fileName_;
}

void AlsaAudioRecorder::StopRecord() {
    if (!session_) return;
    session_->stop();
    lastError_ = session_->error();
    session_.reset();
}

void AlsaAudioRecorder::PauseRecord() {
    if (session_) session_->pause();
}

void AlsaAudioRecorder::ResumeRecord() {
    if (session_) session_->resume();
}

bool AlsaAudioRecorder::IsPaused() { return session_ && session_->paused(); }

void AlsaAudioRecorder::SetStretchLength(double seconds) {
    if (session_) session_->setStretchLength(seconds);
}

QString AlsaAudioRecorder::LastError() const { return session_ ? session_->error() : lastError_; }

}  // namespace tvn
