// Block-transform strip codec and the HKF scanlines over it.  All arithmetic
// is on 16-bit values that wrap around; the planes, the coefficient list and
// the decoder's prefix lookup live in the start-up work area.
#include <windows.h>
#include <wine/debug.h>
#include <stdint.h>
#include <string.h>

#include "codec.h"
#include "m32.h"
#include "startup.h"

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

namespace {

// Places in the work area (bytes).
const size_t kLookupAt = 0;            // 65536 bytes: symbol of each 16-bit prefix
const size_t kCoefAt = 0x10000;        // quantised levels of one segment
const size_t kLumaTopAt = 0x18000;     // 8 rows x 1024 words
const size_t kLumaBottomAt = 0x1C000;
const size_t kColourAAt = 0x20000;
const size_t kColourBAt = 0x24000;
const int kRowWords = 1024;

const BYTE kNoSymbol = 0xFF;           // run 15, size 15: never a symbol

const BYTE kCounts[16] = { 0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 2, 124 };
const BYTE kFirstSymbols[40] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51,
    0x61, 0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1,
    0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0xe1, 0xf1, 0x09, 0x0a,
};

RunLevelCode s_codes[256];
BYTE s_zigzag[64];
BYTE s_diagonal[64];        // anti-diagonal r + c of zig-zag position k
short s_lumaStep[64], s_colourStep[64], s_lumaAdd[64];   // by zig-zag position
WORD s_lumaDivisor[768];
bool s_built;

inline short *plane(size_t at) { return (short *)(g_codecWorkArea + at); }
inline const BYTE *lookup() { return g_codecWorkArea + kLookupAt; }

void build_tables()
{
    // Symbols in code order: the first forty, then per run 1..15 the sizes
    // from the smallest not yet listed up to 10.
    BYTE symbols[162];
    bool listed[256] = {};
    int n = 0;
    for (BYTE s : kFirstSymbols) { symbols[n++] = s; listed[s] = true; }
    for (int run = 1; run <= 15; ++run) {
        int size = 1;
        while (listed[run * 16 + size]) ++size;
        for (; size <= 10; ++size) symbols[n++] = (BYTE)(run * 16 + size);
    }
    // Canonical code: consecutive values within a length, doubled at each
    // longer length.
    memset(s_codes, 0, sizeof s_codes);
    BYTE *table = g_codecWorkArea + kLookupAt;
    memset(table, kNoSymbol, 65536);
    unsigned code = 0;
    int k = 0;
    for (int len = 1; len <= 16; ++len) {
        for (int i = 0; i < kCounts[len - 1]; ++i, ++k, ++code) {
            s_codes[symbols[k]].code = (WORD)code;
            s_codes[symbols[k]].length = (BYTE)len;
            unsigned first = code << (16 - len), span = 1u << (16 - len);
            memset(table + first, symbols[k], span);
        }
        code <<= 1;
    }
    // Zig-zag: odd anti-diagonals run down-left, even ones up-right.
    k = 0;
    for (int d = 0; d <= 14; ++d) {
        int lo = d > 7 ? d - 7 : 0, hi = d < 7 ? d : 7;
        if (d & 1)
            for (int r = lo; r <= hi; ++r) s_zigzag[k++] = (BYTE)(r * 8 + d - r);
        else
            for (int r = hi; r >= lo; --r) s_zigzag[k++] = (BYTE)(r * 8 + d - r);
    }
    for (k = 0; k < 64; ++k) {
        int d = (s_zigzag[k] >> 3) + (s_zigzag[k] & 7);
        s_diagonal[k] = (BYTE)d;
        s_lumaStep[k] = (short)(2 * d + 1);
        s_colourStep[k] = (short)(d + 1);
        s_lumaAdd[k] = 0;
    }
    // Fixed luma amounts the decoder adds on anti-diagonals 9 to 13.
    static const struct { BYTE r, c; signed char add; } adds[] = {
        { 2, 7, 1 }, { 4, 5, 1 }, { 6, 3, 1 }, { 3, 6, -1 }, { 5, 4, -1 }, { 7, 2, -1 },
        { 7, 3, -2 }, { 5, 5, -2 }, { 3, 7, -2 }, { 6, 4, 2 }, { 4, 6, 2 },
        { 4, 7, 3 }, { 6, 5, 3 }, { 5, 6, -3 }, { 7, 4, -3 },
        { 7, 5, -4 }, { 5, 7, -4 }, { 6, 6, 4 },
        { 7, 6, 5 }, { 6, 7, -5 },
    };
    for (auto &a : adds)
        for (k = 0; k < 64; ++k)
            if (s_zigzag[k] == a.r * 8 + a.c) s_lumaAdd[k] = a.add;
    for (int i = 0; i < 768; ++i) s_lumaDivisor[i] = (WORD)((i + 1) / 3);
    s_built = true;
}

inline int bit_size(int magnitude)
{
    int s = 0;
    while (magnitude) { ++s; magnitude >>= 1; }
    return s;
}

// Bits into 16-bit little-endian words, most significant bit first.
struct BitWriter {
    BYTE *out;
    size_t cap, pos;
    uint32_t acc = 0;
    int pending = 0;
    bool overflow = false;

    void word(unsigned w)
    {
        if (pos + 2 > cap) { overflow = true; return; }
        out[pos] = (BYTE)w;
        out[pos + 1] = (BYTE)(w >> 8);
        pos += 2;
    }
    // n (0..16) bits, most significant first.
    void put(unsigned bits, int n)
    {
        acc = (acc << n) | (bits & ((1u << n) - 1));
        pending += n;
        if (pending >= 16) {
            pending -= 16;
            word((acc >> pending) & 0xFFFF);
            acc &= (1u << pending) - 1;
        }
    }
    // Fifteen 1-bits close the segment; only a completed word is kept.
    void finish()
    {
        if (pending) {
            unsigned w = (acc << (16 - pending)) | ((1u << (16 - pending)) - 1);
            word(w & 0xFFFF);
        }
        acc = 0;
        pending = 0;
    }
};

struct BitReader {
    const BYTE *in;
    size_t words;       // whole words available
    size_t pos = 0;     // in bits

    unsigned word(size_t i) const { return i < words ? (unsigned)(in[2 * i] | in[2 * i + 1] << 8) : 0xFFFFu; }
    unsigned peek16() const
    {
        size_t w = pos >> 4;
        unsigned off = pos & 15;
        uint32_t two = (word(w) << 16) | word(w + 1);
        return (two >> (16 - off)) & 0xFFFF;
    }
    // false when the bits read so far pass the input's end
    bool skip(unsigned n)
    {
        pos += n;
        return pos <= words * 16;
    }
    // n (1..16) bits; the next word is touched only when the bits reach
    // into it, so a stream is never read past its last word.
    bool read(unsigned n, unsigned &v)
    {
        unsigned off = pos & 15;
        if (off + n <= 16) v = (word(pos >> 4) >> (16 - off - n)) & ((1u << n) - 1);
        else v = peek16() >> (16 - n);
        return skip(n);
    }
    // The symbol at the current position: looked up first on the bits left
    // in the current word (padded with 1-bits), and on the full 16-bit
    // window only when the code runs into the next word.
    BYTE symbol(const BYTE *table, const RunLevelCode *codes) const
    {
        unsigned off = pos & 15;
        unsigned here = ((word(pos >> 4) << off) & 0xFFFF) | ((1u << off) - 1);
        BYTE sym = table[here];
        if (codes[sym].length && codes[sym].length <= 16 - off) return sym;
        return table[peek16()];
    }
    size_t bytes_used() const { return ((pos + 15) >> 4) * 2; }
};

// Colour transform, padding and 2 x 2 colour averaging of one strip into
// the four planes of the work area.
void load_planes(const DWORD *rows, LONG pitch, LONG width, LONG lines, int paddedWidth)
{
    short *luma[2] = { plane(kLumaTopAt), plane(kLumaBottomAt) };
    short *ca = plane(kColourAAt), *cb = plane(kColourBAt);
    memset(ca, 0, 8 * kRowWords * 2);
    memset(cb, 0, 8 * kRowWords * 2);
    // Colour sums before the shift need more than 16 bits only transiently;
    // four values of at most 8 bits each stay well inside.
    for (int r = 0; r < 16; ++r) {
        const DWORD *src = rows + (size_t)(r < lines ? r : lines - 1) * pitch;
        short *y = luma[r >> 3] + (r & 7) * kRowWords;
        short *a = ca + (r >> 1) * kRowWords, *b = cb + (r >> 1) * kRowWords;
        for (int x = 0; x < paddedWidth; ++x) {
            DWORD p = src[x < width ? x : width - 1];
            int R = (p >> 16) & 0xFF, G = (p >> 8) & 0xFF, B = p & 0xFF;
            int Y = s_lumaDivisor[R + G + B];
            y[x] = (short)Y;
            a[x >> 1] = (short)(a[x >> 1] + (R - Y));
            b[x >> 1] = (short)(b[x >> 1] + (G - Y));
        }
    }
    for (int r = 0; r < 8; ++r)
        for (int x = 0; x < paddedWidth / 2; ++x) {
            ca[r * kRowWords + x] = (short)(ca[r * kRowWords + x] >> 2);
            cb[r * kRowWords + x] = (short)(cb[r * kRowWords + x] >> 2);
        }
}

// One segment: transform and quantise every block, then the DC words and
// the run/level bit stream.
bool encode_segment(const short *rows, int blocks, bool luma, BitWriter &bw)
{
    short *coef = plane(kCoefAt);
    for (int blk = 0; blk < blocks; ++blk) {
        int v[64];
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c) v[r * 8 + c] = rows[r * kRowWords + blk * 8 + c];
        for (int c = 0; c < 8; ++c) codec_wht8(v + c, 8);
        for (int r = 0; r < 8; ++r) codec_wht8(v + r * 8, 1);
        short *q = coef + blk * 64;
        int dc = (short)v[0];
        q[0] = (short)(dc >= 0 ? (dc + 4) >> 3 : (dc - 4) >> 3);
        for (int k = 1; k < 64; ++k) {
            int d = (short)v[s_zigzag[k]];
            int step = luma ? 8 * (2 * s_diagonal[k] + 1) : 8 * (s_diagonal[k] + 1);
            int h = (step + 1) / 2;
            int l = d >= 0 ? (d + h) / step : (d - h) / step;
            // Sizes above 10 have no code; 16-bit input never gets there.
            if (l > 1023) l = 1023;
            if (l < -1023) l = -1023;
            q[k] = (short)l;
        }
    }
    for (int blk = 0; blk < blocks; ++blk) {
        unsigned w = (WORD)coef[blk * 64];
        if (bw.pos + 2 > bw.cap) return false;
        bw.out[bw.pos++] = (BYTE)w;
        bw.out[bw.pos++] = (BYTE)(w >> 8);
    }
    for (int blk = 0; blk < blocks; ++blk) {
        const short *q = coef + blk * 64;
        int run = 0;
        for (int k = 1; k < 64; ++k) {
            int l = q[k];
            if (!l) { ++run; continue; }
            while (run >= 16) {
                bw.put(s_codes[0xF0].code, s_codes[0xF0].length);
                run -= 16;
            }
            int m = l < 0 ? -l : l, size = bit_size(m);
            const RunLevelCode &rc = s_codes[run * 16 + size];
            bw.put(rc.code, rc.length);
            unsigned bits = l > 0 ? (unsigned)l : ((unsigned)m & ((1u << (size - 1)) - 1));
            bw.put(bits, size);
            run = 0;
        }
        bw.put(s_codes[0].code, s_codes[0].length);
        if (bw.overflow) return false;
    }
    bw.finish();
    return !bw.overflow;
}

// Reads one segment into dequantised, transformed rows (eight times the
// plane values).  Returns the bytes it took, 0 when malformed.
size_t decode_segment(const BYTE *in, size_t length, int blocks, bool luma, short *rows)
{
    if ((size_t)blocks * 2 > length) return 0;
    const BYTE *bits = in + blocks * 2;
    BitReader br{ bits, (length - blocks * 2) / 2 };
    const BYTE *table = lookup();
    for (int blk = 0; blk < blocks; ++blk) {
        int v[64] = {};
        v[0] = (short)(in[2 * blk] | in[2 * blk + 1] << 8);
        int k = 1;
        for (;;) {
            BYTE sym = br.symbol(table, s_codes);
            if (sym == kNoSymbol) return 0;
            if (!br.skip(s_codes[sym].length)) return 0;
            if (sym == 0x00) break;
            if (sym == 0xF0) {
                k += 16;
                if (k > 63) return 0;
                continue;
            }
            int run = sym >> 4, size = sym & 15;
            k += run;
            if (k > 63) return 0;
            unsigned b;
            if (size < 1 || size > 10 || !br.read((unsigned)size, b)) return 0;
            int level = (b >> (size - 1)) ? (int)b : -(int)(b + (1u << (size - 1)));
            v[s_zigzag[k]] = level;
            ++k;
        }
        for (k = 1; k < 64; ++k) {
            int pos = s_zigzag[k];
            v[pos] = luma ? v[pos] * s_lumaStep[k] + s_lumaAdd[k] : v[pos] * s_colourStep[k];
        }
        for (int c = 0; c < 8; ++c) codec_wht8(v + c, 8);
        for (int r = 0; r < 8; ++r) codec_wht8(v + r * 8, 1);
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c) rows[r * kRowWords + blk * 8 + c] = (short)v[r * 8 + c];
    }
    return blocks * 2 + br.bytes_used();
}

inline BYTE clamp_byte(int v) { return (BYTE)(v < 0 ? 0 : v > 255 ? 255 : v); }

}  // namespace

extern "C" {

LONG codec_setup(void)
{
    if (!g_codecWorkArea) return 0;
    if (!s_built) build_tables();
    return 1;
}

const RunLevelCode *codec_code_table(void) { return codec_setup() ? s_codes : nullptr; }
const BYTE *codec_zigzag(void) { return codec_setup() ? s_zigzag : nullptr; }

void codec_wht8(int *v, int s)
{
    int x0 = v[0], x1 = v[s], x2 = v[2 * s], x3 = v[3 * s];
    int x4 = v[4 * s], x5 = v[5 * s], x6 = v[6 * s], x7 = v[7 * s];
    int a = x0 + x1, b = x2 + x3, c = x4 + x5, e = x6 + x7;
    int a1 = x0 - x1, b1 = x2 - x3, c1 = x4 - x5, e1 = x6 - x7;
    v[0] = a + b + c + e;
    v[s] = a + b - c - e;
    v[2 * s] = a - b - c + e;
    v[3 * s] = a - b + c - e;
    v[4 * s] = a1 - b1 + c1 - e1;
    v[5 * s] = a1 - b1 - c1 + e1;
    v[6 * s] = a1 + b1 - c1 - e1;
    v[7 * s] = a1 + b1 + c1 + e1;
}

size_t codec_encode_strip(const DWORD *rows, LONG pitch, LONG width, LONG lines, BYTE *out, size_t capacity)
{
    if (!rows || !out || width < 1 || width > CODEC_MAX_WIDTH || lines < 1 || lines > CODEC_STRIP_LINES) return 0;
    if (!codec_setup()) return 0;
    int padded = (width + 15) & ~15;
    int lumaBlocks = padded / 8, colourBlocks = padded / 16;
    load_planes(rows, pitch, width, lines, padded);
    BitWriter bw{ out, capacity < CODEC_STRIP_LIMIT ? capacity : CODEC_STRIP_LIMIT, 0 };
    if (!encode_segment(plane(kLumaTopAt), lumaBlocks, true, bw)) return 0;
    if (!encode_segment(plane(kLumaBottomAt), lumaBlocks, true, bw)) return 0;
    if (!encode_segment(plane(kColourAAt), colourBlocks, false, bw)) return 0;
    if (!encode_segment(plane(kColourBAt), colourBlocks, false, bw)) return 0;
    return bw.pos;
}

size_t codec_decode_strip(const BYTE *in, size_t length, LONG width, DWORD *rows, LONG pitch)
{
    if (!in || !rows || width < 1 || width > CODEC_MAX_WIDTH) return 0;
    if (!codec_setup()) return 0;
    int padded = (width + 15) & ~15;
    int lumaBlocks = padded / 8, colourBlocks = padded / 16;
    size_t at = 0, n;
    const size_t places[4] = { kLumaTopAt, kLumaBottomAt, kColourAAt, kColourBAt };
    for (int seg = 0; seg < 4; ++seg) {
        n = decode_segment(in + at, length - at, seg < 2 ? lumaBlocks : colourBlocks, seg < 2,
                           plane(places[seg]));
        if (!n) return 0;
        at += n;
    }
    const short *ca = plane(kColourAAt), *cb = plane(kColourBAt);
    for (int r = 0; r < 16; ++r) {
        const short *y = plane(r < 8 ? kLumaTopAt : kLumaBottomAt) + (r & 7) * kRowWords;
        const short *a = ca + (r >> 1) * kRowWords, *b = cb + (r >> 1) * kRowWords;
        DWORD *dst = rows + (size_t)r * pitch;
        for (int x = 0; x < width; ++x) {
            short Y = y[x], A = a[x >> 1], B = b[x >> 1];
            short ya = (short)(Y + A), yb = (short)(Y + B);
            int red = (short)(ya + 3) >> 3;
            int green = (short)(yb + 3) >> 3;
            int blue = (short)(3 * Y - ya - yb + 3) >> 3;
            dst[x] = 0xFF000000u | (DWORD)clamp_byte(red) << 16 | (DWORD)clamp_byte(green) << 8 | clamp_byte(blue);
        }
    }
    return at;
}

// ---- HKF scanlines --------------------------------------------------------

static HkfScanlineState *hkf_begin(LONG width, LONG height)
{
    // The work area holds rows of 1024 words: wider strips would run past it.
    if (width < 1 || height < 1 || width > CODEC_MAX_WIDTH) return nullptr;
    if (!codec_setup()) return nullptr;
    auto *s = m32_new<HkfScanlineState>();
    if (!s) return nullptr;
    s->strip = (DWORD *)M32_alloc((DWORD)width * 64);
    if (!s->strip) {
        M32_free(s);
        return nullptr;
    }
    s->width = width;
    s->height = height;
    s->lineBytes = width * 4;
    s->colourBlocks = (width + 15) / 16;
    s->lumaBlocks = 2 * s->colourBlocks;
    return s;
}

static LONG hkf_end(HkfScanlineState *s)
{
    if (!s) return 0;
    M32_free(s->strip);
    M32_free(s);
    return 1;
}

HkfScanlineState *PIXAPI BeginHKFEncodeScanline(LONG width, LONG height)
{
    WINE_TRACE("(%d, %d)\n", width, height);
    return hkf_begin(width, height);
}

LONG PIXAPI HKFEncodeScanline(BYTE *output, const DWORD *line, HkfScanlineState *s)
{
    if (!s) return 0;
    s->result = 0;
    s->second = 0;
    if (!output || !line || s->linesDone >= s->height) return 0;
    LONG row = s->linesDone % CODEC_STRIP_LINES;
    memcpy(s->strip + (size_t)row * s->width, line, (size_t)s->lineBytes);
    s->second = 1;
    s->linesDone++;
    if (row == CODEC_STRIP_LINES - 1 || s->linesDone == s->height) {
        size_t n = codec_encode_strip(s->strip, s->width, s->width, row + 1, output, CODEC_STRIP_LIMIT);
        if (!n) {
            WINE_WARN("strip ending at line %d does not fit\n", s->linesDone);
            return 0;
        }
        s->result = (LONG)n;
    }
    return 1;
}

LONG PIXAPI EndHKFEncodeScanline(HkfScanlineState *s)
{
    WINE_TRACE("(%p)\n", s);
    return hkf_end(s);
}

HkfScanlineState *PIXAPI BeginHKFDecodeScanline(LONG width, LONG height)
{
    WINE_TRACE("(%d, %d)\n", width, height);
    return hkf_begin(width, height);
}

// The input of one strip is read for at most the largest coded strip.
LONG PIXAPI HKFDecodeScanline(DWORD *line, const BYTE *input, HkfScanlineState *s)
{
    if (!s) return 0;
    s->result = 0;
    s->second = 0;
    if (!line || !input || s->linesDone >= s->height) return 0;
    LONG row = s->linesDone % CODEC_STRIP_LINES;
    if (row == 0) {
        size_t n = codec_decode_strip(input, CODEC_STRIP_LIMIT, s->width, s->strip, s->width);
        if (!n) {
            WINE_WARN("malformed strip at line %d\n", s->linesDone);
            return 0;
        }
        s->second = (LONG)n;
    }
    memcpy(line, s->strip + (size_t)row * s->width, (size_t)s->lineBytes);
    s->linesDone++;
    s->result = 1;
    return 1;
}

LONG PIXAPI EndHKFDecodeScanline(HkfScanlineState *s)
{
    WINE_TRACE("(%p)\n", s);
    return hkf_end(s);
}

}  // extern "C"
