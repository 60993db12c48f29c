// The scalar fast path, for processors without SSE4.1.
//
// The integer formulas with every division replaced by a multiply with a
// rounded-up reciprocal: floor(n / d) == (n * ceil(2^32 / d)) >> 32 holds
// exactly while n * d < 2^32, and here n <= 65280, d <= 510.  The HSL to RGB
// step uses, per final hue, each channel's ramp position k in 0..60, so a
// channel is m1 + (m2 - m1) * k / 60 (k = 60 gives m2).
#include <cstddef>
#include <cstdint>

namespace hsl {

namespace {

struct Tables {
    uint64_t recip[511];  // ceil(2^32 / d), d = 1..510 (2^32 for d = 1)
    uint8_t k[360][3];    // ramp position for blue, green, red at hue h
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

inline int DivU(const uint64_t* recip, unsigned n, unsigned d) { return (int)(((uint64_t)n * recip[d]) >> 32); }

}  // namespace

// Hue offset within -360..360, saturation and lightness offsets within -512..512.
void ShiftFastScalar(const uint8_t* in, uint8_t* out, size_t pixels, int ho, int so, int lo) {
    const Tables& t = T();
    const uint64_t* recip = t.recip;
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
