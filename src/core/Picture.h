#pragma once

#include "core/TrelvanExport.h"

#include <QImage>
#include <QMetaType>
#include <memory>

namespace tvn {

// A picture handed between the control, its components and the host: a shared,
// immutable image, or nothing. Copies share the image.
class TVN_EXPORT Picture {
public:
    Picture() = default;
    explicit Picture(QImage image);

    bool isNothing() const { return !image_ || image_->isNull(); }
    const QImage& image() const;
    int width() const { return isNothing() ? 0 : image_->width(); }
    int height() const { return isNothing() ? 0 : image_->height(); }

private:
    std::shared_ptr<const QImage> image_;
};

}  // namespace tvn

Q_DECLARE_METATYPE(tvn::Picture)
