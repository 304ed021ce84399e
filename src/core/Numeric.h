#pragma once

#include <cstdint>

namespace tvn {

// Nearest whole number, an exact half to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

// Rounded (half to even) and range-checked conversions; out of range or NaN raises Overflow (6).
int16_t toInt16(double value);
int32_t toInt32(double value);

// Booleans handed out as a Long are -1 (True) or 0 (False).
inline int32_t boolToLong(bool value) { return value ? -1 : 0; }

}  // namespace tvn
