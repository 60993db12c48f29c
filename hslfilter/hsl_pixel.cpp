#include "hsl_pixel.h"

namespace hsl {

namespace {

inline int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

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
    h += o.hue; s += o.saturation; l += o.lightness;
    if (h < 0) h += 360;
    else if (h > 359) h -= 360;
    s = Clamp(s, 0, 256);
    l = Clamp(l, 0, 255);
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

void ShiftPixels(const uint8_t* in, uint8_t* out, size_t pixels, const Offsets& o) {
    ShiftPixelsReference(in, out, pixels, o);
}

}  // namespace hsl
