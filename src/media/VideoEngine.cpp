#include "media/VideoEngine.h"

#include "core/BitmapTable.h"
#include "core/TvnError.h"

namespace tvn {

void VideoEngine::SetOverlayBitmap(int32_t slot, int32_t bitmapHandle, int32_t x, int32_t y, int32_t width,
                                   int32_t height, int32_t& keyColour, int32_t alpha) {
    const QImage bitmap = bitmapHandle == 0 ? QImage() : BitmapTable::instance().image(bitmapHandle);
    if (bitmapHandle != 0 && bitmap.isNull())
        throw TvnError(err::InvalidPicture, QStringLiteral("SetOverlayBitmap: %1 is not a bitmap handle").arg(bitmapHandle),
                       QStringLiteral("VideoEngine"));
    setOverlayImage(slot, bitmap, x, y, width, height, keyColour, alpha);
}

double VideoEngine::seekApproximate(double ms) {
    Seek(ms);
    return GetPosition();
}

void VideoEngine::AddFrame(int32_t bitmapHandle) { addFrame(BitmapTable::instance().image(bitmapHandle)); }

}  // namespace tvn
