// FLC / FLI reader: delivers one 8-bit still, the first frame that holds an
// image chunk, with the palette of the colour chunks before it.  Rows are
// decoded one at a time from the image chunk (byte run, byte delta, word
// delta, black or literal); packets that pass a row's end are cut there.
#include <new>

#include "fmtio.h"

using namespace ferrix;

namespace {

const uint16_t kFlc = 0xAF12, kFli = 0xAF11, kFrameMagic = 0xF1FA;
enum : uint16_t { kWordDelta = 7, kColour256 = 4, kColour64 = 11, kByteDelta = 12, kBlack = 13, kByteRun = 15,
                  kLiteral = 16 };

struct FlcInfo {
    uint16_t type = 0;
    int width = 0, height = 0;
    uint32_t firstFrame = 0;
};

int ParseHeader(BufferedStream* st, FlcInfo& f)
{
    uint8_t h[128];
    if (!st || bfSeek(st, 0, 0) != 0 || !ReadExact(st, h, 128)) return FX_E_READ;
    f.type = Le16(h + 4);
    if (f.type != kFlc && f.type != kFli) return FX_E_FORMAT;
    f.width = Le16(h + 8);
    f.height = Le16(h + 10);
    f.firstFrame = f.type == kFlc ? Le32(h + 80) : 128;
    if (f.type == kFlc && f.firstFrame < 128) f.firstFrame = 128;
    if (f.width == 0 || f.height == 0) return FX_E_UNSUPPORTED;
    return 0;
}

struct FlcReader {
    FlcInfo info;
    RGBQUAD palette[256];
    ByteIn in;
    uint16_t chunk = 0;   // type of the image chunk
    int row = 0;          // next row to deliver
    // byte delta: first line and line count; word delta: lines with data
    int firstLine = 0, lineCount = 0;
    int linesLeft = 0, skipLines = 0;
};

FlcReader* State(ConvertSource* s) { return static_cast<FlcReader*>(s->priv); }

int WINAPI FlcClose(ConvertSource* s)
{
    delete State(s);
    s->priv = nullptr;
    return 0;
}

int WINAPI FlcPalette(ConvertSource* s, RGBQUAD* e, int count)
{
    FlcReader* r = State(s);
    return r ? CopyPalette(e, count, r->palette, 256) : 0;
}

// Applies a colour chunk's packets (skip, copy; a copy of 0 means 256).
int ApplyColours(FlcReader* r, ByteIn& in, bool level64)
{
    uint8_t c[2];
    if (!in.Read(c, 2)) return FX_E_READ;
    int packets = Le16(c), index = 0;
    for (int p = 0; p < packets; ++p) {
        int skip = in.Get(), copy = in.Get();
        if (skip < 0 || copy < 0) return FX_E_READ;
        index += skip;
        if (copy == 0) copy = 256;
        for (int i = 0; i < copy; ++i, ++index) {
            uint8_t rgb[3];
            if (!in.Read(rgb, 3)) return FX_E_READ;
            if (index >= 256) continue;
            for (int k = 0; k < 3; ++k)
                if (level64) rgb[k] = uint8_t((rgb[k] & 63) * 4 + (rgb[k] & 63) / 16);
            r->palette[index].rgbRed = rgb[0];
            r->palette[index].rgbGreen = rgb[1];
            r->palette[index].rgbBlue = rgb[2];
            r->palette[index].rgbReserved = 0;
        }
    }
    return 0;
}

int WINAPI FlcPrepare(ConvertSource* s)
{
    FlcClose(s);
    FlcReader* r = new (std::nothrow) FlcReader;
    if (!r) return FX_E_MEMORY;
    s->priv = r;
    std::memset(r->palette, 0, sizeof r->palette);
    int rc = ParseHeader(s->stream, r->info);
    auto fail = [&](int code) {
        FlcClose(s);
        return code;
    };
    if (rc < 0) return fail(rc);
    const LONG length = bfFileLength(s->stream);
    uint32_t frame = r->info.firstFrame;
    for (;;) {
        uint8_t fh[16];
        if (LONG(frame) < 0 || bfSeek(s->stream, LONG(frame), 0) != LONG(frame) || !ReadExact(s->stream, fh, 16))
            return fail(FX_E_READ);
        uint32_t size = Le32(fh);
        int chunks = Le16(fh + 6);
        if (Le16(fh + 4) != kFrameMagic) return fail(FX_E_FORMAT);
        uint32_t at = frame + 16;
        for (int c = 0; c < chunks; ++c) {
            uint8_t ch[6];
            if (bfSeek(s->stream, LONG(at), 0) != LONG(at) || !ReadExact(s->stream, ch, 6)) return fail(FX_E_READ);
            uint32_t csize = Le32(ch);
            uint16_t type = Le16(ch + 4);
            if (csize < 6) return fail(FX_E_FORMAT);  // a chunk must at least hold its header
            r->in.Reset(s->stream);
            switch (type) {
            case kColour256:
            case kColour64:
                rc = ApplyColours(r, r->in, type == kColour64);
                if (rc < 0) return fail(rc);
                break;
            case kByteDelta: {
                uint8_t d[4];
                if (!r->in.Read(d, 4)) return fail(FX_E_READ);
                r->firstLine = Le16(d);
                r->lineCount = Le16(d + 2);
                r->chunk = type;
                return 0;
            }
            case kWordDelta: {
                uint8_t d[2];
                if (!r->in.Read(d, 2)) return fail(FX_E_READ);
                r->linesLeft = Le16(d);
                r->chunk = type;
                return 0;
            }
            case kBlack:
            case kByteRun:
            case kLiteral:
                r->chunk = type;
                return 0;
            default:  // postage stamp (18) and everything else: skipped
                break;
            }
            at += csize;
        }
        // No image chunk in this frame: go on with the next one.
        uint32_t next = frame + (size > 16 ? size : 16);
        if (next <= frame || LONG(next) >= length) return fail(FX_E_READ);
        frame = next;
    }
}

// Cut copies and fills at the row's end.
inline void Fill(BYTE* row, int w, int x, int n, uint8_t v)
{
    for (int i = 0; i < n && x + i < w; ++i)
        if (x + i >= 0) row[x + i] = v;
}

int ByteRunRow(FlcReader* r, BYTE* row, int w)
{
    if (r->in.Get() < 0) return FX_E_READ;  // the packet count byte is not needed
    int x = 0;
    while (x < w) {
        int c = r->in.Get();
        if (c < 0) return FX_E_READ;
        int8_t n = int8_t(c);
        if (n > 0) {
            int v = r->in.Get();
            if (v < 0) return FX_E_READ;
            Fill(row, w, x, n, uint8_t(v));
            x += n;
        } else if (n < 0) {
            for (int i = 0; i < -n; ++i, ++x) {
                int v = r->in.Get();
                if (v < 0) return FX_E_READ;
                if (x < w) row[x] = uint8_t(v);
            }
        }
    }
    return 0;
}

int ByteDeltaRow(FlcReader* r, BYTE* row, int w, int y)
{
    if (y < r->firstLine || y >= r->firstLine + r->lineCount) return 0;
    int packets = r->in.Get();
    if (packets < 0) return FX_E_READ;
    int x = 0;
    for (int p = 0; p < packets; ++p) {
        int skip = r->in.Get(), c = r->in.Get();
        if (skip < 0 || c < 0) return FX_E_READ;
        x += skip;
        int8_t n = int8_t(c);
        if (n > 0) {
            for (int i = 0; i < n; ++i, ++x) {
                int v = r->in.Get();
                if (v < 0) return FX_E_READ;
                if (x < w) row[x] = uint8_t(v);
            }
        } else if (n < 0) {
            int v = r->in.Get();
            if (v < 0) return FX_E_READ;
            Fill(row, w, x, -n, uint8_t(v));
            x += -n;
        }
    }
    return 0;
}

int WordDeltaRow(FlcReader* r, BYTE* row, int w)
{
    if (r->skipLines > 0) {
        --r->skipLines;
        return 0;
    }
    if (r->linesLeft <= 0) return 0;
    bool haveLast = false;
    uint8_t last = 0;
    int packets = 0;
    for (;;) {
        uint8_t b[2];
        if (!r->in.Read(b, 2)) return FX_E_READ;
        uint16_t word = Le16(b);
        if ((word & 0xC000) == 0xC000) {  // skip lines: this row and the next ones stay as they are
            r->skipLines = 65536 - word - 1;
            return 0;
        }
        if ((word & 0xC000) == 0x8000) {
            last = uint8_t(word);
            haveLast = true;
            continue;
        }
        packets = word;
        break;
    }
    int x = 0;
    for (int p = 0; p < packets; ++p) {
        int skip = r->in.Get(), c = r->in.Get();
        if (skip < 0 || c < 0) return FX_E_READ;
        x += skip;
        int8_t n = int8_t(c);
        if (n > 0) {
            for (int i = 0; i < 2 * n; ++i, ++x) {
                int v = r->in.Get();
                if (v < 0) return FX_E_READ;
                if (x < w) row[x] = uint8_t(v);
            }
        } else if (n < 0) {
            uint8_t v[2];
            if (!r->in.Read(v, 2)) return FX_E_READ;
            for (int i = 0; i < -n; ++i, x += 2) {
                Fill(row, w, x, 1, v[0]);
                Fill(row, w, x + 1, 1, v[1]);
            }
        }
    }
    if (haveLast) row[w - 1] = last;
    --r->linesLeft;
    return 0;
}

int WINAPI FlcReadRow(ConvertSource* s, BYTE* row)
{
    FlcReader* r = State(s);
    if (!r || !r->chunk) return FX_E_READ;
    const int w = r->info.width;
    std::memset(row, 0, s->bytesPerRow);
    int y = r->row++;
    switch (r->chunk) {
    case kByteRun: return ByteRunRow(r, row, w);
    case kByteDelta: return ByteDeltaRow(r, row, w, y);
    case kWordDelta: return WordDeltaRow(r, row, w);
    case kLiteral: return r->in.Read(row, uint32_t(w)) ? 0 : FX_E_READ;
    default: return 0;  // black
    }
}

int WINAPI FlcOpen(ConvertSource* s)
{
    s->priv = nullptr;
    if (!s->stream) return FX_E_NOINPUT;
    FlcInfo f;
    int rc = ParseHeader(s->stream, f);
    if (rc < 0) return rc;
    s->width = uint16_t(f.width);
    s->height = uint16_t(f.height);
    s->depth = 8;
    s->paletteCount = 256;
    s->rowOrder = 0x600;
    s->bytesPerRow = (uint32_t(f.width) + 3) & ~3u;
    s->formatId = f.type == kFli ? 11 : FX_ID_FLC;
    s->readerCaps = 0;
    s->prepare = FlcPrepare;
    s->close = FlcClose;
    s->getPalette = FlcPalette;
    s->readRow = FlcReadRow;
    return 0;
}

}  // namespace

extern "C" int WINAPI FLCEnumReadFormats(int index, FormatRecord* record)
{
    if (index != 0 || !record) return -1;
    FillReadEntry(record, "Autodesk Animations", FX_ID_FLC, 0x88, true, FlcOpen, 33, "FLC\0FLI\0", 9);
    return 0;
}
