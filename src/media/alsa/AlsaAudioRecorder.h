#pragma once

#include "media/AudioRecorder.h"

#include <memory>
#include <vector>

typedef struct _snd_mixer snd_mixer_t;

namespace tvn {

class AlsaCaptureSession;

// The audio recorder on ALSA.
//
// Devices are the PCMs that ALSA's device hints offer for capture and that can
// really be opened for capture, "null" left out and "default" first, the rest
// in ALSA's order, each named by its description (a duplicate description gets
// its PCM name added). With no device selected the first one records. A
// machine without a capture device lists none; StartRecord there fails with a
// clear error, which a lesson ignores, so the lesson records video only.
//
// Line inputs are the capture sources of the selected device's mixer: its
// elements that can be switched on for capture or have a capture volume
// ("Mic", "Line", "Capture"), then the items of an enumerated input-source
// element. Selecting one switches it on for capture (or picks the item). A
// device without line inputs (no mixer, or none with a capture element)
// records its one source; selecting input 0 there does nothing and succeeds.
//
// StartRecord(channels, rate) writes a 16-bit PCM WAVE file named by
// SetFileName on its own thread (AlsaCaptureSession). Starting again on the
// file this recorder wrote last (a lesson's resume after a stop) appends to it
// and never truncates it. StopRecord always closes the file and never fails: a
// write failure during the recording is logged and readable from LastError().
// SetRecordOption and the three further settings are stored for the host and
// change nothing: the format is the one StartRecord asks for.
class AlsaAudioRecorder : public AudioRecorder {
public:
    AlsaAudioRecorder();
    ~AlsaAudioRecorder() override;

    int32_t GetDeviceCount() override;
    QString GetDeviceName(int32_t index) override;
    void SelectDevice(int32_t index) override;
    int32_t GetLineInputCount() override;
    QString GetLineInputName(int32_t index) override;
    void SelectLineInput(int32_t index) override;

    void SetRecordOption(int32_t code) override { recordOption_ = code; }
    void SetSetting1(int32_t value) override { settings_[0] = value; }
    void SetSetting2(int32_t value) override { settings_[1] = value; }
    void SetSetting3(int32_t value) override { settings_[2] = value; }

    void SetFileName(const QString& fileName) override { fileName_ = fileName; }
    void StartRecord(int32_t channels, int32_t sampleRate) override;
    void StopRecord() override;
    void PauseRecord() override;
    void ResumeRecord() override;
    bool IsPaused() override;
    void SetStretchLength(double seconds) override;

    // The ALSA PCM behind a device index, e.g. "default" or "hw:CARD=PCH,DEV=0".
    QString DevicePcmName(int32_t index) const;
    // The failure of the last recording (a device that failed, a full disk); empty when none.
    QString LastError() const;
    int32_t RecordOption() const { return recordOption_; }

private:
    struct Device {
        QString pcm;
        QString name;
    };
    struct LineInput {
        QString name;
        QString element;
        unsigned elementIndex = 0;
        int enumItem = -1;  // >= 0: an item of an enumerated source element
    };
    struct MixerCloser {
        void operator()(snd_mixer_t* mixer) const;
    };

    void checkDeviceIndex(int32_t index) const;
    void checkLineInputIndex(int32_t index) const;
    void loadDevices();
    void loadLineInputs();
    const Device& recordingDevice() const;

    std::vector<Device> devices_;
    int32_t selectedDevice_ = -1;
    std::unique_ptr<snd_mixer_t, MixerCloser> mixer_;
    std::vector<LineInput> lineInputs_;
    QString fileName_;
    QString lastWrittenFile_;
    std::unique_ptr<AlsaCaptureSession> session_;
    QString lastError_;
    int32_t recordOption_ = 0;
    int32_t settings_[3] = {0, 0, 0};
};

}  // namespace tvn
