// PCX reader: 128-byte header, byte-oriented run-length plane lines,
// optional 256-colour palette at the end of the file.  Layouts: 1 bit x 1
// plane, 1 bit x 4 planes (16 colours), 8 bits x 1 plane, 8 bits x 3 planes
// (direct colour).
#include <new>

#include "fmtio.h"

using namespace ferrix;

namespace {

struct PcxInfo {
    uint8_t version = 0;
    int bits = 0, planes = 0;
    int width = 0, height = 0;
    int depth = 0;
    uint32_t bytesPerLine = 0;
    uint16_t paletteType = 0;
    int paletteCount = 0;
    bool trailing = false;  // the 256-colour palette at the end of the file
    uint8_t headerPalette[48];
};

int ParseHeader(BufferedStream* st, PcxInfo& p)
{
    uint8_t h[128];
    if (!st || bfSeek(st, 0, 0) != 0 || !ReadExact(st, h, 128)) return FX_E_READ;
    if (h[0] != 10) return FX_E_FORMAT;
    p.version = h[1];
    if ((p.version != 0 && p.version != 1 && p.version != 3 && p.version != 5) || h[2] != 1) return FX_E_UNSUPPORTED;
    p.bits = h[3];
    p.planes = h[65];
    if (p.bits == 1 && p.planes == 1) p.depth = 1;
    else if (p.bits == 1 && p.planes == 4) p.depth = 4;
    else if (p.bits == 8 && p.planes == 1) p.depth = 8;
    else if (p.bits == 8 && p.planes == 3) p.depth = 24;
    else return FX_E_UNSUPPORTED;
    int xmin = Le16(h + 4), ymin = Le16(h + 6), xmax = Le16(h + 8), ymax = Le16(h + 10);
    if (xmax < xmin || ymax < ymin) return FX_E_UNSUPPORTED;
    p.width = xmax - xmin + 1;
    p.height = ymax - ymin + 1;
    p.bytesPerLine = Le16(h + 66);
    if (p.bytesPerLine == 0) return FX_E_UNSUPPORTED;
    p.paletteType = Le16(h + 68);
    std::memcpy(p.headerPalette, h + 16, 48);

    LONG length = bfFileLength(st);
    if (p.depth == 24) {
        p.paletteCount = 0;
    } else if (p.version == 3 || p.paletteType == 2 || p.depth == 1) {
        p.paletteCount = 1 << p.depth;
    } else if (p.version == 5 && p.depth == 8 && length > 128 + 769) {
        uint8_t marker = 0;
        if (bfSeek(st, length - 769, 0) == length - 769 && ReadExact(st, &marker, 1) && marker == 12) {
            p.paletteCount = 256;
            p.trailing = true;
        }
    }
    if (!p.paletteCount && !p.trailing && p.depth <= 4) p.paletteCount = 16;
    return 0;
}

struct PcxReader {
    PcxInfo info;
    RGBQUAD palette[256];
    ByteIn in;
    uint8_t* lines = nullptr;  // planes x bytes per line
    uint32_t runLeft = 0;      // a run that passes a line's end carries on
    uint8_t runValue = 0;
};

PcxReader* State(ConvertSource* s) { return static_cast<PcxReader*>(s->priv); }

int WINAPI PcxClose(ConvertSource* s)
{
    PcxReader* r = State(s);
    if (r) {
        delete[] r->lines;
        delete r;
    }
    s->priv = nullptr;
    return 0;
}

int WINAPI PcxPalette(ConvertSource* s, RGBQUAD* e, int count)
{
    PcxReader* r = State(s);
    return r ? CopyPalette(e, count, r->palette, r->info.paletteCount) : 0;
}

int WINAPI PcxPrepare(ConvertSource* s)
{
    PcxClose(s);
    PcxReader* r = new (std::nothrow) PcxReader;
    if (!r) return FX_E_MEMORY;
    s->priv = r;
    int rc = ParseHeader(s->stream, r->info);
    if (rc < 0) {
        PcxClose(s);
        return rc;
    }
    PcxInfo& p = r->info;
    DefaultPalette(r->palette, p.paletteCount);
    if (p.trailing) {
        uint8_t raw[768];
        LONG at = bfFileLength(s->stream) - 768;
        if (bfSeek(s->stream, at, 0) != at || !ReadExact(s->stream, raw, 768)) {
            PcxClose(s);
            return FX_E_READ;
        }
        for (int i = 0; i < 256; ++i) {
            r->palette[i].rgbRed = raw[3 * i];
            r->palette[i].rgbGreen = raw[3 * i + 1];
            r->palette[i].rgbBlue = raw[3 * i + 2];
            r->palette[i].rgbReserved = 0;
        }
    } else if (p.paletteCount && p.version != 3 && p.paletteType != 2 && p.depth != 1) {
        for (int i = 0; i < 16 && i < p.paletteCount; ++i) {
            r->palette[i].rgbRed = p.headerPalette[3 * i];
            r->palette[i].rgbGreen = p.headerPalette[3 * i + 1];
            r->palette[i].rgbBlue = p.headerPalette[3 * i + 2];
            r->palette[i].rgbReserved = 0;
        }
    }
    r->lines = new (std::nothrow) uint8_t[size_t(p.bytesPerLine) * p.planes];
    if (!r->lines) {
        PcxClose(s);
        return FX_E_MEMORY;
    }
    if (bfSeek(s->stream, 128, 0) != 128) {
        PcxClose(s);
        return FX_E_READ;
    }
    r->in.Reset(s->stream);
    return 0;
}

// Decodes one plane line of n bytes.
bool DecodeLine(PcxReader* r, uint8_t* out, uint32_t n)
{
    uint32_t i = 0;
    while (i < n) {
        if (r->runLeft) {
            uint32_t k = r->runLeft < n - i ? r->runLeft : n - i;
            std::memset(out + i, r->runValue, k);
            i += k;
            r->runLeft -= k;
            continue;
        }
        int b = r->in.Get();
        if (b < 0) return false;
        if ((b & 0xC0) == 0xC0) {
            int v = r->in.Get();
            if (v < 0) return false;
            r->runLeft = uint32_t(b & 0x3F);
            r->runValue = uint8_t(v);
        } else {
            out[i++] = uint8_t(b);
        }
    }
    return true;
}

int WINAPI PcxReadRow(ConvertSource* s, BYTE* row)
{
    PcxReader* r = State(s);
    if (!r || !r->lines) return FX_E_READ;
    const PcxInfo& p = r->info;
    const uint32_t bpl = p.bytesPerLine;
    for (int k = 0; k < p.planes; ++k)
        if (!DecodeLine(r, r->lines + size_t(k) * bpl, bpl)) return FX_E_READ;
    const uint32_t w = uint32_t(p.width);
    std::memset(row, 0, s->bytesPerRow);
    switch (p.planes) {
    case 1: {
        // Never more than the row holds, whatever the header's line length.
        uint32_t n = bpl < s->bytesPerRow ? bpl : s->bytesPerRow;
        std::memcpy(row, r->lines, n);
        break;
    }
    case 3: {
        const uint8_t *red = r->lines, *green = red + bpl, *blue = green + bpl;
        uint32_t n = w < bpl ? w : bpl;
        for (uint32_t x = 0; x < n; ++x) {
            row[3 * x] = blue[x];
            row[3 * x + 1] = green[x];
            row[3 * x + 2] = red[x];
        }
        break;
    }
    case 4: {
        uint32_t n = w < bpl * 8 ? w : bpl * 8;
        for (uint32_t x = 0; x < n; ++x) {
            uint32_t v = 0;
            for (int k = 0; k < 4; ++k) v |= uint32_t((r->lines[k * bpl + (x >> 3)] >> (7 - (x & 7))) & 1) << k;
            if (x & 1) row[x >> 1] |= uint8_t(v);
            else row[x >> 1] = uint8_t(v << 4);
        }
        break;
    }
    }
    return 0;
}

int WINAPI PcxOpen(ConvertSource* s)
{
    s->priv = nullptr;
    if (!s->stream) return FX_E_NOINPUT;
    PcxInfo p;
    int rc = ParseHeader(s->stream, p);
    if (rc < 0) return rc;
    if (p.width > 65535 || p.height > 65535) return FX_E_UNSUPPORTED;
    s->width = uint16_t(p.width);
    s->height = uint16_t(p.height);
    s->depth = uint16_t(p.depth);
    s->bytesPerRow = fxRowBytes(uint32_t(p.width), uint32_t(p.depth));
    s->rowOrder = 0x600;
    s->formatId = FX_ID_PCX;
    s->paletteCount = uint16_t(p.paletteCount);
    s->readerCaps = 0;
    s->prepare = PcxPrepare;
    s->close = PcxClose;
    s->getPalette = PcxPalette;
    s->readRow = PcxReadRow;
    return 0;
}

}  // namespace

extern "C" int WINAPI PCXEnumReadFormats(int index, FormatRecord* record)
{
    if (index != 0 || !record) return -1;
    FillReadEntry(record, "PC Paintbrush", FX_ID_PCX, 0x8F, true, PcxOpen, 19, "PCX\0", 5);
    return 0;
}
