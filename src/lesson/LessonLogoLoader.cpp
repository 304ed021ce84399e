#include "lesson/LessonLogoLoader.h"

#include "core/Picture.h"
#include "core/TvnError.h"
#include "platform/RegularFile.h"
#include "platform/Surface.h"

#include <QBuffer>
#include <QImageReader>

namespace tvn {

QImage LessonLogoLoader::loadLogo(const QString& fileName) {
    // A regular file of a bounded size only: a pipe would block, a device flood.
    QByteArray bytes = RegularFile::read(fileName, MaxLogoBytes, QStringLiteral("Logo file"), QStringLiteral("LoadPicture"));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QImage image = reader.read();
    if (image.isNull())
        throw TvnError(err::InvalidPicture,
                       QStringLiteral("Invalid picture: '%1' is not an image file (%2)").arg(fileName,
                                                                                          reader.errorString()),
                       QStringLiteral("LoadPicture"));
    return image;
}

QVariant LessonLogoLoader::TVN_SetLogo(const QString& LogoFileName, int32_t Top, int32_t Left) {
    return withPrefix("TVN_SetLogo", [&]() -> QVariant {
        // The name is cleared first, so a failed load leaves no logo (and an empty
        // the logo picture); the position keeps its old values until a load succeeds.
        lessonLogo_.logoFileName.clear();
        Surface& logo = logoPicture_;
        logo.setPicture(Picture());
        logo.clear();
        const QImage image = loadLogo(LogoFileName);
        // The logo picture takes the image's own size, so its bitmap and its picture are the logo.
        const double scale = logo.unit() == Surface::Unit::Twips ? logo.twipsPerPixel() : 1.0;
        logo.setSize(image.width() * scale, image.height() * scale);
        logo.setPicture(Picture(image));
        lessonLogo_.logoLeft = Left;
        lessonLogo_.logoTop = Top;
        lessonLogo_.logoFileName = LogoFileName;
        return {};
    });
}

}  // namespace tvn
