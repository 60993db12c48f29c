// Targa filter: reader of colour-mapped and true-colour files, plain or
// run-length coded, and writer of plain or run-length true-colour files.
// Targa has no signature, so the reader is chosen by extension only.
#include <new>

#include "fmtio.h"

using namespace ferrix;

namespace {

#pragma pack(push, 1)
struct TgaHeader {
    uint8_t idLength;
    uint8_t colourMapType;
    uint8_t imageType;
    uint16_t mapFirst;
    uint16_t mapLength;
    uint8_t mapEntrySize;
    uint16_t xOrigin, yOrigin;
    uint16_t width, height;
    uint8_t depth;
    uint8_t descriptor;
};
#pragma pack(pop)
static_assert(sizeof(TgaHeader) == 18, "Targa header is 18 bytes");

const uint32_t kMaxReadWidth = 4096;

int CheckHeader(const TgaHeader& h)
{
    switch (h.imageType) {
    case 1:
    case 2:
        if (h.depth != 8 && h.depth != 16 && h.depth != 24 && h.depth != 32) return FX_E_UNSUPPORTED;
        break;
    case 9:
        if (h.depth != 8) return FX_E_UNSUPPORTED;
        break;
    case 10:
        if (h.depth != 16 && h.depth != 24 && h.depth != 32) return FX_E_UNSUPPORTED;
        break;
    default:  // grey (3, 11) and everything else
        return FX_E_UNSUPPORTED;
    }
    if (h.width > kMaxReadWidth || h.width == 0 || h.height == 0) return FX_E_UNSUPPORTED;
    return 0;
}

int ReadHeader(BufferedStream* st, TgaHeader& h)
{
    if (!st || bfSeek(st, 0, 0) != 0 || !ReadExact(st, &h, sizeof h)) return FX_E_READ;
    return CheckHeader(h);
}

struct TgaReader {
    TgaHeader h;
    RGBQUAD palette[256];
    int paletteCount = 0;
    ByteIn in;
    uint32_t pixelBytes = 0;
    // A packet that passes the row's end carries over to the next row.
    uint32_t left = 0;
    bool run = false;
    uint8_t value[4] = {};
};

TgaReader* State(ConvertSource* s) { return static_cast<TgaReader*>(s->priv); }

int WINAPI TgaClose(ConvertSource* s)
{
    delete State(s);
    s->priv = nullptr;
    return 0;
}

int WINAPI TgaPalette(ConvertSource* s, RGBQUAD* e, int count)
{
    TgaReader* r = State(s);
    return r ? CopyPalette(e, count, r->palette, r->paletteCount) : 0;
}

int WINAPI TgaPrepare(ConvertSource* s)
{
    TgaClose(s);
    TgaReader* r = new (std::nothrow) TgaReader;
    if (!r) return FX_E_MEMORY;
    s->priv = r;
    int rc = ReadHeader(s->stream, r->h);
    if (rc < 0) {
        TgaClose(s);
        return rc;
    }
    if (r->h.idLength && bfSeek(s->stream, 18 + r->h.idLength, 0) != 18 + r->h.idLength) {
        TgaClose(s);
        return FX_E_READ;
    }
    r->pixelBytes = r->h.depth / 8u;
    r->paletteCount = s->paletteCount;
    DefaultPalette(r->palette, r->paletteCount);
    if (r->h.colourMapType) {
        // The colour map: entries of (entry size + 7) / 8 bytes.
        uint32_t es = (r->h.mapEntrySize + 7u) / 8u;
        for (uint32_t i = 0; i < r->h.mapLength; ++i) {
            uint8_t e[4] = {};
            if (es && !ReadExact(s->stream, e, es > 4 ? 4 : es)) {
                TgaClose(s);
                return FX_E_READ;
            }
            if (es > 4 && bfSeek(s->stream, LONG(es - 4), 1) < 0) {
                TgaClose(s);
                return FX_E_READ;
            }
            if (i >= 256 || i >= uint32_t(r->paletteCount)) continue;
            RGBQUAD& q = r->palette[i];
            switch (r->h.mapEntrySize) {
            case 15:
            case 16: {
                uint32_t v = e[0] | (e[1] << 8);
                q.rgbBlue = uint8_t(Widen5(v & 31));
                q.rgbGreen = uint8_t(Widen5((v >> 5) & 31));
                q.rgbRed = uint8_t(Widen5((v >> 10) & 31));
                q.rgbReserved = 0;
                break;
            }
            case 24:
            case 32:
                q.rgbBlue = e[0];
                q.rgbGreen = e[1];
                q.rgbRed = e[2];
                q.rgbReserved = r->h.mapEntrySize == 32 ? e[3] : 0;
                break;
            default:  // other entry sizes are skipped
                break;
            }
        }
    }
    r->in.Reset(s->stream);
    return 0;
}

int WINAPI TgaReadPlain(ConvertSource* s, BYTE* row)
{
    TgaReader* r = State(s);
    if (!r) return FX_E_READ;
    return r->in.Read(row, uint32_t(r->h.width) * r->pixelBytes) ? 0 : FX_E_READ;
}

int WINAPI TgaReadRun(ConvertSource* s, BYTE* row)
{
    TgaReader* r = State(s);
    if (!r) return FX_E_READ;
    const uint32_t pb = r->pixelBytes, w = r->h.width;
    uint32_t x = 0;
    while (x < w) {
        if (!r->left) {
            int p = r->in.Get();
            if (p < 0) return FX_E_READ;
            r->run = (p & 0x80) != 0;
            r->left = (uint32_t(p) & 0x7F) + 1;
            if (r->run && !r->in.Read(r->value, pb)) return FX_E_READ;
        }
        uint32_t n = r->left < w - x ? r->left : w - x;
        if (r->run) {
            uint8_t* d = row + x * pb;
            switch (pb) {
            case 3: {
                const uint8_t b0 = r->value[0], b1 = r->value[1], b2 = r->value[2];
                for (uint32_t i = 0; i < n; ++i, d += 3) d[0] = b0, d[1] = b1, d[2] = b2;
                break;
            }
            case 4: {
                uint32_t v;
                std::memcpy(&v, r->value, 4);
                for (uint32_t i = 0; i < n; ++i, d += 4) std::memcpy(d, &v, 4);
                break;
            }
            default:
                for (uint32_t i = 0; i < n; ++i, d += pb) std::memcpy(d, r->value, pb);
                break;
            }
        } else if (!r->in.Read(row + x * pb, n * pb)) {
            return FX_E_READ;
        }
        x += n;
        r->left -= n;
    }
    return 0;
}

int WINAPI TgaOpen(ConvertSource* s)
{
    s->priv = nullptr;
    if (!s->stream) return FX_E_NOINPUT;
    TgaHeader h;
    int rc = ReadHeader(s->stream, h);
    if (rc < 0) return rc;
    s->width = h.width;
    s->height = h.height;
    s->depth = h.depth;
    s->bytesPerRow = uint32_t(h.depth / 8) * h.width;
    s->formatId = FX_ID_TGA;
    s->rowOrder = (h.descriptor & 0x20) ? 0x600 : 0x300;
    s->paletteCount = (h.imageType == 1 || h.imageType == 9) ? uint16_t(h.mapLength > 256 ? 256 : h.mapLength) : 0;
    s->readerCaps = 0;
    s->prepare = TgaPrepare;
    s->close = TgaClose;
    s->getPalette = TgaPalette;
    s->readRow = h.imageType >= 9 ? TgaReadRun : TgaReadPlain;
    return 0;
}

// ---- writer -------------------------------------------------------------

struct TgaWriter {
    uint8_t* packets = nullptr;
    uint32_t capacity = 0;
    uint32_t pixelBytes = 0;
    uint32_t width = 0;
    bool compress = false;
};

TgaWriter* WState(ConvertTarget* t) { return static_cast<TgaWriter*>(t->priv); }

}  // namespace

namespace ferrix {

// Codes one row of n pixels of pb bytes with the Targa packet scheme: two or
// more equal neighbours make a run packet (up to 128), other stretches raw
// packets (up to 128); packets never pass the row's end.  out must hold
// n * pb + (n + 127) / 128 bytes.  Returns the coded length.
uint32_t TgaCodeRow(const uint8_t* p, uint32_t n, uint32_t pb, uint8_t* out)
{
    auto same = [&](uint32_t a, uint32_t b) { return std::memcmp(p + a * pb, p + b * pb, pb) == 0; };
    uint32_t o = 0, i = 0;
    while (i < n) {
        uint32_t run = 1;
        while (i + run < n && run < 128 && same(i, i + run)) ++run;
        if (run >= 2) {
            out[o++] = uint8_t(0x80 | (run - 1));
            std::memcpy(out + o, p + i * pb, pb);
            o += pb;
            i += run;
            continue;
        }
        uint32_t len = 1;
        while (i + len < n && len < 128 && !(i + len + 1 < n && same(i + len, i + len + 1))) ++len;
        out[o++] = uint8_t(len - 1);
        std::memcpy(out + o, p + i * pb, len * pb);
        o += len * pb;
        i += len;
    }
    return o;
}

}  // namespace ferrix

namespace {

int WINAPI TgaBegin(ConvertTarget* t)
{
    TgaWriter* w = WState(t);
    if (!w) return FX_E_MEMORY;
    int depth = t->depth;
    if (depth != 8 && depth != 16 && depth != 24 && depth != 32) return FX_E_UNSUPPORTED;
    w->pixelBytes = uint32_t(depth) / 8;
    w->width = t->width;
    w->compress = (t->options & 0x8000) && depth >= 16;
    t->bytesPerRow = w->pixelBytes * w->width;
    // The packet buffer must hold the worst row: every pixel raw plus one
    // header per 128 pixels.  Rows wider than the usual buffer get a larger one.
    uint32_t need = w->width * w->pixelBytes + (w->width + 127) / 128 + 16;
    if (need > w->capacity) {
        uint8_t* bigger = new (std::nothrow) uint8_t[need];
        if (!bigger) return FX_E_MEMORY;
        delete[] w->packets;
        w->packets = bigger;
        w->capacity = need;
    }
    TgaHeader h = {};
    h.idLength = 0;
    h.colourMapType = 0;
    h.imageType = w->compress ? 10 : 2;
    h.mapEntrySize = 15;
    h.xOrigin = t->originX;
    h.yOrigin = t->originY;
    h.width = t->width;
    h.height = t->height;
    h.depth = uint8_t(depth);
    h.descriptor = (t->rowOrder & 0x400) ? 0x20 : 0;
    return WriteExact(t->stream, &h, sizeof h) ? 0 : FX_E_WRITE;
}

int WINAPI TgaWriteRow(ConvertTarget* t, const BYTE* row)
{
    TgaWriter* w = WState(t);
    if (!w || !w->pixelBytes) return FX_E_WRITE;
    if (!w->compress) return WriteExact(t->stream, row, w->pixelBytes * w->width) ? 0 : FX_E_WRITE;
    uint32_t n = TgaCodeRow(row, w->width, w->pixelBytes, w->packets);
    return WriteExact(t->stream, w->packets, n) ? 0 : FX_E_WRITE;
}

int WINAPI TgaWriterClose(ConvertTarget* t)
{
    TgaWriter* w = WState(t);
    if (w) {
        delete[] w->packets;
        delete w;
    }
    t->priv = nullptr;
    return 0;
}

int WINAPI TgaWriterOpen(ConvertTarget* t)
{
    TgaWriter* w = new (std::nothrow) TgaWriter;
    if (!w) return FX_E_MEMORY;
    w->packets = new (std::nothrow) uint8_t[20496];
    if (!w->packets) {
        delete w;
        return FX_E_MEMORY;
    }
    w->capacity = 20496;
    t->priv = w;
    t->caps = 0x87B2;
    t->beginOutput = TgaBegin;
    t->writeRow = TgaWriteRow;
    t->close = TgaWriterClose;
    return 0;
}

}  // namespace

extern "C" int WINAPI TGAEnumReadFormats(int index, FormatRecord* record)
{
    if (index != 0 || !record) return -1;
    FillReadEntry(record, "TGA, Truevision", FX_ID_TGA, 0xB2, false, TgaOpen, 19, "TGA\0VST\0PIX\0WIN\0", 17);
    return 0;
}

extern "C" int WINAPI TGAEnumWriteFormats(int index, FormatRecord* record)
{
    if (index != 0 || !record) return -1;
    FillWriteEntry(record, "TGA, Truevision", FX_ID_TGA, 0xB2, TgaWriterOpen, 19, 0, "TGA\0", 5);
    return 0;
}
