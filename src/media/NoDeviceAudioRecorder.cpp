#include "media/NoDeviceAudioRecorder.h"

#include "core/TvnError.h"

namespace tvn {

namespace {
[[noreturn]] void noSuch(const char* what, int32_t index) {
    throw TvnError(err::SubscriptOutOfRange,
                   QStringLiteral("There is no audio %1 %2: this machine has no capture device")
                       .arg(QLatin1String(what))
                       .arg(index),
                   QStringLiteral("AudioRecorder"));
}
}  // namespace

QString NoDeviceAudioRecorder::GetDeviceName(int32_t index) { noSuch("device", index); }
void NoDeviceAudioRecorder::SelectDevice(int32_t index) { noSuch("device", index); }
QString NoDeviceAudioRecorder::GetLineInputName(int32_t index) { noSuch("line input", index); }

}  // namespace tvn
