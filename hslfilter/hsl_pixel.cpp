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
//
// The same integer formulas with every division replaced by a multiply with
// a rounded-up 32-bit reciprocal: floor(n / d) == (n * ceil(2^32 / d)) >> 32
// holds exactly while n * d < 2^32, and here n <= 65280, d <= 510.  The HSL
// to RGB step uses, per final hue, a table of each channel's ramp position
// k in 0..60, so a channel is m1 + (m2 - m1) * k / 60 (k = 60 gives m2).

namespace {

struct Tables {
    uint64_t recip[511];      // ceil(2^32 / d), d = 1..510 (2^32 for d = 1)
    uint8_t k[360][3];        // ramp position for blue, green, red at hue h
    Tables() {
        recip[0] = 0;
        for (int d = 1; d < 511; ++d) recip[d] = ((1ULL << 32) + d - 1) / d;
        for (int h = 0; h < 360; ++h) {
            const int angles[3] = {h - 120, h, h + 120};
            for (int c = 0; c < 3; ++c) {
                int a = angles[c];
                if (a < 0) a += 360;
                else if (a > 359) a -= 360;
                int kk;
                if (a < 60) kk = a;
                else if (a < 180) kk = 60;
                else if (a < 240) kk = 240 - a;
                else kk = 0;
                k[h][c] = (uint8_t)kk;
            }
        }
    }
};

const Tables& T() {
    static const Tables t;
    return t;
}

inline int DivU(const uint64_t* recip, unsigned n, unsigned d) {
    return (int)(((uint64_t)n * recip[d]) >> 32);
}

}  // namespace

void ShiftPixels(const uint8_t* in, uint8_t* out, size_t pixels, const Offsets& o) {
    // Hue offsets beyond one turn leave hues out of 0..359 after the single
    // wrap; those rare cases take the reference.
    if (o.hue < -360 || o.hue > 360) {
        ShiftPixelsReference(in, out, pixels, o);
        return;
    }
    const Tables& t = T();
    const uint64_t* recip = t.recip;
    const int ho = o.hue;
    // Clamping the offsets keeps every sum exact: s and l span at most 256.
    const int so = o.saturation < -512 ? -512 : (o.saturation > 512 ? 512 : o.saturation);
    const int lo = o.lightness < -512 ? -512 : (o.lightness > 512 ? 512 : o.lightness);
    const uint64_t r60 = recip[60];
    for (size_t i = 0; i < pixels; ++i, in += 3, out += 3) {
        const int b = in[0], g = in[1], r = in[2];
        const int mx = r > g ? (r > b ? r : b) : (g > b ? g : b);
        const int mn = r < g ? (r < b ? r : b) : (g < b ? g : b);
        const int d = mx - mn;
        int h, s, l;
        if (d == 0) {
            h = 0; s = 0; l = mn;
        } else {
            const int sum = mx + mn;
            l = sum >> 1;
            s = DivU(recip, (unsigned)(d << 8), (unsigned)(l > 127 ? 510 - sum : sum));
            int num, base;
            if (mx == r) { num = g - b; base = 360; }
            else if (mx == g) { num = b - r; base = 120; }
            else { num = r - g; base = 240; }
            const int q = num >= 0 ? DivU(recip, (unsigned)(num * 60), (unsigned)d)
                                   : -DivU(recip, (unsigned)(-num * 60), (unsigned)d);
            h = q + base;
            if (h > 359) h -= 360;
        }
        h += ho;
        if (h < 0) h += 360;
        else if (h > 359) h -= 360;
        s += so;
        s = s < 0 ? 0 : (s > 256 ? 256 : s);
        l += lo;
        l = l < 0 ? 0 : (l > 255 ? 255 : l);
        if (s == 0) {
            out[0] = out[1] = out[2] = (uint8_t)l;
            continue;
        }
        const int sl = (s * l) >> 8;
        const int m2 = l <= 127 ? l + sl : s + l - sl;
        const int m1 = 2 * l - m2;
        const unsigned dm = (unsigned)(m2 - m1);  // never negative
        const uint8_t* k = t.k[h];
        const int v0 = m1 + (int)(((uint64_t)(dm * k[0]) * r60) >> 32);
        const int v1 = m1 + (int)(((uint64_t)(dm * k[1]) * r60) >> 32);
        const int v2 = m1 + (int)(((uint64_t)(dm * k[2]) * r60) >> 32);
        out[0] = (uint8_t)(v0 < 0 ? 0 : (v0 > 255 ? 255 : v0));
        out[1] = (uint8_t)(v1 < 0 ? 0 : (v1 > 255 ? 255 : v1));
        out[2] = (uint8_t)(v2 < 0 ? 0 : (v2 > 255 ? 255 : v2));
    }
}

}  // namespace hsl
