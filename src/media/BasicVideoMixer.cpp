#include "media/BasicVideoMixer.h"

#include "core/TvnError.h"

namespace tvn {

BasicVideoMixer::BasicVideoMixer(QWidget* parent) : PlacedComponent<VideoMixer>(parent) {
    auto* display = new QWidget(parent);
    display->setAutoFillBackground(true);
    QPalette palette = display->palette();
    palette.setColor(QPalette::Window, Qt::black);
    display->setPalette(palette);
    setDisplay(display);
}

int32_t BasicVideoMixer::AddSource(const QString& fileName, int32_t) {
    throw TvnError(err::ComponentNotAvailable,
                   QStringLiteral("AddSource is not available: this build has no video mixer ('%1')").arg(fileName),
                   QStringLiteral("VideoMixer"));
}

void BasicVideoMixer::throwUnknownSource(int32_t source, const char* operation) {
    throw TvnError(err::MixerSourceUnknown,
                   QStringLiteral("%1: the mixer has no source %2").arg(QLatin1String(operation)).arg(source),
                   QStringLiteral("VideoMixer"));
}

void BasicVideoMixer::RemoveSource(int32_t source) { throwUnknownSource(source, "RemoveSource"); }
void BasicVideoMixer::GetSourceSize(int32_t source, int32_t&, int32_t&) { throwUnknownSource(source, "GetSourceSize"); }
double BasicVideoMixer::GetSourceDuration(int32_t source) { throwUnknownSource(source, "GetSourceDuration"); }
int32_t BasicVideoMixer::GetSourceFrameCount(int32_t source) { throwUnknownSource(source, "GetSourceFrameCount"); }
void BasicVideoMixer::SetSourceDeinterlace(int32_t source, int32_t) { throwUnknownSource(source, "SetSourceDeinterlace"); }
void BasicVideoMixer::SetSourceAlpha(int32_t source, float) { throwUnknownSource(source, "SetSourceAlpha"); }
void BasicVideoMixer::SetSourceRect(int32_t source, float, float, float, float) { throwUnknownSource(source, "SetSourceRect"); }
void BasicVideoMixer::SeekSource(int32_t source, double) { throwUnknownSource(source, "SeekSource"); }
void BasicVideoMixer::PlaySource(int32_t source) { throwUnknownSource(source, "PlaySource"); }
void BasicVideoMixer::PauseSource(int32_t source) { throwUnknownSource(source, "PauseSource"); }

}  // namespace tvn
