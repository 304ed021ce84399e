#pragma once

#include "control/ControlState.h"

#include <QImage>
#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class Surface;

// The lesson logo drawn over the video: TVN_SetLogo loads the picture into the
// logo surface and keeps its name and place for the renderer. A logo file must
// be a regular file of at most MaxLogoBytes holding an image; a failure's
// source gets "(TVN_SetLogo)->" in front, and leaves no logo.
class LessonLogoLoader {
public:
    // A logo is a picture of a few hundred kilobytes; a file beyond this is refused unread.
    static constexpr qint64 MaxLogoBytes = 64LL * 1024 * 1024;

    // logoPicture: the surface the logo is loaded into.
    LessonLogoLoader(Surface& logoPicture, LessonLogo& lessonLogo) : logoPicture_(logoPicture), lessonLogo_(lessonLogo) {}

    QVariant TVN_SetLogo(const QString& LogoFileName, int32_t Top, int32_t Left);

private:
    static QImage loadLogo(const QString& fileName);

    Surface& logoPicture_;
    LessonLogo& lessonLogo_;
};

}  // namespace tvn
