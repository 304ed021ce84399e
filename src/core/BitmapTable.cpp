#include "core/BitmapTable.h"

namespace tvn {

BitmapTable& BitmapTable::instance() {
    static BitmapTable table;
    return table;
}

int32_t BitmapTable::add(const QImage& image) {
    QMutexLocker lock(&mutex_);
    do {
        next_ = next_ >= 0x7ffffff0 ? 0x1000 : next_ + 4;
    } while (images_.count(next_));
    images_.emplace(next_, image);
    return next_;
}

bool BitmapTable::update(int32_t handle, const QImage& image) {
    QMutexLocker lock(&mutex_);
    auto it = images_.find(handle);
    if (it == images_.end()) return false;
    it->second = image;
    return true;
}

QImage BitmapTable::image(int32_t handle) const {
    QMutexLocker lock(&mutex_);
    auto it = images_.find(handle);
    return it == images_.end() ? QImage() : it->second;
}

bool BitmapTable::contains(int32_t handle) const {
    QMutexLocker lock(&mutex_);
    return images_.count(handle) != 0;
}

void BitmapTable::release(int32_t handle) {
    QMutexLocker lock(&mutex_);
    images_.erase(handle);
}

size_t BitmapTable::size() const {
    QMutexLocker lock(&mutex_);
    return images_.size();
}

}  // namespace tvn
