#include "hsl_pixel.h"

namespace hsl {

namespace {

inline int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Offsets added in 64 bits and clamped: any int32 offset is accepted without
// overflow, with the same result as exact integer addition.
inline int AddClamped(int v, int32_t offset, int lo, int hi) {
    const long long s = (long long)v + offset;
    return s < lo ? lo : (s > hi ? hi : (int)s);
}

// One channel of the HSL to RGB conversion for angle |a|.
inline int Channel(int m1, int m2, int a) {
    if (a < 0) a += 360;
    else if (a > 359) a -= 360;
    int v;
    if (a < 60) v = m1 + (m2 - m1) * a / 60;
    else if (a < 180) v = m2;
    else if (a < 240) v = m1 + (m2 - m1) * (240 - a) / 60;
    else v = m1;
    return Clamp(v, 0, 255);
}

}  // namespace

void ShiftPixelReference(const uint8_t in[3], uint8_t out[3], const Offsets& o) {
    const int b = in[0], g = in[1], r = in[2];
    int mx = r > g ? r : g; mx = mx > b ? mx : b;
    int mn = r < g ? r : g; mn = mn < b ? mn : b;
    const int d = mx - mn;
    int h, s, l;
    if (d == 0) {
        h = 0; s = 0; l = mn;
    } else {
        l = (mx + mn) >> 1;
        int div = mx + mn;
        if (l > 127) div = 510 - (mx + mn);
        s = d * 256 / div;
        if (mx == r) h = (g - b) * 60 / d + 360;
        else if (mx == g) h = (b - r) * 60 / d + 120;
        else h = (r - g) * 60 / d + 240;
        if (h > 359) h -= 360;
    }
    // Hue wraps once; an offset beyond a full turn leaves it out of range,
    // and the channel angles then clamp as the formulas give.
    long long hh = (long long)h + o.hue;
    if (hh < 0) hh += 360;
    else if (hh > 359) hh -= 360;
    if (hh < -100000) hh = -100000;  // far outside: same channel results, no overflow below
    if (hh > 100000) hh = 100000;
    h = (int)hh;
    s = AddClamped(s, o.saturation, 0, 256);
    l = AddClamped(l, o.lightness, 0, 255);
    int R, G, B;
    if (s == 0) {
        R = G = B = l;
    } else {
        const int m2 = l <= 127 ? l + (s * l >> 8) : s + l - (s * l >> 8);
        const int m1 = 2 * l - m2;
        R = Channel(m1, m2, h + 120);
        G = Channel(m1, m2, h);
        B = Channel(m1, m2, h - 120);
    }
    out[0] = (uint8_t)B; out[1] = (uint8_t)G; out[2] = (uint8_t)R;
}

void ShiftPixelsReference(const uint8_t* in, uint8_t* out, size_t pixels, const Offsets& o) {
    for (size_t i = 0; i < pixels; ++i) ShiftPixelReference(in + 3 * i, out + 3 * i, o);
}

// ---------------------------------------------------------------- fast path

void ShiftFastScalar(const uint8_t* in, uint8_t* out, size_t pixels, int ho, int so, int lo);
void ShiftFastSse41(const uint8_t* in, uint8_t* out, size_t pixels, int ho, int so, int lo);
void ShiftFastAvx2(const uint8_t* in, uint8_t* out, size_t pixels, int ho, int so, int lo);

namespace {

bool Have(Kernel k) {
    static const bool avx2 = __builtin_cpu_supports("avx2"), sse41 = __builtin_cpu_supports("sse4.1");
    return k == Kernel::Avx2 ? avx2 : (k == Kernel::Sse41 ? sse41 : true);
}

}  // namespace

bool ShiftPixelsWith(Kernel kernel, const uint8_t* in, uint8_t* out, size_t pixels, const Offsets& o) {
    if (kernel == Kernel::Auto)
        kernel = Have(Kernel::Avx2) ? Kernel::Avx2 : (Have(Kernel::Sse41) ? Kernel::Sse41 : Kernel::Scalar);
    if (!Have(kernel)) return false;
    // Hue offsets beyond one turn leave hues out of 0..359 after the single
    // wrap; those rare cases take the reference.
    if (o.hue < -360 || o.hue > 360) {
        ShiftPixelsReference(in, out, pixels, o);
        return true;
    }
    // Saturation and lightness span at most 257 steps, so clamping their
    // offsets to +-512 changes no result and keeps the sums small.
    const int so = o.saturation < -512 ? -512 : (o.saturation > 512 ? 512 : o.saturation);
    const int lo = o.lightness < -512 ? -512 : (o.lightness > 512 ? 512 : o.lightness);
    switch (kernel) {
    case Kernel::Avx2: ShiftFastAvx2(in, out, pixels, o.hue, so, lo); break;
    case Kernel::Sse41: ShiftFastSse41(in, out, pixels, o.hue, so, lo); break;
    default: ShiftFastScalar(in, out, pixels, o.hue, so, lo); break;
    }
    return true;
}

const char* KernelName(Kernel kernel) {
    if (kernel == Kernel::Auto)
        kernel = Have(Kernel::Avx2) ? Kernel::Avx2 : (Have(Kernel::Sse41) ? Kernel::Sse41 : Kernel::Scalar);
    return kernel == Kernel::Avx2 ? "AVX2" : (kernel == Kernel::Sse41 ? "SSE4.1" : "scalar");
}

void ShiftPixels(const uint8_t* in, uint8_t* out, size_t pixels, const Offsets& o) {
    ShiftPixelsWith(Kernel::Auto, in, out, pixels, o);
}

}  // namespace hsl
