#include "datalog/realtext.h"

#include <QtGlobal>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace realtext {

namespace {

constexpr int kMinPower = -5;
constexpr int kMaxPower = 14;

constexpr double kPowers[] = {1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1e0,  1e1,  1e2,  1e3,  1e4, 1e5,
                              1e6,  1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

constexpr uint64_t pow10u(int n)
{
    uint64_t p = 1;
    for (int i = 0; i < n; ++i)
        p *= 10;
    return p;
}

constexpr uint64_t kPow10[] = {pow10u(0),  pow10u(1),  pow10u(2),  pow10u(3),  pow10u(4),
                               pow10u(5),  pow10u(6),  pow10u(7),  pow10u(8),  pow10u(9),
                               pow10u(10), pow10u(11), pow10u(12), pow10u(13), pow10u(14),
                               pow10u(15), pow10u(16), pow10u(17), pow10u(18), pow10u(19)};

constexpr char kDigitPairs[] = "00010203040506070809101112131415161718192021222324252627282930"
                               "31323334353637383940414243444546474849505152535455565758596061"
                               "62636465666768697071727374757677787980818283848586878889909192"
                               "93949596979899";

// Exactly 8 digits of n < 10^8, two at a time: n scaled by 2^57 / 10^6 holds the first pair
// above bit 57, and each multiplication of the bits below by 100 brings up the next (checked
// for every n).
Q_ALWAYS_INLINE void put8(uint32_t n, char *out)
{
    constexpr uint64_t kScale = (uint64_t(1) << 57) / 1000000 + 1;
    constexpr uint64_t kMask = (uint64_t(1) << 57) - 1;
    uint64_t t = uint64_t(n) * kScale;
    std::memcpy(out, kDigitPairs + 2 * (t >> 57), 2);
    t = (t & kMask) * 100;
    std::memcpy(out + 2, kDigitPairs + 2 * (t >> 57), 2);
    t = (t & kMask) * 100;
    std::memcpy(out + 4, kDigitPairs + 2 * (t >> 57), 2);
    t = (t & kMask) * 100;
    std::memcpy(out + 6, kDigitPairs + 2 * (t >> 57), 2);
}

#ifdef __SIZEOF_INT128__
using u128 = unsigned __int128;

u128 pow10wide(int n)
{
    return n <= 19 ? u128(kPow10[n]) : u128(kPow10[19]) * kPow10[n - 19];
}
#endif

// The 17 places of q < 10^17, leading zeros too, at places[15..32); places has 48 bytes, so
// that copies of 17 bytes may start at any of them.
void putPlaces(uint64_t q, char *places)
{
    places[15] = char('0' + q / kPow10[16]);
    put8(uint32_t(q / kPow10[8] % kPow10[8]), places + 16);
    put8(uint32_t(q % kPow10[8]), places + 24);
}

// The `count` digits of c in fixed notation with `point` digits before the decimal point (may
// be <= 0, down to -4), or in exponent form (two-digit exponent) where that is shorter.
int format(bool negative, uint64_t c, int count, int point, char *out)
{
    char places[48];
    putPlaces(c, places);
    const char *const digits = places + 32 - count;
    int significant = count;
    while (significant > 1 && digits[significant - 1] == '0')
        --significant;
    char *p = out;
    if (negative)
        *p++ = '-';
    const int fixedLength =
            point <= 0 ? 2 - point + significant : (point < significant ? significant + 1 : point);
    const int power = point - 1;
    const int absPower = power < 0 ? -power : power;
    const int scientificLength = significant + (significant > 1 ? 1 : 0) + 4;
    if (scientificLength < fixedLength) {
        *p++ = digits[0];
        if (significant > 1) {
            *p++ = '.';
            std::memcpy(p, digits + 1, 16);
            p += significant - 1;
        }
        *p++ = 'e';
        *p++ = power < 0 ? '-' : '+';
        *p++ = char('0' + absPower / 10);
        *p++ = char('0' + absPower % 10);
    } else if (point <= 0) {
        *p++ = '0';
        *p++ = '.';
        std::memcpy(p, "00000000", 8); // -point <= 4
        p += -point;
        std::memcpy(p, digits, 17);
        p += significant;
    } else if (point >= significant) {
        std::memcpy(p, digits, size_t(significant));
        std::memset(p + significant, '0', size_t(point - significant));
        p += point;
    } else {
        std::memcpy(p, digits, size_t(point));
        p += point;
        *p++ = '.';
        std::memcpy(p, digits + point, size_t(significant - point));
        p += significant - point;
    }
    return int(p - out);
}

} // namespace

int digitsBefore(uint32_t u, char *end)
{
    put8(uint32_t(u % 100000000u), end - 8);
    std::memcpy(end - 10, kDigitPairs + 2 * (u / 100000000u), 2);
#if defined(__GNUC__)
    // floor(log10(u)) is floor(bits * log10(2)) or one less, bits the length of u in binary.
    const int t = ((32 - __builtin_clz(u | 1)) * 1233) >> 12;
    return t + (u >= kPow10[t] ? 1 : 0);
#else
    int count = 1;
    while (count < 10 && u >= kPow10[count])
        ++count;
    return count;
#endif
}

#ifdef __SIZEOF_INT128__

// v = M 2^E exactly. Scaled by 10^-p with p = d - 16 (d the decimal exponent of v), v is
// X = M 10^-p / 2^s (s = -E), with 17 digits before the point, and the reals that read back as v
// lie within half a unit in the last place of it: X -+ 10^-p / 2^(s+1). Every bound fits 128
// bits in the range taken here. The shortest text is the multiple of the largest power of ten
// inside those bounds, and of several such, the one closest to X.
int shortest(double v, char *out)
{
    const double a = std::fabs(v);
    if (!(a >= kPowers[0] && a < kPowers[kMaxPower - kMinPower + 1]))
        return 0;
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const uint64_t fraction = bits & ((uint64_t(1) << 52) - 1);
    if (fraction == 0) // the gap below is half the one above
        return 0;
    const uint64_t m = fraction | (uint64_t(1) << 52);
    const int s = 1075 - int((bits >> 52) & 0x7FF); // v = m / 2^s, s from 3 to 69 here
    // floor(log10(a)) is floor(e2 log10(2)) or one more, for e2 = floor(log2(a)).
    const int e2 = int((bits >> 52) & 0x7FF) - 1023;
    int d = (e2 * 1233) >> 12;
    if (d < kMinPower)
        d = kMinPower;
    if (d < kMaxPower && a >= kPowers[d - kMinPower + 1])
        ++d;
    // The powers of ten below 1 are not exact: d may be one off, which X shows.
    u128 n = u128(m) * pow10wide(16 - d);
    uint64_t x = uint64_t(n >> s);
    if (x < kPow10[16]) {
        if (d == kMinPower)
            return 0;
        --d;
        n = u128(m) * pow10wide(16 - d);
        x = uint64_t(n >> s);
    } else if (x >= kPow10[17]) {
        if (d == kMaxPower)
            return 0;
        ++d;
        n = u128(m) * pow10wide(16 - d);
        x = uint64_t(n >> s);
    }
    if (x < kPow10[16] || x >= kPow10[17])
        return 0;

    // Bounds in units of 2^-(s+1); the bounds themselves read back as v where m is even.
    const u128 half = pow10wide(16 - d);
    const u128 low = (n << 1) - half;
    const u128 high = (n << 1) + half;
    const int shift = s + 1;
    const u128 mask = (u128(1) << shift) - 1;
    const bool inclusive = (m & 1) == 0;
    uint64_t lo = uint64_t(low >> shift) + ((low & mask) != 0 ? 1 : 0);
    uint64_t hi = uint64_t(high >> shift);
    if (!inclusive) {
        if ((low & mask) == 0)
            ++lo;
        if ((high & mask) == 0)
            --hi;
    }
    if (hi >= kPow10[17] || lo > hi)
        return 0;

    // Strip digits while a multiple of the next power of ten stays inside; divisions by the
    // constant 10 are cheap, by a power of ten from a table are not.
    int j = 0;
    uint64_t xq = x;
    while (j < 16) {
        const uint64_t nextLo = lo / 10 + (lo % 10 != 0 ? 1 : 0);
        const uint64_t nextHi = hi / 10;
        if (nextLo > nextHi)
            break;
        lo = nextLo;
        hi = nextHi;
        xq /= 10;
        ++j;
    }
    uint64_t q = lo;
    if (lo != hi) {
        // Of several, the one closest to X / 10^j: round it, exactly: (r + frac) * 2 against t.
        const uint64_t t = kPow10[j];
        const uint64_t r = x - xq * t;
        const u128 frac = n & ((u128(1) << s) - 1);
        const u128 twice = ((u128(r) << s) + frac) << 1;
        const u128 whole = u128(t) << s;
        if (twice == whole)
            return 0;
        q = twice > whole ? xq + 1 : xq;
        if (q < lo || q > hi)
            return 0;
    }
    const int digits = 17 - j;
    if (q >= kPow10[digits] || q < kPow10[digits - 1])
        return 0;
    const int point = d + 1;
    // The common case, a fixed text with digits on both sides of the point (never longer than
    // the exponent form then), for readings' magnitudes, takes copies of fixed size.
    if (point <= 0 || point >= digits || point > 8)
        return format(v < 0, q, digits, point, out);
    char *p = out;
    if (v < 0)
        *p++ = '-';
    char places[48];
    putPlaces(q, places);
    const char *const first = places + 32 - digits;
    std::memcpy(p, first, 16);
    p[point] = '.';
    std::memcpy(p + point + 1, first + point, 16);
    char *const end = p + 1 + digits;
    return int(end - out);
}

#else

int shortest(double, char *)
{
    return 0;
}

#endif

} // namespace realtext
