#include "lesson/LessonAudioSelection.h"

#include "core/Collection.h"
#include "core/TvnError.h"
#include "media/AudioRecorder.h"

namespace tvn {

namespace {

// Recorder option code set after the input selection.
constexpr int32_t RecordOptionAfterSelection = 5;

}  // namespace

void LessonAudioSelection::apply() {
    // Every failure in here is swallowed: a failing step is skipped and the next runs.
    if (props_.TVN_SelectedAudioDevice != -1)
        ignoringErrors([&] { audio_.SelectDevice(props_.TVN_SelectedAudioDevice); });
    if (props_.TVN_SelectedLineInput != -1) {
        ignoringErrors([&] { audio_.SelectLineInput(props_.TVN_SelectedLineInput); });
    } else {
        // No input chosen by the host: every microphone-like input is selected in
        // turn, so the last one stays; with none the recorder keeps its own choice.
        int32_t inputs = 0;
        ignoringErrors([&] { inputs = audio_.GetLineInputCount(); });
        for (int32_t k = 1; k <= inputs; ++k) {
            ignoringErrors([&] {
                if (audio_.GetLineInputName(k - 1).left(3).toLower() == QLatin1String("mic"))
                    audio_.SelectLineInput(k - 1);
            });
        }
    }
    ignoringErrors([&] { audio_.SetRecordOption(RecordOptionAfterSelection); });
}

void LessonAudioSelection::TVN_SelectAudioDevice(int16_t AudioDeviceIndex) {
    // No handler; the two selection properties hold their new values even when
    // the recorder then fails.
    props_.TVN_SelectedAudioDevice = AudioDeviceIndex;
    props_.TVN_SelectedLineInput = -1;
    audio_.SelectDevice(AudioDeviceIndex);
    audio_.SelectLineInput(0);
    for (int32_t k = props_.TVN_AudioLineInputs.Count(); k > 0; --k) props_.TVN_AudioLineInputs.Remove(1);
    const int32_t inputs = audio_.GetLineInputCount();
    for (int32_t k = 1; k <= inputs; ++k) props_.TVN_AudioLineInputs.Add(audio_.GetLineInputName(k - 1));
}

void LessonAudioSelection::TVN_SelectAudioLineInput(int16_t AudioLineInputIndex) {
    // The index goes to the recorder as given, with no range test and no handler.
    props_.TVN_SelectedLineInput = AudioLineInputIndex;
    audio_.SelectLineInput(AudioLineInputIndex);
}

}  // namespace tvn
