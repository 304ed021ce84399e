#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class Trelvan;

// Compression of a finished lesson into one file, with progress and completion events.
class LessonCompressor {
public:
    explicit LessonCompressor(Trelvan& control) : c_(control) {}

    int32_t TVN_CompressLesson(const QString& AviFileName, const QString& WmvFileName);
    void OnCompressionProgress(int32_t progress);
    void OnCompressionDone();

private:
    Trelvan& c_;
};

}  // namespace tvn
