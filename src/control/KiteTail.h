#pragma once

#include "core/TrelvanExport.h"

#include <QMetaType>
#include <cstdint>

namespace tvn {

// One point of the hand-built tracking trail: the frame it belongs to, its style
// and its position (twips on the annotation surface). 20 bytes, fields in this order.
struct TVN_EXPORT KiteTail {
    int32_t frameNum = 0;
    int32_t color = 0;
    int32_t width = 0;
    int32_t x = 0;
    int32_t y = 0;
};
static_assert(sizeof(KiteTail) == 20, "KiteTail is five 32-bit fields");

}  // namespace tvn

Q_DECLARE_METATYPE(tvn::KiteTail)
