#include "media/BasicVideoEngine.h"

#include "core/TvnError.h"

#include <QPalette>

namespace tvn {

namespace {
TvnError notAvailable(const char* operation, const QString& subject) {
    return TvnError(err::ComponentNotAvailable,
                    QStringLiteral("%1 is not available: this build has no video engine (%2)")
                        .arg(QLatin1String(operation), subject),
                    QStringLiteral("VideoEngine"));
}
}  // namespace

BasicVideoEngine::BasicVideoEngine(QWidget* parent) : PlacedComponent<VideoEngine>(parent) {
    auto* display = new QWidget(parent);
    display->setAutoFillBackground(true);
    setDisplay(display);
    SetBackColor(0);
}

void BasicVideoEngine::SetBackColor(int32_t colour) {
    backColor_ = colour;
    QWidget* display = Display();
    if (!display) return;
    QPalette palette = display->palette();
    const auto c = static_cast<uint32_t>(colour);
    palette.setColor(QPalette::Window, QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
    display->setPalette(palette);
}

void BasicVideoEngine::OpenClip(const QString& fileName) { throw notAvailable("OpenClip", fileName); }

void BasicVideoEngine::SetFrameSize(int32_t width, int32_t height) {
    frameWidth_ = width;
    frameHeight_ = height;
}

void BasicVideoEngine::checkFileCapture(double) { throw notAvailable("StartFileCapture", captureFileName_); }
void BasicVideoEngine::StartFileCapture(double) { throw notAvailable("StartFileCapture", captureFileName_); }

void BasicVideoEngine::ConvertToWmv(const QString&, const QString&, const QString& outputFile, double, double) {
    throw notAvailable("ConvertToWmv", outputFile);
}

}  // namespace tvn
