// Row converters between pixel depths: one routine per (alpha mode, source
// depth, target depth) cell, generated from small walkers so that no routine
// tests a depth or a mode inside its loop.
#include "depthconv.h"

#include <cstring>

namespace ferrix {

int DepthIndex(int depth)
{
    switch (depth) {
    case 1: return 0;
    case 4: return 1;
    case 8: return 2;
    case 16: return 3;
    case 24: return 4;
    case 32: return 5;
    default: return -1;
    }
}

int AlphaMode(uint32_t flags)
{
    if (flags & 0x80000) return 1;
    if (flags & 0x20000) return 2;
    return 0;
}

int DefaultPaletteSize(int depth, int given)
{
    if (given) return given;
    if (depth == 1) return 2;
    if (depth >= 2 && depth <= 4) return 16;
    if (depth >= 5 && depth <= 8) return 256;
    return 0;
}

namespace {

// ---- source walkers: get() the current pixel, adv(n) move n pixels on ----

struct Src1 {
    static const bool kBits = true;
    const uint8_t* p;
    unsigned bit;  // 0 = most significant
    Src1(ConverterHead* c, const uint8_t* s) : p(s), bit(c->startPhase & 7) {}
    uint32_t get() const { return (*p >> (7 - bit)) & 1; }
    void adv(unsigned n)
    {
        bit += n;
        p += bit >> 3;
        bit &= 7;
    }
};

struct Src4 {
    static const bool kBits = false;
    const uint8_t* base;
    uint32_t pos;  // even = high nibble of byte pos/2, odd = low nibble
    Src4(ConverterHead* c, const uint8_t* s) : base(s), pos(c->startPhase ? 1 : 0) {}
    uint32_t get() const
    {
        uint8_t b = base[pos >> 1];
        return (pos & 1) ? (b & 15u) : (b >> 4);
    }
    void adv(unsigned n) { pos += n; }
};

struct Src8 {
    static const bool kBits = false;
    const uint8_t* p;
    Src8(ConverterHead*, const uint8_t* s) : p(s) {}
    uint32_t get() const { return *p; }
    void adv(unsigned n) { p += n; }
};

struct Src16 {
    static const bool kBits = false;
    const uint8_t* p;
    Src16(ConverterHead*, const uint8_t* s) : p(s) {}
    uint32_t get() const { return p[0] | (uint32_t(p[1]) << 8); }
    void adv(unsigned n) { p += 2 * n; }
};

struct Src24 {
    static const bool kBits = false;
    const uint8_t* p;
    Src24(ConverterHead*, const uint8_t* s) : p(s) {}
    uint32_t get() const { return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16); }
    void adv(unsigned n) { p += 3 * n; }
};

struct Src32 {
    static const bool kBits = false;
    const uint8_t* p;
    Src32(ConverterHead*, const uint8_t* s) : p(s) {}
    uint32_t get() const
    {
        return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    }
    void adv(unsigned n) { p += 4 * n; }
};

// ---- target writers ----

struct Dst1 {
    uint8_t* p;
    uint8_t acc = 0, mask = 0x80;
    explicit Dst1(uint8_t* d) : p(d) {}
    void put(uint32_t v)
    {
        if (v & 1) acc |= mask;
        mask >>= 1;
        if (!mask) {
            *p++ = acc;
            acc = 0;
            mask = 0x80;
        }
    }
    void finish()
    {
        if (mask != 0x80) *p = acc;  // final partial byte
    }
};

struct Dst4 {
    uint8_t* p;
    bool high = true;
    explicit Dst4(uint8_t* d) : p(d) {}
    void put(uint32_t v)
    {
        if (high) {
            *p = uint8_t((v & 15) << 4);  // an odd final pixel leaves the low nibble 0
        } else {
            *p++ |= uint8_t(v & 15);
        }
        high = !high;
    }
    void finish() {}
};

struct Dst8 {
    uint8_t* p;
    explicit Dst8(uint8_t* d) : p(d) {}
    void put(uint32_t v) { *p++ = uint8_t(v); }
    void finish() {}
};

struct Dst16 {
    uint8_t* p;
    explicit Dst16(uint8_t* d) : p(d) {}
    void put(uint32_t v)
    {
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
        p += 2;
    }
    void finish() {}
};

struct Dst24 {
    uint8_t* p;
    explicit Dst24(uint8_t* d) : p(d) {}
    void put(uint32_t v)
    {
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
        p[2] = uint8_t(v >> 16);
        p += 3;
    }
    void finish() {}
};

struct Dst32 {
    uint8_t* p;
    explicit Dst32(uint8_t* d) : p(d) {}
    void put(uint32_t v)
    {
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
        p[2] = uint8_t(v >> 16);
        p[3] = uint8_t(v >> 24);
        p += 4;
    }
    void finish() {}
};

// ---- pixel operations (source value -> target value) ----

inline uint32_t Widen555(uint32_t v)  // 16-bit value -> 0x00RRGGBB
{
    return Widen5(v & 31) | (Widen5((v >> 5) & 31) << 8) | (Widen5((v >> 10) & 31) << 16);
}

inline uint32_t Pack555(uint32_t rgb)  // 0x..RRGGBB -> 15 bits, flag clear
{
    return ((rgb >> 3) & 31) | (((rgb >> 11) & 31) << 5) | (((rgb >> 19) & 31) << 10);
}

inline uint32_t Grey(uint32_t rgb)
{
    return (77 * ((rgb >> 16) & 255) + 151 * ((rgb >> 8) & 255) + 28 * (rgb & 255)) / 256;
}

struct OpCopy { static uint32_t f(ConverterHead*, uint32_t v) { return v; } };
struct OpPal { static uint32_t f(ConverterHead* c, uint32_t v) { return c->palette[v & 255]; } };
struct OpWiden { static uint32_t f(ConverterHead*, uint32_t v) { return Widen555(v); } };
struct OpWidenFlagAlpha {
    static uint32_t f(ConverterHead*, uint32_t v)
    {
        return Widen555(v) | ((v & 0x8000) ? 0u : 0xFF000000u);
    }
};
struct OpWidenByteAlpha {
    static uint32_t f(ConverterHead* c, uint32_t v) { return Widen555(v) | (uint32_t(c->alpha) << 24); }
};
struct Op16FlagFromByte {
    static uint32_t f(ConverterHead* c, uint32_t v) { return (v & 0x7FFF) | (c->alpha < 128 ? 0x8000u : 0u); }
};
struct Op16FlagInvert { static uint32_t f(ConverterHead*, uint32_t v) { return (v ^ 0x8000) & 0xFFFF; } };
struct OpPack { static uint32_t f(ConverterHead*, uint32_t v) { return Pack555(v); } };
struct OpPackAlphaLow {  // flag set when the pixel's alpha < 128
    static uint32_t f(ConverterHead*, uint32_t v) { return Pack555(v) | ((v >> 24) < 128 ? 0x8000u : 0u); }
};
struct OpPackByteLow {
    static uint32_t f(ConverterHead* c, uint32_t v) { return Pack555(v) | (c->alpha < 128 ? 0x8000u : 0u); }
};
struct OpPackAlphaHigh {  // flag set when the pixel's alpha >= 128
    static uint32_t f(ConverterHead*, uint32_t v) { return Pack555(v) | ((v >> 24) >= 128 ? 0x8000u : 0u); }
};
struct OpSetAlpha {
    static uint32_t f(ConverterHead* c, uint32_t v) { return (v & 0xFFFFFF) | (uint32_t(c->alpha) << 24); }
};
struct OpInvertAlpha { static uint32_t f(ConverterHead*, uint32_t v) { return v ^ 0xFF000000u; } };
struct OpDropAlpha { static uint32_t f(ConverterHead*, uint32_t v) { return v & 0xFFFFFF; } };
struct OpGrey16 { static uint32_t f(ConverterHead*, uint32_t v) { return Grey(Widen555(v)); } };
struct OpGrey { static uint32_t f(ConverterHead*, uint32_t v) { return Grey(v); } };
struct OpAlpha16 { static uint32_t f(ConverterHead*, uint32_t v) { return (v & 0x8000) ? 0u : 255u; } };
struct OpAlphaByte { static uint32_t f(ConverterHead* c, uint32_t) { return c->alpha; } };
struct OpAlpha32 { static uint32_t f(ConverterHead*, uint32_t v) { return v >> 24; } };

// ---- the two routine shapes ----

template <class S, class D, class Op>
int Plain(ConverterHead* c, const uint8_t* src, uint8_t* dst, int count)
{
    if (S::kBits) count = int(c->segmentBits);
    if (count < 1) return 3;
    S s(c, src);
    D d(dst);
    for (int i = 0; i < count; ++i) {
        d.put(Op::f(c, s.get()));
        s.adv(1);
    }
    d.finish();
    return 3;
}

template <class S, class D, class Op>
int Resample(ConverterHead* c, const uint8_t* src, uint8_t* dst, int count, const uint8_t* steps)
{
    if (count < 1) return 1;
    S s(c, src);
    D d(dst);
    for (int i = 0; i < count; ++i) {
        s.adv(steps[i]);  // the step comes before the pixel is taken
        d.put(Op::f(c, s.get()));
    }
    d.finish();
    return 1;
}

#define P(S, D, OP) &Plain<S, D, OP>
#define R(S, D, OP) &Resample<S, D, OP>
#define NONE nullptr

}  // namespace
}  // namespace ferrix

using namespace ferrix;

// Plain table.  Rows: source depth 1, 4, 8, 16, 24, 32; columns: target depth
// 1, 4, 8, 16, 24, 32.
extern "C" const FxPlainConv fxPlainTable[3][6][6] = {
    {   // mode 0
        {NONE, NONE, P(Src1, Dst8, OpCopy), P(Src1, Dst16, OpPal), P(Src1, Dst24, OpPal), P(Src1, Dst32, OpPal)},
        {NONE, NONE, P(Src4, Dst8, OpCopy), P(Src4, Dst16, OpPal), P(Src4, Dst24, OpPal), P(Src4, Dst32, OpPal)},
        {NONE, NONE, NONE, P(Src8, Dst16, OpPal), P(Src8, Dst24, OpPal), P(Src8, Dst32, OpPal)},
        {NONE, NONE, NONE, NONE, P(Src16, Dst24, OpWiden), P(Src16, Dst32, OpWidenFlagAlpha)},
        {NONE, NONE, NONE, P(Src24, Dst16, OpPack), NONE, P(Src24, Dst32, OpSetAlpha)},
        {NONE, NONE, NONE, P(Src32, Dst16, OpPackAlphaLow), P(Src32, Dst24, OpDropAlpha), NONE},
    },
    {   // mode 1: alpha from the record's alpha byte
        {NONE, NONE, P(Src1, Dst8, OpCopy), P(Src1, Dst16, OpPal), P(Src1, Dst24, OpPal), P(Src1, Dst32, OpPal)},
        {NONE, NONE, P(Src4, Dst8, OpCopy), P(Src4, Dst16, OpPal), P(Src4, Dst24, OpPal), P(Src4, Dst32, OpPal)},
        {NONE, NONE, NONE, P(Src8, Dst16, OpPal), P(Src8, Dst24, OpPal), P(Src8, Dst32, OpPal)},
        {NONE, NONE, NONE, P(Src16, Dst16, Op16FlagFromByte), P(Src16, Dst24, OpWiden), P(Src16, Dst32, OpWidenByteAlpha)},
        {NONE, NONE, NONE, P(Src24, Dst16, OpPack), NONE, P(Src24, Dst32, OpSetAlpha)},
        {NONE, NONE, NONE, P(Src32, Dst16, OpPackByteLow), P(Src32, Dst24, OpDropAlpha), P(Src32, Dst32, OpSetAlpha)},
    },
    {   // mode 2: inverted alpha
        {NONE, NONE, P(Src1, Dst8, OpCopy), P(Src1, Dst16, OpPal), P(Src1, Dst24, OpPal), P(Src1, Dst32, OpPal)},
        {NONE, NONE, P(Src4, Dst8, OpCopy), P(Src4, Dst16, OpPal), P(Src4, Dst24, OpPal), P(Src4, Dst32, OpPal)},
        {NONE, NONE, NONE, P(Src8, Dst16, OpPal), P(Src8, Dst24, OpPal), P(Src8, Dst32, OpPal)},
        {NONE, NONE, NONE, P(Src16, Dst16, Op16FlagInvert), P(Src16, Dst24, OpWiden), P(Src16, Dst32, OpWidenFlagAlpha)},
        {NONE, NONE, NONE, P(Src24, Dst16, OpPack), NONE, P(Src24, Dst32, OpSetAlpha)},
        {NONE, NONE, NONE, P(Src32, Dst16, OpPackAlphaHigh), P(Src32, Dst24, OpDropAlpha), P(Src32, Dst32, OpInvertAlpha)},
    },
};

// Resampling table: mode 2 uses the mode 1 rules.
#define RES_PALETTE_ROWS \
    {R(Src1, Dst1, OpCopy), NONE, R(Src1, Dst8, OpCopy), R(Src1, Dst16, OpPal), R(Src1, Dst24, OpPal), R(Src1, Dst32, OpPal)}, \
    {NONE, R(Src4, Dst4, OpCopy), R(Src4, Dst8, OpCopy), R(Src4, Dst16, OpPal), R(Src4, Dst24, OpPal), R(Src4, Dst32, OpPal)}, \
    {NONE, NONE, R(Src8, Dst8, OpCopy), R(Src8, Dst16, OpPal), R(Src8, Dst24, OpPal), R(Src8, Dst32, OpPal)}

extern "C" const FxResampleConv fxResampleTable[3][6][6] = {
    {   // mode 0
        RES_PALETTE_ROWS,
        {NONE, NONE, NONE, R(Src16, Dst16, OpCopy), R(Src16, Dst24, OpWiden), R(Src16, Dst32, OpWidenFlagAlpha)},
        {NONE, NONE, NONE, R(Src24, Dst16, OpPack), R(Src24, Dst24, OpCopy), R(Src24, Dst32, OpSetAlpha)},
        {NONE, NONE, NONE, R(Src32, Dst16, OpPackAlphaLow), R(Src32, Dst24, OpDropAlpha), R(Src32, Dst32, OpCopy)},
    },
    {   // mode 1
        RES_PALETTE_ROWS,
        {NONE, NONE, NONE, R(Src16, Dst16, Op16FlagFromByte), R(Src16, Dst24, OpWiden), R(Src16, Dst32, OpWidenByteAlpha)},
        {NONE, NONE, NONE, R(Src24, Dst16, OpPack), R(Src24, Dst24, OpCopy), R(Src24, Dst32, OpSetAlpha)},
        {NONE, NONE, NONE, R(Src32, Dst16, OpPackByteLow), R(Src32, Dst24, OpDropAlpha), R(Src32, Dst32, OpSetAlpha)},
    },
    {   // mode 2
        RES_PALETTE_ROWS,
        {NONE, NONE, NONE, R(Src16, Dst16, Op16FlagFromByte), R(Src16, Dst24, OpWiden), R(Src16, Dst32, OpWidenByteAlpha)},
        {NONE, NONE, NONE, R(Src24, Dst16, OpPack), R(Src24, Dst24, OpCopy), R(Src24, Dst32, OpSetAlpha)},
        {NONE, NONE, NONE, R(Src32, Dst16, OpPackByteLow), R(Src32, Dst24, OpDropAlpha), R(Src32, Dst32, OpSetAlpha)},
    },
};

extern "C" const FxPlainConv fxPlainAlphaTable[5] = {
    NONE, NONE, P(Src16, Dst8, OpAlpha16), P(Src24, Dst8, OpAlphaByte), P(Src32, Dst8, OpAlpha32)};
extern "C" const FxPlainConv fxPlainGreyTable[5] = {
    NONE, NONE, P(Src16, Dst8, OpGrey16), P(Src24, Dst8, OpGrey), P(Src32, Dst8, OpGrey)};
extern "C" const FxResampleConv fxResampleGreyTable[5] = {
    NONE, NONE, R(Src16, Dst8, OpGrey16), R(Src24, Dst8, OpGrey), R(Src32, Dst8, OpGrey)};
extern "C" const FxResampleConv fxResampleAlphaTable[5] = {
    NONE, NONE, R(Src16, Dst8, OpAlpha16), R(Src24, Dst8, OpAlphaByte), R(Src32, Dst8, OpAlpha32)};

