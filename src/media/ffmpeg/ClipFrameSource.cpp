#include "media/ffmpeg/ClipFrameSource.h"

namespace tvn {

std::unique_ptr<FrameSource> FrameSource::open(const QString& fileName, const Options& options) {
    return std::make_unique<ClipFrameSource>(fileName, options);
}

ClipFrameSource::ClipFrameSource(const QString& fileName, const Options& options) : planar_(options.planar && !options.grayscale) {
    decoder_.setGrayscale(options.grayscale);
    if (!options.keepFramesAround) decoder_.setCacheBudget(0);
    decoder_.setDeinterlace(options.deinterlace);
    decoder_.open(fileName);
}

VideoFrame ClipFrameSource::withPlanes(VideoFrame frame) {
    if (!planar_) return frame;
    frame.planar = decoder_.currentPlanar();
    if (frame.planar.isNull()) {
        if (frame.image.isNull()) frame.image = decoder_.current().image;
    } else {
        frame.image = QImage();
    }
    return frame;
}

}  // namespace tvn
