#include "core/Numeric.h"

#include "core/TvnError.h"

#include <cmath>
#include <limits>

namespace tvn {

double roundHalfEven(double value) {
    // nearbyint uses the current rounding mode, which is round-to-nearest-even by default.
    return std::nearbyint(value);
}

namespace {
template <class Int>
Int checkedRound(double value) {
    const double r = roundHalfEven(value);
    if (!(r >= static_cast<double>(std::numeric_limits<Int>::min()) &&
          r <= static_cast<double>(std::numeric_limits<Int>::max()))) {
        throw TvnError(err::Overflow, QStringLiteral("Overflow: %1 does not fit in %2 bits")
                                          .arg(value, 0, 'g', 15)
                                          .arg(sizeof(Int) * 8));
    }
    return static_cast<Int>(r);
}
}  // namespace

int16_t toInt16(double value) { return checkedRound<int16_t>(value); }
int32_t toInt32(double value) { return checkedRound<int32_t>(value); }

}  // namespace tvn
