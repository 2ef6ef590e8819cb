#pragma once

#include <cstdint>

// The text a real's variant turns into (QString::number(v, 'g', QLocale::FloatingPointShortest):
// the shortest digits that read back as v, the closest of them to v, in fixed notation unless the
// exponent form is shorter), made with integer arithmetic for the magnitudes readings have.
namespace realtext {

// Bytes out must have room for.
constexpr int kMaxSize = 32;

// Writes the text of v to out and returns its length; 0 where v is out of reach (|v| below 1e-5
// or from 1e15 up, zero, not finite, a power of two, a tie between two closest texts), and the
// caller must make the text some other way.
int shortest(double v, char *out);

// The decimal digits of u > 0, ending just before end; returns how many. The 10 bytes before end
// are written (leading zeros before the digits).
int digitsBefore(uint32_t u, char *end);

} // namespace realtext
