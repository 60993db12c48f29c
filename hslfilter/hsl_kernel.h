// The vectorisable form of the HSL colour shift, included by one source per
// instruction set.  Branch-free per pixel, so the compiler can run 4 or 8
// pixels per instruction.
//
// Divisions are made in single precision and truncated.  That is exact here:
// every quotient is at most 256 in size and every divisor at most 510, so a
// true quotient k + r/d (0 < r < d) stays at least 1/510 away from the next
// integer while the rounding error of one float division is below
// 256 * 2^-24; an exact integer quotient is represented exactly.
#pragma once
#include <cstddef>
#include <cstdint>
#include "hsl_pixel.h"

namespace hsl {
namespace kernel {

static inline int Min(int a, int b) { return a < b ? a : b; }
static inline int Max(int a, int b) { return a > b ? a : b; }
static inline int Clamp(int v, int lo, int hi) { return Min(Max(v, lo), hi); }

// Hue offset within -360..360, saturation and lightness offsets within
// -512..512 (callers clamp; the results equal the unclamped formulas).
static inline void ShiftBlock(const uint8_t* in, uint8_t* out, int n, int ho, int so, int lo) {
    for (int i = 0; i < n; ++i) {
        const int b = in[3 * i], g = in[3 * i + 1], r = in[3 * i + 2];
        const int mx = Max(r, Max(g, b)), mn = Min(r, Min(g, b));
        const int d = mx - mn, sum = mx + mn;
        const int l0 = sum >> 1;
        const int div = Max(l0 > 127 ? 510 - sum : sum, 1);
        const int s0 = (int)((float)(d << 8) / (float)div);
        // Tie order: red, then green, then blue.
        const bool isR = mx == r, isG = !isR && mx == g;
        const int num = isR ? g - b : (isG ? b - r : r - g);
        const int base = isR ? 360 : (isG ? 120 : 240);
        int h = (int)((float)(num * 60) / (float)Max(d, 1)) + base;  // truncates toward zero
        h = h > 359 ? h - 360 : h;  // grey: num 0, base 360 -> 0
        h += ho;
        h = h < 0 ? h + 360 : (h > 359 ? h - 360 : h);
        const int s = Clamp(s0 + so, 0, 256), l = Clamp(l0 + lo, 0, 255);
        const int sl = (s * l) >> 8;
        const int m2 = l <= 127 ? l + sl : s + l - sl;  // s 0 gives m2 = m1 = l: grey
        const int m1 = 2 * l - m2;
        const float dm = (float)(m2 - m1);
        int aR = h + 120, aB = h - 120;
        aR = aR > 359 ? aR - 360 : aR;
        aB = aB < 0 ? aB + 360 : aB;
        const int kR = Clamp(Min(aR, 240 - aR), 0, 60), kG = Clamp(Min(h, 240 - h), 0, 60),
                  kB = Clamp(Min(aB, 240 - aB), 0, 60);
        out[3 * i] = (uint8_t)Clamp(m1 + (int)(dm * (float)kB / 60.0f), 0, 255);
        out[3 * i + 1] = (uint8_t)Clamp(m1 + (int)(dm * (float)kG / 60.0f), 0, 255);
        out[3 * i + 2] = (uint8_t)Clamp(m1 + (int)(dm * (float)kR / 60.0f), 0, 255);
    }
}

}  // namespace kernel
}  // namespace hsl
