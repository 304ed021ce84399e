#include "media/BasicVideoEngine.h"

#include "core/TvnError.h"
#include "core/Twips.h"

#include <QPalette>
#include <cmath>

namespace tvn {

namespace {
TvnError notAvailable(const char* operation, const QString& subject) {
    return TvnError(err::ComponentNotAvailable,
                    QStringLiteral("%1 is not available: this build has no video engine (%2)")
                        .arg(QLatin1String(operation), subject),
                    QStringLiteral("VideoEngine"));
}
}  // namespace

BasicVideoEngine::BasicVideoEngine(QWidget* parent) : VideoEngine(parent) {
    auto* display = new QWidget(parent);
    display->setAutoFillBackground(true);
    setDisplay(display);
    SetBackColor(0);
}

BasicVideoEngine::~BasicVideoEngine() { delete display_.data(); }

void BasicVideoEngine::setDisplay(QWidget* display) {
    if (display_ == display) return;
    const bool hidden = display_ ? display_->isHidden() : false;
    delete display_.data();
    display_ = display;
    if (display_) {
        display_->setHidden(hidden);
        placeDisplay();
    }
}

void BasicVideoEngine::SetVisible(bool visible) {
    if (display_) display_->setVisible(visible);
}

bool BasicVideoEngine::Visible() { return display_ && !display_->isHidden(); }

void BasicVideoEngine::SetLeft(double twips) { left_ = twips; placeDisplay(); }
void BasicVideoEngine::SetTop(double twips) { top_ = twips; placeDisplay(); }
void BasicVideoEngine::SetWidth(double twips) { width_ = twips; placeDisplay(); }
void BasicVideoEngine::SetHeight(double twips) { height_ = twips; placeDisplay(); }

void BasicVideoEngine::placeDisplay() {
    if (!display_) return;
    const double tx = twipsPerPixelX(display_->parentWidget());
    const double ty = twipsPerPixelY(display_->parentWidget());
    display_->setGeometry(static_cast<int>(std::lround(left_ / tx)), static_cast<int>(std::lround(top_ / ty)),
                          static_cast<int>(std::lround(width_ / tx)), static_cast<int>(std::lround(height_ / ty)));
}

void BasicVideoEngine::SetBackColor(int32_t colour) {
    backColor_ = colour;
    if (!display_) return;
    QPalette palette = display_->palette();
    const auto c = static_cast<uint32_t>(colour);
    palette.setColor(QPalette::Window, QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
    display_->setPalette(palette);
}

void BasicVideoEngine::OpenClip(const QString& fileName) { throw notAvailable("OpenClip", fileName); }

void BasicVideoEngine::SetFrameSize(int32_t width, int32_t height) {
    frameWidth_ = width;
    frameHeight_ = height;
}

void BasicVideoEngine::StartFileCapture(double) { throw notAvailable("StartFileCapture", captureFileName_); }

void BasicVideoEngine::ConvertToWmv(const QString&, const QString&, const QString& outputFile, double, double) {
    throw notAvailable("ConvertToWmv", outputFile);
}

}  // namespace tvn
