#include "media/ffmpeg/ClipFrameSource.h"

namespace tvn {

std::unique_ptr<FrameSource> FrameSource::open(const QString& fileName, const Options& options) {
    return std::make_unique<ClipFrameSource>(fileName, options);
}

ClipFrameSource::ClipFrameSource(const QString& fileName, const Options& options) {
    decoder_.setGrayscale(options.grayscale);
    if (!options.keepFramesAround) decoder_.setCacheBudget(0);
    decoder_.open(fileName);
}

}  // namespace tvn
