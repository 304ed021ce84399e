#pragma once

#include <cstdint>

namespace tvn {

class AudioRecorder;
class Collection;

// Which audio device and line input a lesson's voice is recorded from. The host
// picks them (TVN_SelectAudioDevice, TVN_SelectAudioLineInput) and every lesson
// start applies the choice again.
//
// Failures: the two selection methods have no handler of their own, so a
// recorder error reaches the host unchanged (the selection properties keep
// their new values); apply() swallows every failure, step by step.
class LessonAudioSelection {
public:
    // The host's properties it writes.
    struct Properties {
        Collection& TVN_AudioLineInputs;
        int16_t& TVN_SelectedAudioDevice;
        int16_t& TVN_SelectedLineInput;
    };

    LessonAudioSelection(Properties props, AudioRecorder& audioRecorder) : props_(props), audio_(audioRecorder) {}

    // Selects the chosen device and input on the recorder; with no input chosen,
    // the last microphone-like one.
    void apply();
    void TVN_SelectAudioDevice(int16_t AudioDeviceIndex);
    void TVN_SelectAudioLineInput(int16_t AudioLineInputIndex);

private:
    Properties props_;
    AudioRecorder& audio_;
};

}  // namespace tvn
