#pragma once

#include "core/TrelvanExport.h"

#include <QImage>
#include <QMutex>
#include <cstdint>
#include <unordered_map>

namespace tvn {

// Process-wide table of 32-bit bitmap handles, the currency in which bitmaps
// cross the host boundary. A handle stays valid until it is released; 0 is
// never a handle. Images are implicitly shared, so lookups are cheap copies.
// Only host-facing handles live here (TVN_GetFrameAsBitmap, a bitmap the host
// overlays, the annotation layer named by TVN_OverlayImage); the control's
// other pictures pass to the components as QImage.
class TVN_EXPORT BitmapTable {
public:
    static BitmapTable& instance();

    int32_t add(const QImage& image);
    // Replaces the image behind an existing handle (a surface keeps one handle
    // for its bitmap while the bitmap changes). Returns false for an unknown handle.
    bool update(int32_t handle, const QImage& image);
    // The image behind the handle; a null image for 0 or an unknown handle.
    QImage image(int32_t handle) const;
    bool contains(int32_t handle) const;
    void release(int32_t handle);
    size_t size() const;

private:
    BitmapTable() = default;

    mutable QMutex mutex_;  // guards images_ and next_
    std::unordered_map<int32_t, QImage> images_;
    int32_t next_ = 0x1000;
};

}  // namespace tvn
