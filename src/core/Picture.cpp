#include "core/Picture.h"

namespace tvn {

Picture::Picture(QImage image) {
    if (!image.isNull()) image_ = std::make_shared<const QImage>(std::move(image));
}

const QImage& Picture::image() const {
    static const QImage empty;
    return image_ ? *image_ : empty;
}

}  // namespace tvn
