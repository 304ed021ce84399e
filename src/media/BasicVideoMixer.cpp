#include "media/BasicVideoMixer.h"

#include "core/TvnError.h"
#include "core/Twips.h"

#include <cmath>

namespace tvn {

BasicVideoMixer::BasicVideoMixer(QWidget* parent) : VideoMixer(parent) {
    auto* display = new QWidget(parent);
    display->setAutoFillBackground(true);
    QPalette palette = display->palette();
    palette.setColor(QPalette::Window, Qt::black);
    display->setPalette(palette);
    setDisplay(display);
}

BasicVideoMixer::~BasicVideoMixer() { delete display_.data(); }

void BasicVideoMixer::setDisplay(QWidget* display) {
    if (display_ == display) return;
    const bool hidden = display_ ? display_->isHidden() : false;
    delete display_.data();
    display_ = display;
    if (display_) {
        display_->setHidden(hidden);
        placeDisplay();
    }
}

void BasicVideoMixer::SetVisible(bool visible) {
    if (display_) display_->setVisible(visible);
}

bool BasicVideoMixer::Visible() { return display_ && !display_->isHidden(); }

void BasicVideoMixer::SetLeft(double twips) { left_ = twips; placeDisplay(); }
void BasicVideoMixer::SetTop(double twips) { top_ = twips; placeDisplay(); }
void BasicVideoMixer::SetWidth(double twips) { width_ = twips; placeDisplay(); }
void BasicVideoMixer::SetHeight(double twips) { height_ = twips; placeDisplay(); }

void BasicVideoMixer::placeDisplay() {
    if (!display_) return;
    const double tx = twipsPerPixelX(display_->parentWidget());
    const double ty = twipsPerPixelY(display_->parentWidget());
    display_->setGeometry(static_cast<int>(std::lround(left_ / tx)), static_cast<int>(std::lround(top_ / ty)),
                          static_cast<int>(std::lround(width_ / tx)), static_cast<int>(std::lround(height_ / ty)));
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
