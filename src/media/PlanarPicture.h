#pragma once

#include <QImage>
#include <QPoint>
#include <cstdint>
#include <memory>

namespace tvn {

// A picture as a video encoder takes it: 8-bit Y'CbCr 4:2:0 in three planes
// (the chroma planes half the size each way, rounded up), limited range
// (luma 16-235), with the matrix its colours were made with. It is how a
// decoder gives most clips, so a video export that draws on it skips two full
// colour conversions per frame (to RGB for drawing and back for the encoder)
// and, with them, most of its time.
//
// A value type that shares its planes: a copy is cheap and sees the same
// memory. The planes may be the decoder's own (held through owner); anything
// that writes makes a writable copy first (makeWritable).
class PlanarPicture {
public:
    enum class Matrix { Bt601, Bt709 };

    PlanarPicture() = default;
    // Fresh planes (contents undefined), rows 64-byte aligned with a spare row
    // behind each plane, so SIMD code that writes whole blocks stays inside.
    PlanarPicture(int width, int height, Matrix matrix);
    // Someone else's planes, kept alive by owner as long as any copy lives.
    PlanarPicture(int width, int height, Matrix matrix, uint8_t* const planes[3], const int strides[3],
                  std::shared_ptr<void> owner);

    bool isNull() const { return !owner_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int chromaWidth() const { return (width_ + 1) / 2; }
    int chromaHeight() const { return (height_ + 1) / 2; }
    Matrix matrix() const { return matrix_; }
    const uint8_t* plane(int i) const { return planes_[i]; }
    uint8_t* plane(int i) { return planes_[i]; }
    int stride(int i) const { return strides_[i]; }
    // True when no other copy shares the planes (the picture may be written).
    bool isDetached() const { return owner_.use_count() == 1 && ownsPlanes_; }

    // Planes of its own, copied when shared or borrowed.
    void makeWritable();
    // Turned clockwise by whole quarter turns (a portrait phone clip stood upright).
    PlanarPicture turned(int quarterTurns) const;
    // Mirrored left to right, in place (made writable first).
    void mirror();
    // Lays an ARGB32-premultiplied image over the picture with its top-left
    // corner at `at` (parts outside the picture are cut off), in place: the
    // same as blending over the RGB picture and converting back, up to
    // rounding, with the chroma of each 2 x 2 cell from its four pixels'
    // mean. Transparent pixels cost a test each and change nothing.
    void blend(const QImage& premultiplied, QPoint at);

private:
    int width_ = 0;
    int height_ = 0;
    Matrix matrix_ = Matrix::Bt709;
    uint8_t* planes_[3] = {nullptr, nullptr, nullptr};
    int strides_[3] = {0, 0, 0};
    bool ownsPlanes_ = false;
    std::shared_ptr<void> owner_;
};

}  // namespace tvn
