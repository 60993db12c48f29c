// GIF reader (87a and 89a): decodes the first image of a file straight into
// the 8-bit image buffer of the logical screen's size, rows counted from the
// bottom of the buffer.  The palette is the first image's local colour table
// when it has one, else the global table; the transparent index of the
// graphic control before it is reported in ConvertSource.transparent.
#include <new>

#include "fmtio.h"

using namespace ferrix;

namespace {

struct GifReader {
    int screenWidth = 0, screenHeight = 0;
    int colourBits = 0;
    int paletteSize = 0;
    bool globalTable = false;
    uint8_t background = 0;
    RGBQUAD palette[256];
    // LZW tables
    uint16_t* prefix = nullptr;
    uint16_t* length = nullptr;  // bytes of each table entry's string
    uint8_t* suffix = nullptr;
    uint8_t* stack = nullptr;
};

const uint32_t kMaxScreenPixels = 4096u * 4096u;

GifReader* State(ConvertSource* s) { return static_cast<GifReader*>(s->priv); }

// What precedes the first image's data: its local colour table (entries, 0
// when it has none, read into `table` when given) and the transparent index
// of the last graphic control before it (-1 none).
struct FirstImage {
    int localEntries = 0;
    int transparent = -1;
};

// Walks the blocks after the global table of a file whose header is `h`.
// False when the file ends inside a block; a file without an image answers
// true with nothing found.
bool FindFirstImage(BufferedStream* st, const uint8_t h[14], FirstImage* out, RGBQUAD* table)
{
    const LONG start = 13 + ((h[10] & 0x80) ? 3 << ((h[10] & 7) + 1) : 0);
    if (bfSeek(st, start, 0) != start) return false;
    ByteIn in(st);
    for (;;) {
        int b = in.Get();
        if (b < 0) return true;
        if (b == 0x21) {
            const int label = in.Get();
            if (label < 0) return false;
            bool first = true;
            for (;;) {
                int n = in.Get();
                if (n < 0) return false;
                if (n == 0) break;
                uint8_t data[255];
                if (!in.Read(data, uint32_t(n))) return false;
                // Graphic control: flags, delay (u16), transparent index.
                if (label == 0xF9 && first && n >= 4) out->transparent = (data[0] & 1) ? data[3] : -1;
                first = false;
            }
            continue;
        }
        if (b != 0x2C) return true;
        uint8_t d[9];
        if (!in.Read(d, 9)) return false;
        if (!(d[8] & 0x80)) return true;
        const int n = 1 << ((d[8] & 7) + 1);
        uint8_t raw[768];
        if (!in.Read(raw, uint32_t(3 * n))) return false;
        out->localEntries = n;
        if (table)
            for (int i = 0; i < n; ++i) table[i] = RGBQUAD{raw[3 * i + 2], raw[3 * i + 1], raw[3 * i], 0};
        return true;
    }
}

int ParseHeader(BufferedStream* st, uint8_t h[14])
{
    if (!st || bfSeek(st, 0, 0) != 0 || !ReadExact(st, h, 14)) return FX_E_READ;
    if (std::memcmp(h, "GIF87a", 6) != 0 && std::memcmp(h, "GIF89a", 6) != 0)
        return std::memcmp(h, "GIF", 3) == 0 ? FX_E_UNSUPPORTED : FX_E_FORMAT;
    if (Le16(h + 6) == 0 || Le16(h + 8) == 0) return FX_E_UNSUPPORTED;
    // The whole logical screen is allocated: a damaged header must not make
    // it larger than any real picture (4096 x 4096 pixels).
    if (uint32_t(Le16(h + 6)) * Le16(h + 8) > kMaxScreenPixels) return FX_E_UNSUPPORTED;
    return 0;
}

int WINAPI GifClose(ConvertSource* s)
{
    GifReader* r = State(s);
    if (r) {
        delete[] r->prefix;
        delete[] r->length;
        delete[] r->suffix;
        delete[] r->stack;
        delete r;
    }
    s->priv = nullptr;
    return 0;
}

int WINAPI GifPrepare(ConvertSource* s)
{
    if (State(s)) return FX_E_MEMORY;  // a second prepare without close
    GifReader* r = new (std::nothrow) GifReader;
    if (!r) return FX_E_MEMORY;
    s->priv = r;
    uint8_t h[14];
    int rc = ParseHeader(s->stream, h);
    if (rc < 0) {
        GifClose(s);
        return rc;
    }
    r->screenWidth = Le16(h + 6);
    r->screenHeight = Le16(h + 8);
    r->colourBits = (h[10] & 7) + 1;
    r->paletteSize = 1 << r->colourBits;
    r->globalTable = (h[10] & 0x80) != 0;
    r->background = h[11];
    r->prefix = new (std::nothrow) uint16_t[4096];
    r->length = new (std::nothrow) uint16_t[4096];
    r->suffix = new (std::nothrow) uint8_t[4096];
    r->stack = new (std::nothrow) uint8_t[4097];
    if (!r->prefix || !r->length || !r->suffix || !r->stack) {
        GifClose(s);
        return FX_E_MEMORY;
    }
    std::memset(r->palette, 0, sizeof r->palette);
    if (r->globalTable) {
        uint8_t raw[768];
        int n = r->paletteSize > 256 ? 256 : r->paletteSize;
        if (bfSeek(s->stream, 13, 0) != 13 || !ReadExact(s->stream, raw, uint32_t(3 * n))) {
            GifClose(s);
            return FX_E_READ;
        }
        for (int i = 0; i < n; ++i) {
            r->palette[i].rgbRed = raw[3 * i];
            r->palette[i].rgbGreen = raw[3 * i + 1];
            r->palette[i].rgbBlue = raw[3 * i + 2];
        }
    } else {
        DefaultPalette(r->palette, r->paletteSize);
    }
    // The first image's own table stands in for the global one.
    FirstImage first;
    RGBQUAD local[256] = {};
    if (!FindFirstImage(s->stream, h, &first, local)) {
        GifClose(s);
        return FX_E_READ;
    }
    if (first.localEntries) std::memcpy(r->palette, local, sizeof r->palette);
    s->transparent = first.transparent >= 0 ? uint32_t(first.transparent) + 1 : 0;
    if (bfSeek(s->stream, 14, 0) != 14) {
        GifClose(s);
        return FX_E_READ;
    }
    return 0;
}

int WINAPI GifPalette(ConvertSource* s, RGBQUAD* e, int count)
{
    GifReader* r = State(s);
    return r ? CopyPalette(e, count, r->palette, 256) : 0;
}

// Bits of the image data, least significant first, across sub-blocks.
class CodeReader {
public:
    explicit CodeReader(ByteIn& in) : in_(in) {}
    // Next code of `bits` bits; -1 at the end of the data (zero-length
    // block), -2 on a short read.
    int Next(int bits)
    {
        while (have_ < bits) {
            if (ended_) return -1;
            if (!left_) {
                int n = in_.Get();
                if (n < 0) return -2;
                if (n == 0) {
                    ended_ = true;
                    return -1;
                }
                left_ = n;
            }
            int b = in_.Get();
            if (b < 0) return -2;
            --left_;
            acc_ |= uint32_t(b) << have_;
            have_ += 8;
        }
        int code = int(acc_ & ((1u << bits) - 1));
        acc_ >>= bits;
        have_ -= bits;
        return code;
    }
    // Skips the rest of the data sub-blocks.
    bool Finish()
    {
        if (ended_) return true;
        if (left_ && !in_.Skip(left_)) return false;
        for (;;) {
            int n = in_.Get();
            if (n < 0) return false;
            if (n == 0) return true;
            if (!in_.Skip(uint32_t(n))) return false;
        }
    }

private:
    ByteIn& in_;
    uint32_t acc_ = 0;
    int have_ = 0;
    int left_ = 0;
    bool ended_ = false;
};

// Places decoded pixels row by row, interlaced or not, clipped to the buffer.
struct Placer {
    BYTE* pixels;
    LONG stride;
    int screenW, screenH;
    int left, top, width, height;
    bool interlaced;
    int x = 0, y = 0, pass = 0;
    bool done = false;

    void Put(uint8_t v)
    {
        if (done) return;
        int bx = left + x, by = top + y;
        if (bx < screenW && by < screenH)
            pixels[LONG_PTR(screenH - 1 - by) * stride + bx] = v;  // rows counted from the bottom
        if (++x < width) return;
        NextRow();
    }
    // Where n pixels starting at the current place go, when they all lie in
    // the current row and inside the buffer; else null.
    BYTE* Span(int n) const
    {
        if (done || x + n > width || top + y >= screenH || left + x + n > screenW) return nullptr;
        return pixels + LONG_PTR(screenH - 1 - (top + y)) * stride + left + x;
    }
    void Advance(int n)
    {
        x += n;
        if (x >= width) NextRow();
    }
    void NextRow()
    {
        x = 0;
        if (!interlaced) {
            if (++y >= height) done = true;
            return;
        }
        static const int step[4] = {8, 8, 4, 2}, start[4] = {0, 4, 2, 1};
        y += step[pass];
        while (y >= height) {
            if (++pass >= 4) {
                done = true;
                return;
            }
            y = start[pass];
        }
    }
};

int DecodeImage(GifReader* r, ByteIn& in, Placer& out)
{
    int minSize = in.Get();
    if (minSize < 0) return FX_E_READ;
    if (minSize < 1 || minSize > 11) return FX_E_FORMAT;
    const int clear = 1 << minSize, eoi = clear + 1;
    int size = minSize + 1, next = clear + 2, prev = -1;
    for (int i = 0; i < clear + 2; ++i) r->length[i] = 1;
    uint8_t first = 0;
    CodeReader codes(in);
    while (!out.done) {
        int code = codes.Next(size);
        if (code == -2) return FX_E_READ;
        if (code < 0 || code == eoi) break;
        if (code == clear) {
            size = minSize + 1;
            next = clear + 2;
            prev = -1;
            continue;
        }
        if (prev < 0) {
            if (code >= clear) return FX_E_FORMAT;  // a string code with an empty table
            first = uint8_t(code);
            out.Put(first);
            prev = code;
            continue;
        }
        int sp = 0, c = code;
        if (code > next || (code == next && next >= 4096)) return FX_E_FORMAT;
        // The whole string inside the current row: written straight into
        // place from its last byte back (each entry knows its length).
        const int length = code == next ? r->length[prev] + 1 : code < clear ? 1 : r->length[code];
        if (BYTE* d = out.Span(length)) {
            d += length - 1;
            if (code == next) {
                *d-- = first;
                c = prev;
            }
            while (c >= clear) {
                *d-- = r->suffix[c];
                c = r->prefix[c];
            }
            *d = uint8_t(c);
            first = uint8_t(c);
            out.Advance(length);
            if (next < 4096) {
                r->prefix[next] = uint16_t(prev);
                r->suffix[next] = first;
                r->length[next] = uint16_t(r->length[prev] + 1);
                ++next;
                if (next == (1 << size) && size < 12) ++size;
            }
            prev = code;
            continue;
        }
        if (code == next) {  // the string of prev plus its own first byte
            r->stack[sp++] = first;
            c = prev;
        }
        while (c >= clear) {
            if (sp >= 4096 || c >= 4096) return FX_E_FORMAT;
            r->stack[sp++] = r->suffix[c];
            c = r->prefix[c];
        }
        first = uint8_t(c);
        r->stack[sp++] = first;
        while (sp) out.Put(r->stack[--sp]);
        if (next < 4096) {
            r->prefix[next] = uint16_t(prev);
            r->suffix[next] = first;
            r->length[next] = uint16_t(r->length[prev] + 1);
            ++next;
            if (next == (1 << size) && size < 12) ++size;
        }
        prev = code;
    }
    return codes.Finish() || out.done ? 0 : FX_E_READ;
}

int WINAPI GifReadImage(ConvertSource* s, BYTE* pixels, LONG stride)
{
    GifReader* r = State(s);
    if (!r || !r->prefix || !pixels) return FX_E_READ;
    LONG start = 13 + (r->globalTable ? 3 * r->paletteSize : 0);
    if (bfSeek(s->stream, start, 0) != start) return FX_E_READ;
    ByteIn in(s->stream);
    for (;;) {
        int b = in.Get();
        if (b < 0) return 0;  // the end of the file ends the walk
        if (b == 0x21) {
            if (in.Get() < 0) return FX_E_READ;  // label
            for (;;) {
                int n = in.Get();
                if (n < 0) return FX_E_READ;
                if (n == 0) break;
                if (!in.Skip(uint32_t(n))) return FX_E_READ;
            }
            continue;
        }
        if (b != 0x2C) return 0;  // trailer or anything else ends the walk
        uint8_t d[9];
        if (!in.Read(d, 9)) return FX_E_READ;
        Placer p{pixels, stride, r->screenWidth, r->screenHeight, Le16(d), Le16(d + 2), Le16(d + 4), Le16(d + 6),
                 (d[8] & 0x40) != 0};
        if (d[8] & 0x80) {  // the local colour table (the palette, read at prepare)
            if (!in.Skip(3u << ((d[8] & 7) + 1))) return FX_E_READ;
        }
        if (p.width == 0 || p.height == 0) p.done = true;
        return DecodeImage(r, in, p);
    }
}

int WINAPI GifOpen(ConvertSource* s)
{
    s->priv = nullptr;
    if (!s->stream) return FX_E_NOINPUT;
    uint8_t h[14];
    int rc = ParseHeader(s->stream, h);
    if (rc < 0) return rc;
    s->width = Le16(h + 6);
    s->height = Le16(h + 8);
    s->depth = 8;
    s->formatId = FX_ID_GIF;
    s->paletteCount = 256;
    s->bytesPerRow = (uint32_t(s->width) + 3) & ~3u;
    s->rowOrder = 0x300;
    s->readerCaps = 0;
    s->readRow = nullptr;
    s->readImage = GifReadImage;
    s->prepare = GifPrepare;
    s->close = GifClose;
    s->getPalette = GifPalette;
    FirstImage first;
    s->transparent = FindFirstImage(s->stream, h, &first, nullptr) && first.transparent >= 0
                         ? uint32_t(first.transparent) + 1 : 0;
    return 0;
}

}  // namespace

extern "C" int WINAPI GIFEnumReadFormats(int index, FormatRecord* record)
{
    if (index != 0 || !record) return -1;
    FillReadEntry(record, "GIF Compuserve", FX_ID_GIF, 0x88, true, GifOpen, 19, "GIF\0", 5);
    return 0;
}
