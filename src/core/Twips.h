#pragma once

#include "core/TrelvanExport.h"

class QWidget;

namespace tvn {

// Twips per pixel from the logical DPI of the widget's screen (1440 / dpi):
// 15 at 96 dpi. A widget without a screen (or nullptr) uses the primary screen,
// and 15 when there is none at all.
TVN_EXPORT double twipsPerPixelX(const QWidget* widget = nullptr);
TVN_EXPORT double twipsPerPixelY(const QWidget* widget = nullptr);

}  // namespace tvn
