// TIFF reader: the first image of a baseline file, uncompressed, LZW (with
// horizontal differencing) or PackBits strips, little- or big-endian.
// Grey and palette images are delivered as 8-bit indices (samples of fewer
// than 8 bits become one byte per pixel), RGB as 24 or 32 bits.  The reader
// keeps no state between calls: open, palette and delivery each parse the
// directory, and delivery frees its strip buffers before it returns.
#define NOMINMAX
#include "fmtio.h"

#include <memory>
#include <new>
#include <vector>

using namespace ferrix;

namespace {

struct TiffEntry {
    uint16_t tag = 0, type = 0;
    uint32_t count = 0;
    uint8_t raw[4] = {};
    bool present = false;
};

struct Tiff {
    BufferedStream* st = nullptr;
    bool big = false;
    uint32_t width = 0, height = 0;
    uint32_t bits = 1, samples = 1, compression = 1, photometric = 0xFFFF, rowsPerStrip = 0xFFFFFFFF,
             planar = 1, predictor = 1;
    bool tiled = false;
    TiffEntry offsets, counts, colorMap, bitsEntry;
    int depth = 0;

    uint16_t U16(const uint8_t* p) const { return big ? Be16(p) : Le16(p); }
    uint32_t U32(const uint8_t* p) const { return big ? Be32(p) : Le32(p); }
};

uint32_t TypeSize(uint16_t type)
{
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;  // BYTE, ASCII, SBYTE, UNDEFINED
    case 3: case 8: return 2;                  // SHORT, SSHORT
    case 4: case 9: case 11: return 4;         // LONG, SLONG, FLOAT
    case 5: case 10: case 12: return 8;        // RATIONAL, SRATIONAL, DOUBLE
    default: return 0;
    }
}

// Value i of an entry of type BYTE, SHORT or LONG; false on a short read or
// another type.
bool Value(const Tiff& t, const TiffEntry& e, uint32_t i, uint32_t& v)
{
    uint32_t size = TypeSize(e.type);
    if (!size || size > 4 || i >= e.count) return false;
    uint8_t b[4];
    if (uint64_t(size) * e.count <= 4) {
        std::memcpy(b, e.raw + i * size, size);
    } else {
        uint64_t at = uint64_t(t.U32(e.raw)) + uint64_t(i) * size;
        if (at > 0x7FFFFFFF || bfSeek(t.st, LONG(at), 0) != LONG(at) || !ReadExact(t.st, b, size)) return false;
    }
    v = size == 1 ? b[0] : size == 2 ? t.U16(b) : t.U32(b);
    return true;
}

// Reads a whole array of BYTE, SHORT or LONG values.
bool Values(const Tiff& t, const TiffEntry& e, uint32_t n, std::vector<uint32_t>& out)
{
    uint32_t size = TypeSize(e.type);
    if (!size || size > 4 || n > e.count) return false;
    out.resize(n);
    if (uint64_t(size) * n <= 4 && uint64_t(size) * e.count <= 4) {
        for (uint32_t i = 0; i < n; ++i) Value(t, e, i, out[i]);
        return true;
    }
    uint32_t at = t.U32(e.raw);
    std::vector<uint8_t> raw(size_t(size) * n);
    if (n && (bfSeek(t.st, LONG(at), 0) != LONG(at) || !ReadExact(t.st, raw.data(), uint32_t(raw.size()))))
        return false;
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* p = raw.data() + size_t(i) * size;
        out[i] = size == 1 ? p[0] : size == 2 ? t.U16(p) : t.U32(p);
    }
    return true;
}

// Parses the header and the first directory and checks the image.
int Parse(BufferedStream* st, Tiff& t)
{
    t.st = st;
    uint8_t h[8];
    if (!st || bfSeek(st, 0, 0) != 0 || !ReadExact(st, h, 8)) return FX_E_READ;
    if (h[0] == 'I' && h[1] == 'I') t.big = false;
    else if (h[0] == 'M' && h[1] == 'M') t.big = true;
    else return FX_E_FORMAT;
    if (t.U16(h + 2) != 42) return FX_E_FORMAT;
    uint32_t ifd = t.U32(h + 4);
    uint8_t c[2];
    if (ifd > 0x7FFFFFF0 || bfSeek(st, LONG(ifd), 0) != LONG(ifd) || !ReadExact(st, c, 2)) return FX_E_READ;
    uint32_t n = t.U16(c);
    std::vector<uint8_t> dir(size_t(n) * 12);
    if (n && !ReadExact(st, dir.data(), uint32_t(dir.size()))) return FX_E_READ;
    for (uint32_t i = 0; i < n; ++i) {
        TiffEntry e;
        const uint8_t* p = dir.data() + size_t(i) * 12;
        e.tag = t.U16(p);
        e.type = t.U16(p + 2);
        e.count = t.U32(p + 4);
        std::memcpy(e.raw, p + 8, 4);
        e.present = true;
        uint32_t v = 0;
        bool scalar = e.count >= 1 && Value(t, e, 0, v);
        switch (e.tag) {
        case 256: if (scalar) t.width = v; break;
        case 257: if (scalar) t.height = v; break;
        case 258: if (scalar) t.bits = v; t.bitsEntry = e; break;
        case 259: if (scalar) t.compression = v; break;
        case 262: if (scalar) t.photometric = v; break;
        case 273: t.offsets = e; break;
        case 277: if (scalar) t.samples = v; break;
        case 278: if (scalar) t.rowsPerStrip = v; break;
        case 279: t.counts = e; break;
        case 284: if (scalar) t.planar = v; break;
        case 322: case 323: case 324: case 325: t.tiled = true; break;  // tile width, length, offsets, counts
        case 317: if (scalar) t.predictor = v; break;
        case 320: t.colorMap = e; break;
        // 254, 282, 283, 290, 291, 296, 301: read, they do not change the pixels
        default: break;
        }
    }
    if (t.width == 0 || t.height == 0 || t.width > 65535 || t.height > 65535) return FX_E_UNSUPPORTED;
    if ((t.photometric == 0 || t.photometric == 1) && t.samples == 1 && t.bits >= 1 && t.bits <= 8) {
        t.depth = 8;
    } else if (t.photometric == 3 && t.samples == 1 && t.bits >= 1 && t.bits <= 8) {
        t.depth = 8;
    } else if (t.photometric == 2 && (t.samples == 3 || t.samples == 4) && t.bits == 8) {
        // Every sample of 8 bits.
        for (uint32_t i = 1; i < t.samples && t.bitsEntry.present; ++i) {
            uint32_t b = 0;
            if (!Value(t, t.bitsEntry, i, b)) return FX_E_READ;
            if (b != 8) return FX_E_UNSUPPORTED;
        }
        t.depth = t.samples == 3 ? 24 : 32;
    } else {
        return FX_E_UNSUPPORTED;
    }
    // Separate planes and tiles are layouts this reader does not take.
    if (t.planar != 1 || t.tiled) return FX_E_UNSUPPORTED;
    if (t.rowsPerStrip == 0 || t.rowsPerStrip > t.height) t.rowsPerStrip = t.height;
    return 0;
}

int PaletteOf(const Tiff& t, RGBQUAD* e, int count)
{
    if (t.depth != 8 || count <= 0) return 0;
    int n = 1 << t.bits;
    if (count > n) count = n;
    if (t.photometric == 3) {
        std::vector<uint32_t> map;
        if (!t.colorMap.present || !Values(t, t.colorMap, uint32_t(3 * n), map)) {
            DefaultPalette(e, count);
            return count;
        }
        for (int i = 0; i < count; ++i) {
            e[i].rgbRed = uint8_t(map[i] >> 8);
            e[i].rgbGreen = uint8_t(map[n + i] >> 8);
            e[i].rgbBlue = uint8_t(map[2 * n + i] >> 8);
            e[i].rgbReserved = 0;
        }
        return count;
    }
    for (int i = 0; i < count; ++i) {
        uint8_t v = uint8_t(i * 255 / (n - 1));
        if (t.photometric == 0) v = uint8_t(255 - v);  // white is zero
        e[i].rgbRed = e[i].rgbGreen = e[i].rgbBlue = v;
        e[i].rgbReserved = 0;
    }
    return count;
}

int WINAPI TiffPalette(ConvertSource* s, RGBQUAD* e, int count)
{
    Tiff t;
    if (Parse(s->stream, t) < 0) return 0;
    return PaletteOf(t, e, count);
}

// ---- strip decoders: each fills at most `size` bytes of out ----

// TIFF LZW: codes of 9 to 12 bits, most significant bit first, 256 clear,
// 257 end of information, the width growing one code early.
// The string table, made once for all the strips of an image.
struct LzwTable {
    uint16_t prefix[4096];
    uint16_t length[4096];
    uint8_t suffix[4096];
    LzwTable()
    {
        for (int i = 0; i < 256; ++i) {
            suffix[i] = uint8_t(i);
            length[i] = 1;
            prefix[i] = 0xFFFF;
        }
    }
};

int DecodeLzw(const uint8_t* in, uint32_t inLen, uint8_t* out, uint32_t size, LzwTable& table)
{
    uint16_t* const prefix = table.prefix;
    uint16_t* const length = table.length;
    uint8_t* const suffix = table.suffix;
    uint32_t o = 0, inPos = 0, acc = 0;
    int have = 0;
    int width = 9, next = 258, prev = -1;
    auto put = [&](int code) -> uint8_t {
        // Writes the string of code at its place, from its last byte back;
        // returns its first byte.
        uint32_t len = length[code];
        uint32_t end = o + len;
        int c = code;
        if (end <= size) {
            uint8_t* d = out + end - 1;
            for (uint32_t k = len; k > 1; --k) {
                *d-- = suffix[c];
                c = prefix[c];
            }
            *d = suffix[c];
        } else {
            for (uint32_t k = len; k-- > 0;) {
                if (o + k < size) out[o + k] = suffix[c];
                if (k) c = prefix[c];
            }
        }
        o = end;
        return suffix[c];
    };
    while (o < size) {
        // Codes are packed from the most significant bit of each byte.
        while (have < width && inPos < inLen) {
            acc = (acc << 8) | in[inPos++];
            have += 8;
        }
        if (have < width) break;  // the data ran out: keep what was decoded
        uint32_t code = (acc >> (have - width)) & ((1u << width) - 1);
        have -= width;
        acc &= (1u << have) - 1;
        if (code == 257) break;
        if (code == 256) {
            width = 9;
            next = 258;
            prev = -1;
            continue;
        }
        if (prev < 0) {
            if (code > 255) return FX_E_FORMAT;
            put(int(code));
            prev = int(code);
            continue;
        }
        if (int(code) > next || next >= 4096) return FX_E_FORMAT;
        uint8_t first;
        if (int(code) == next) {  // the string of prev plus its own first byte
            uint32_t start = o;
            first = put(prev);
            if (o < size) out[o] = first;
            ++o;
            (void)start;
        } else {
            first = put(int(code));
        }
        prefix[next] = uint16_t(prev);
        suffix[next] = first;
        length[next] = uint16_t(length[prev] + 1 > 4096 ? 4096 : length[prev] + 1);
        ++next;
        if (next + 1 >= (1 << width) && width < 12) ++width;
        prev = int(code);
    }
    return 0;
}

int DecodePackBits(const uint8_t* in, uint32_t inLen, uint8_t* out, uint32_t size)
{
    uint32_t i = 0, o = 0;
    while (i < inLen && o < size) {
        uint8_t n = in[i++];
        if (n < 128) {
            uint32_t k = n + 1u;
            if (i + k > inLen) k = inLen - i;
            if (o + k > size) k = size - o;
            std::memcpy(out + o, in + i, k);
            i += n + 1u;
            o += k;
        } else if (n > 128) {
            if (i >= inLen) break;
            uint32_t k = 257u - n;
            if (o + k > size) k = size - o;
            std::memset(out + o, in[i++], k);
            o += k;
        }
    }
    return 0;
}

int WINAPI TiffReadImage(ConvertSource* s, BYTE* pixels, LONG stride)
{
    Tiff t;
    int rc = Parse(s->stream, t);
    if (rc < 0) return rc;
    if (t.compression != 1 && t.compression != 5 && t.compression != 32773) return FX_E_UNSUPPORTED;
    const uint32_t strips = (t.height + t.rowsPerStrip - 1) / t.rowsPerStrip;
    std::vector<uint32_t> offsets, counts;
    if (!t.offsets.present || !Values(t, t.offsets, strips, offsets)) return FX_E_READ;
    const uint32_t fileRowBytes = uint32_t((uint64_t(t.width) * t.bits * t.samples + 7) / 8);
    if (t.counts.present) {
        if (!Values(t, t.counts, strips, counts)) return FX_E_READ;
    } else if (t.compression == 1) {
        counts.assign(strips, fileRowBytes * t.rowsPerStrip);
    } else {
        return FX_E_READ;
    }
    const uint32_t fileLength = uint32_t(bfFileLength(s->stream));
    const bool reverse = (s->readerState & 1) != 0;
    std::vector<uint8_t> packed, strip;
    std::unique_ptr<LzwTable> lzw;
    uint32_t y = 0;
    for (uint32_t k = 0; k < strips && y < t.height; ++k) {
        uint32_t rows = t.height - y < t.rowsPerStrip ? t.height - y : t.rowsPerStrip;
        uint32_t want = fileRowBytes * rows;
        uint32_t n = counts[k];
        if (offsets[k] >= fileLength || n > fileLength - offsets[k]) return FX_E_READ;
        try {
            packed.resize(n);
            strip.assign(want, 0);
        } catch (...) {
            return FX_E_MEMORY;
        }
        if (n && (bfSeek(s->stream, LONG(offsets[k]), 0) != LONG(offsets[k]) || !ReadExact(s->stream, packed.data(), n)))
            return FX_E_READ;
        if (t.compression == 1) {
            std::memcpy(strip.data(), packed.data(), n < want ? n : want);
        } else if (t.compression == 5) {
            if (!lzw) lzw.reset(new (std::nothrow) LzwTable);
            if (!lzw) return FX_E_MEMORY;
            rc = DecodeLzw(packed.data(), n, strip.data(), want, *lzw);
            if (rc < 0) return rc;
        } else {
            DecodePackBits(packed.data(), n, strip.data(), want);
        }
        for (uint32_t r = 0; r < rows; ++r, ++y) {
            uint8_t* src = strip.data() + size_t(r) * fileRowBytes;
            // Rows go top first, or bottom first when the driver asks for reverse order.
            BYTE* dst = pixels + LONG_PTR(reverse ? t.height - 1 - y : y) * stride;
            if (t.predictor == 2 && t.bits == 8)
                for (uint32_t i = t.samples; i < fileRowBytes; ++i) src[i] = uint8_t(src[i] + src[i - t.samples]);
            if (t.depth == 8) {
                if (t.bits == 8) {
                    std::memcpy(dst, src, t.width);
                } else {
                    const uint32_t mask = (1u << t.bits) - 1;
                    for (uint32_t x = 0; x < t.width; ++x) {
                        uint32_t bit = x * t.bits;
                        uint32_t word = (uint32_t(src[bit >> 3]) << 8) | ((bit >> 3) + 1 < fileRowBytes ? src[(bit >> 3) + 1] : 0);
                        dst[x] = uint8_t((word >> (16 - t.bits - (bit & 7))) & mask);
                    }
                }
            } else {  // red, green, blue (, alpha) -> blue, green, red (, alpha)
                const uint32_t pb = t.samples;
                if (pb == 3) {
                    const uint8_t* q = src;
                    for (BYTE *d = dst, *end = dst + size_t(t.width) * 3; d < end; d += 3, q += 3) {
                        const uint8_t r0 = q[0], g0 = q[1], b0 = q[2];
                        d[0] = b0, d[1] = g0, d[2] = r0;
                    }
                    continue;
                }
                for (uint32_t x = 0; x < t.width; ++x) {
                    dst[x * pb] = src[x * pb + 2];
                    dst[x * pb + 1] = src[x * pb + 1];
                    dst[x * pb + 2] = src[x * pb];
                    if (pb == 4) dst[x * pb + 3] = src[x * pb + 3];
                }
            }
        }
    }
    return 0;
}

int WINAPI TiffOpen(ConvertSource* s)
{
    s->priv = nullptr;
    if (!s->stream) return FX_E_NOINPUT;
    Tiff t;
    int rc = Parse(s->stream, t);
    if (rc < 0) return rc;
    s->width = uint16_t(t.width);
    s->height = uint16_t(t.height);
    s->depth = uint16_t(t.depth);
    s->bytesPerRow = uint32_t((uint64_t(t.depth) * t.width + 31) / 8) & ~3u;
    s->rowOrder = 0x600;
    s->formatId = FX_ID_TIFF;
    s->paletteCount = t.depth == 8 ? uint16_t(1u << t.bits) : 0;
    // The whole image can be delivered bottom row first: the memory bitmap
    // it goes into is bottom-up.
    s->readerCaps = FX_CAN_REVERSE;
    s->readRow = nullptr;
    s->readImage = TiffReadImage;
    s->getPalette = TiffPalette;
    s->prepare = nullptr;
    s->close = nullptr;
    return 0;
}

}  // namespace

namespace ferrix {
int TiffDecodeLzw(const uint8_t* in, uint32_t inLen, uint8_t* out, uint32_t size)
{
    std::unique_ptr<LzwTable> table(new (std::nothrow) LzwTable);
    return table ? DecodeLzw(in, inLen, out, size, *table) : FX_E_MEMORY;
}
}  // namespace ferrix

extern "C" int WINAPI TIFEnumReadFormats(int index, FormatRecord* record)
{
    if (index != 0 || !record) return -1;
    FillReadEntry(record, "TIFF Aldus/Microsoft", FX_ID_TIFF, 0xAA, true, TiffOpen, 19, "TIF\0TIFF\0", 10);
    return 0;
}
