#include "media/PlanarPicture.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace tvn {

namespace {

constexpr int kRowAlign = 64;

int alignedStride(int width) { return (width + kRowAlign - 1) / kRowAlign * kRowAlign; }

// One block for the three planes, each with a spare row.
struct Planes {
    uint8_t* data = nullptr;
    explicit Planes(size_t bytes) : data(static_cast<uint8_t*>(std::aligned_alloc(kRowAlign, bytes))) {
        if (!data) throw std::bad_alloc();
    }
    ~Planes() { std::free(data); }
    Planes(const Planes&) = delete;
    Planes& operator=(const Planes&) = delete;
};

// Limited-range Y'CbCr from premultiplied R'G'B' (0-255 each), in 1/65536:
// Y' = 16 + 219/255 (Kr R + Kg G + Kb B), Cb = 128 + 112/255 (B - Y)/(1 - Kb),
// Cr = 128 + 112/255 (R - Y)/(1 - Kr), with Y the unscaled luma.
struct Coefficients {
    int yr, yg, yb, ur, ug, ub, vr, vg, vb;
};

constexpr Coefficients coefficientsFrom(double kr, double kb) {
    const double kg = 1.0 - kr - kb;
    const double s = 65536.0 / 255.0;
    const auto r = [](double v) { return int(v < 0 ? v - 0.5 : v + 0.5); };
    return {r(219 * kr * s),
            r(219 * kg * s),
            r(219 * kb * s),
            r(-112 * kr / (1 - kb) * s),
            r(-112 * kg / (1 - kb) * s),
            r(112 * s),
            r(112 * s),
            r(-112 * kg / (1 - kr) * s),
            r(-112 * kb / (1 - kr) * s)};
}

constexpr Coefficients kBt601 = coefficientsFrom(0.299, 0.114);
constexpr Coefficients kBt709 = coefficientsFrom(0.2126, 0.0722);

uint8_t clamped(int v) { return uint8_t(std::clamp(v, 0, 255)); }

}  // namespace

PlanarPicture::PlanarPicture(int width, int height, Matrix matrix)
    : width_(std::max(0, width)), height_(std::max(0, height)), matrix_(matrix), ownsPlanes_(true) {
    if (width_ == 0 || height_ == 0) {
        width_ = height_ = 0;
        ownsPlanes_ = false;
        return;
    }
    strides_[0] = alignedStride(width_);
    strides_[1] = strides_[2] = alignedStride(chromaWidth());
    const size_t luma = size_t(strides_[0]) * size_t(height_ + 1);
    const size_t chroma = size_t(strides_[1]) * size_t(chromaHeight() + 1);
    auto block = std::make_shared<Planes>(luma + 2 * chroma);
    planes_[0] = block->data;
    planes_[1] = block->data + luma;
    planes_[2] = block->data + luma + chroma;
    owner_ = std::move(block);
}

PlanarPicture::PlanarPicture(int width, int height, Matrix matrix, uint8_t* const planes[3], const int strides[3],
                             std::shared_ptr<void> owner)
    : width_(width), height_(height), matrix_(matrix), owner_(std::move(owner)) {
    for (int i = 0; i < 3; ++i) {
        planes_[i] = planes[i];
        strides_[i] = strides[i];
    }
}

void PlanarPicture::makeWritable() {
    if (isNull() || isDetached()) return;
    PlanarPicture own(width_, height_, matrix_);
    for (int i = 0; i < 3; ++i) {
        const int w = i == 0 ? width_ : chromaWidth(), h = i == 0 ? height_ : chromaHeight();
        for (int y = 0; y < h; ++y)
            std::memcpy(own.planes_[i] + size_t(y) * own.strides_[i], planes_[i] + size_t(y) * strides_[i], size_t(w));
    }
    *this = std::move(own);
}

PlanarPicture PlanarPicture::turned(int quarterTurns) const {
    const int turns = ((quarterTurns % 4) + 4) % 4;
    if (isNull() || turns == 0) return *this;
    const bool sideways = turns % 2 != 0;
    PlanarPicture out(sideways ? height_ : width_, sideways ? width_ : height_, matrix_);
    for (int i = 0; i < 3; ++i) {
        const int w = i == 0 ? width_ : chromaWidth(), h = i == 0 ? height_ : chromaHeight();
        const uint8_t* src = planes_[i];
        const int ss = strides_[i];
        uint8_t* dst = out.planes_[i];
        const int ds = out.strides_[i];
        // Destination (x, y) from source (column, row): clockwise, a quarter turn
        // takes (c, r) to (h-1-r, c); a half turn to (w-1-c, h-1-r).
        for (int r = 0; r < h; ++r) {
            const uint8_t* line = src + size_t(r) * ss;
            for (int c = 0; c < w; ++c) {
                switch (turns) {
                case 1: dst[size_t(c) * ds + (h - 1 - r)] = line[c]; break;
                case 2: dst[size_t(h - 1 - r) * ds + (w - 1 - c)] = line[c]; break;
                default: dst[size_t(w - 1 - c) * ds + r] = line[c]; break;
                }
            }
        }
    }
    return out;
}

void PlanarPicture::mirror() {
    if (isNull()) return;
    makeWritable();
    for (int i = 0; i < 3; ++i) {
        const int w = i == 0 ? width_ : chromaWidth(), h = i == 0 ? height_ : chromaHeight();
        for (int y = 0; y < h; ++y) {
            uint8_t* line = planes_[i] + size_t(y) * strides_[i];
            std::reverse(line, line + w);
        }
    }
}

void PlanarPicture::blend(const QImage& given, QPoint at) {
    if (isNull() || given.isNull()) return;
    const QImage image = given.format() == QImage::Format_ARGB32_Premultiplied
                             ? given
                             : given.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // The part of the picture the image covers, in picture pixels.
    const int left = std::max(0, at.x()), top = std::max(0, at.y());
    const int right = std::min(width_, at.x() + image.width()), bottom = std::min(height_, at.y() + image.height());
    if (left >= right || top >= bottom) return;
    makeWritable();
    const Coefficients& k = matrix_ == Matrix::Bt601 ? kBt601 : kBt709;
    const auto pixel = [&](int x, int y) {
        return reinterpret_cast<const QRgb*>(image.constScanLine(y - at.y()))[x - at.x()];
    };
    for (int y = top; y < bottom; ++y) {
        uint8_t* luma = planes_[0] + size_t(y) * strides_[0];
        for (int x = left; x < right; ++x) {
            const QRgb p = pixel(x, y);
            const int a = qAlpha(p);
            if (a == 0) continue;
            const int blended = ((luma[x] * (255 - a) + 16 * a) * 257 + k.yr * qRed(p) + k.yg * qGreen(p) +
                                 k.yb * qBlue(p) + 32768) >> 16;
            luma[x] = clamped(blended);
        }
    }
    // Each chroma cell covers the luma pixels (2cx, 2cy) to (2cx+1, 2cy+1);
    // those outside the image count as transparent.
    for (int cy = top / 2; cy <= (bottom - 1) / 2; ++cy) {
        uint8_t* cb = planes_[1] + size_t(cy) * strides_[1];
        uint8_t* cr = planes_[2] + size_t(cy) * strides_[2];
        for (int cx = left / 2; cx <= (right - 1) / 2; ++cx) {
            int sa = 0, sr = 0, sg = 0, sb = 0;
            for (int y = std::max(top, 2 * cy); y < std::min(bottom, 2 * cy + 2); ++y)
                for (int x = std::max(left, 2 * cx); x < std::min(right, 2 * cx + 2); ++x) {
                    const QRgb p = pixel(x, y);
                    sa += qAlpha(p);
                    sr += qRed(p);
                    sg += qGreen(p);
                    sb += qBlue(p);
                }
            if (sa == 0) continue;
            // Over four pixels: the cell keeps (1020 - sa) / 1020 of itself.
            const auto mix = [&](uint8_t kept, int cr_, int cg_, int cb_) {
                const int64_t base = (int64_t(kept) * (1020 - sa) + 128 * int64_t(sa)) * 65536 / 1020;
                return clamped(int((base + (int64_t(cr_) * sr + int64_t(cg_) * sg + int64_t(cb_) * sb) / 4 + 32768) >> 16));
            };
            cb[cx] = mix(cb[cx], k.ur, k.ug, k.ub);
            cr[cx] = mix(cr[cx], k.vr, k.vg, k.vb);
        }
    }
}

}  // namespace tvn
