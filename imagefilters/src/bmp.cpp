// BMP filter: reader and writer of Windows device-independent bitmaps, with
// the RLE8 and RLE4 codings, the planar 24-bit run-length coding and the
// byte-run and pixel-run codings of our own in the same container.
//
// Reader: open parses and checks the headers and describes the source; the
// prepare step parses them again, allocates the reader state, reads the
// palette and seeks to the pixels; rows come in file order (bottom-up, or
// top-down for a negative height).  Writer: three entries (plain BMP, RLE8,
// plain rows under the RLE name); the plain entry offers 32-bit output when
// the value "bmp32" exists under HKEY_CURRENT_USER\Software\Quillon.
#include <new>

#include "vii.h"  // first: it brings <vector> before the Win32 headers
#include "fmtio.h"

using namespace ferrix;

namespace {

#pragma pack(push, 1)
struct BmpFileHeader {
    uint16_t type;  // "BM"
    uint32_t size;
    uint16_t reserved1, reserved2;
    uint32_t offBits;
};
struct BmpInfoHeader {
    uint32_t size;
    int32_t width, height;
    uint16_t planes, bitCount;
    uint32_t compression, sizeImage;
    int32_t xPelsPerMeter, yPelsPerMeter;
    uint32_t clrUsed, clrImportant;
};
#pragma pack(pop)
static_assert(sizeof(BmpFileHeader) == 14, "BMP file header is 14 bytes");
static_assert(sizeof(BmpInfoHeader) == 40, "BMP info header is 40 bytes");

const uint16_t kBM = 0x4D42;
const uint32_t kCompPlain = 0, kCompRle8 = 1, kCompRle4 = 2, kCompByteRuns = 99996, kCompPixelRuns = 99997,
               kCompRleNoPad = 99999, kCompVii = 0x564949;

struct BmpHeader {
    uint32_t offBits = 0;
    uint32_t headerSize = 0;
    int width = 0, height = 0;
    bool topDown = false;
    int depth = 0;
    uint32_t compression = 0;
    int paletteCount = 0;   // entries handed out
    int paletteStored = 0;  // entries to read from the file
    uint32_t clrUsed = 0;   // entries the file holds before its pixels
};

// Reads and checks the headers from the start of the stream.
int ParseHeader(BufferedStream* st, BmpHeader& h)
{
    uint8_t fh[14];
    if (bfSeek(st, 0, 0) != 0 || !ReadExact(st, fh, 14)) return FX_E_READ;
    if (Le16(fh) != kBM) return FX_E_FORMAT;
    h.offBits = Le32(fh + 10);
    uint8_t sz[4];
    if (!ReadExact(st, sz, 4)) return FX_E_READ;
    h.headerSize = Le32(sz);
    uint32_t clrUsed = 0;
    if (h.headerSize == 12) {
        uint8_t c[8];
        if (!ReadExact(st, c, 8)) return FX_E_READ;
        h.width = Le16(c);
        h.height = Le16(c + 2);
        h.depth = Le16(c + 6);
    } else if (h.headerSize == 40) {
        uint8_t c[36];
        if (!ReadExact(st, c, 36)) return FX_E_READ;
        int32_t w = int32_t(Le32(c)), ht = int32_t(Le32(c + 4));
        h.depth = Le16(c + 10);
        h.compression = Le32(c + 12);
        clrUsed = Le32(c + 28);
        h.clrUsed = clrUsed;
        if (ht < 0) {  // a top-down bitmap
            if (ht == INT32_MIN) return FX_E_UNSUPPORTED;
            ht = -ht;
            h.topDown = true;
        }
        if (w <= 0 || w > 65535 || ht > 65535) return FX_E_UNSUPPORTED;
        h.width = w;
        h.height = ht;
    } else {
        return FX_E_FORMAT;
    }
    if (h.width <= 0 || h.height <= 0) return FX_E_UNSUPPORTED;
    switch (h.compression) {
    case kCompPlain:
        if (DepthIndex(h.depth) < 0) return FX_E_UNSUPPORTED;
        break;
    case kCompRle8:
        if (h.depth != 8 && h.depth != 24) return FX_E_UNSUPPORTED;
        break;
    case kCompRle4:
        if (h.depth != 4 && h.depth != 1) return FX_E_UNSUPPORTED;
        break;
    case kCompByteRuns:
        if (h.depth != 8) return FX_E_UNSUPPORTED;
        break;
    case kCompPixelRuns:
        if (h.depth != 24) return FX_E_UNSUPPORTED;
        break;
    case kCompRleNoPad:
        if (h.depth != 8 && h.depth != 24) return FX_E_UNSUPPORTED;
        break;
    case kCompVii:  // rows coded with the title-image codec
        if (h.depth != 16 && h.depth != 32) return FX_E_UNSUPPORTED;
        break;
    default:  // BI_BITFIELDS and anything else
        return FX_E_UNSUPPORTED;
    }
    if (h.depth <= 8) {
        int full = 1 << h.depth;
        int n = clrUsed ? int(clrUsed > 256 ? 256 : clrUsed) : (h.depth == 1 ? 2 : h.depth <= 4 ? 16 : 256);
        if (n > full) n = full;  // more entries than indices: the rest is never used
        h.paletteCount = n;
        h.paletteStored = clrUsed && clrUsed <= 256 ? int(clrUsed) : n;
        if (h.headerSize == 12 && !clrUsed) h.paletteStored = full;
    }
    return 0;
}

enum class Piece : uint8_t { None, Run, Literal };

struct BmpReader {
    BmpHeader h;
    RGBQUAD palette[256];
    ByteIn in;
    uint8_t* planar = nullptr;  // 3 x width bytes of one planar row
    ViiCodec* vii = nullptr;    // list of title-coded rows, made by the first row
    bool endOfImage = false;
    // What carries over from one row to the next.
    Piece piece = Piece::None;
    uint32_t value = 0;       // run value (byte, nibble pair or 3-byte pixel)
    uint32_t remaining = 0;   // pixels of the piece still owed
    uint32_t done = 0;        // pixels of the piece given so far (nibble alternation)
    uint32_t padAfter = 0;    // bytes to drop after a literal stretch
    uint32_t litByte = 0;     // current literal byte or word of packed nibbles
    uint32_t skipRows = 0;    // rows a delta jumps over
    uint32_t startX = 0;      // column where the next row's data begins
};

BmpReader* State(ConvertSource* s) { return static_cast<BmpReader*>(s->priv); }

int WINAPI BmpClose(ConvertSource* s)
{
    BmpReader* r = State(s);
    if (r) {
        delete[] r->planar;
        delete r->vii;
        delete r;
    }
    s->priv = nullptr;
    return 0;
}

int WINAPI BmpPalette(ConvertSource* s, RGBQUAD* entries, int count)
{
    BmpReader* r = State(s);
    if (!r) return 0;
    return CopyPalette(entries, count, r->palette, r->h.paletteCount);
}

int WINAPI BmpPrepare(ConvertSource* s)
{
    BmpClose(s);
    BmpReader* r = new (std::nothrow) BmpReader;
    if (!r) return FX_E_MEMORY;
    s->priv = r;
    int rc = ParseHeader(s->stream, r->h);
    if (rc < 0) {
        BmpClose(s);
        return rc;
    }
    // The palette follows the header: 3-byte entries after a core header.
    DefaultPalette(r->palette, r->h.paletteCount);
    if (r->h.paletteStored) {
        int es = r->h.headerSize == 12 ? 3 : 4;
        uint8_t raw[256 * 4];
        int n = r->h.paletteStored > 256 ? 256 : r->h.paletteStored;
        if (bfSeek(s->stream, LONG(14 + r->h.headerSize), 0) != LONG(14 + r->h.headerSize) ||
            !ReadExact(s->stream, raw, uint32_t(n * es))) {
            BmpClose(s);
            return FX_E_READ;
        }
        for (int i = 0; i < n && i < r->h.paletteCount; ++i) {
            r->palette[i].rgbBlue = raw[i * es];
            r->palette[i].rgbGreen = raw[i * es + 1];
            r->palette[i].rgbRed = raw[i * es + 2];
            r->palette[i].rgbReserved = 0;
        }
    }
    // Without bfOffBits the pixels follow the colour table, which a deep
    // image may carry too.
    uint32_t pixelsAt = r->h.offBits;
    if (!pixelsAt && r->h.depth > 8 && r->h.clrUsed && r->h.clrUsed <= 256)
        pixelsAt = 14 + r->h.headerSize + 4 * r->h.clrUsed;
    if (pixelsAt && bfSeek(s->stream, LONG(pixelsAt), 0) != LONG(pixelsAt)) {
        BmpClose(s);
        return FX_E_READ;
    }
    if (r->h.compression == kCompRle8 && r->h.depth == 24) {
        r->planar = new (std::nothrow) uint8_t[size_t(r->h.width) * 3];
        if (!r->planar) {
            BmpClose(s);
            return FX_E_MEMORY;
        }
    }
    r->in.Reset(s->stream);
    return 0;
}

int WINAPI BmpReadPlain(ConvertSource* s, BYTE* row)
{
    BmpReader* r = State(s);
    if (!r) return FX_E_READ;
    return r->in.Read(row, s->bytesPerRow) ? 0 : FX_E_READ;
}

// ---- run-length rows ----------------------------------------------------

// How one coding turns commands into pixels.
enum class Coding { Rle8, Rle4, Rle4AsBits, ByteRuns, PixelRuns, Rle8NoPad };

inline void PutPixel(BYTE* row, uint32_t x, uint32_t v, int depth)
{
    switch (depth) {
    case 1:
        if (v) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
        else row[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
        break;
    case 4:
        if (x & 1) row[x >> 1] = uint8_t((row[x >> 1] & 0xF0) | (v & 15));
        else row[x >> 1] = uint8_t((row[x >> 1] & 0x0F) | ((v & 15) << 4));
        break;
    case 8:
        row[x] = uint8_t(v);
        break;
    case 24:
        row[3 * x] = uint8_t(v);
        row[3 * x + 1] = uint8_t(v >> 8);
        row[3 * x + 2] = uint8_t(v >> 16);
        break;
    }
}

// Gives the next pixel of the current piece (the caller checks remaining).
// Returns false on a short read.
bool NextPiecePixel(BmpReader* r, Coding c, uint32_t& v)
{
    uint32_t i = r->done;
    if (r->piece == Piece::Run) {
        switch (c) {
        case Coding::Rle4: v = (i & 1) ? (r->value & 15) : (r->value >> 4); break;
        case Coding::Rle4AsBits: v = ((i & 1) ? (r->value & 15) : (r->value >> 4)) != 0; break;
        default: v = r->value; break;
        }
    } else {
        switch (c) {
        case Coding::Rle4:
        case Coding::Rle4AsBits: {
            if (!(i & 1)) {
                int b = r->in.Get();
                if (b < 0) return false;
                r->litByte = uint32_t(b);
            }
            uint32_t n = (i & 1) ? (r->litByte & 15) : (r->litByte >> 4);
            v = c == Coding::Rle4AsBits ? (n != 0) : n;
            break;
        }
        case Coding::PixelRuns: {
            uint8_t p[3];
            if (!r->in.Read(p, 3)) return false;
            v = p[0] | (p[1] << 8) | (p[2] << 16);
            break;
        }
        default: {
            int b = r->in.Get();
            if (b < 0) return false;
            v = uint32_t(b);
            break;
        }
        }
    }
    ++r->done;
    if (--r->remaining == 0) {
        if (r->piece == Piece::Literal && r->padAfter && !r->in.Skip(r->padAfter)) return false;
        r->piece = Piece::None;
    }
    return true;
}

// Reads one command unit: (first, second) bytes, or 3-byte units for
// pixel runs.  Returns false on a short read.
bool ReadCommand(BmpReader* r, Coding c, uint32_t& count, uint32_t& second)
{
    if (c == Coding::PixelRuns) {
        uint8_t u[3];
        if (!r->in.Read(u, 3)) return false;
        count = u[0];
        if (count) {  // a count unit, then one 3-byte pixel
            uint8_t p[3];
            if (!r->in.Read(p, 3)) return false;
            second = p[0] | (p[1] << 8) | (p[2] << 16);
        } else {  // a zero unit, then an escape unit
            if (!r->in.Read(u, 3)) return false;
            second = u[0];
        }
        return true;
    }
    int a = r->in.Get(), b = r->in.Get();
    if (a < 0 || b < 0) return false;
    count = uint32_t(a);
    second = uint32_t(b);
    return true;
}

// Decodes one row of `width` pixels at `depth` into row.  strict: the
// planar coding, where an escape below 3 inside a row is an error.
int DecodeRunRow(BmpReader* r, Coding c, BYTE* row, uint32_t width, int depth, bool strict)
{
    if (r->endOfImage) return 0;
    if (r->skipRows) {  // the row lies inside a delta's vertical jump
        --r->skipRows;
        return 0;
    }
    uint32_t x = r->startX;
    r->startX = 0;
    if (x >= width) {  // a delta passed the row end: carry its remainder on
        r->startX = x - width;
        return 0;
    }
    while (x < width) {
        if (r->piece != Piece::None) {
            uint32_t v;
            if (!NextPiecePixel(r, c, v)) return FX_E_READ;
            PutPixel(row, x++, v, depth);
            continue;
        }
        uint32_t count, second;
        if (!ReadCommand(r, c, count, second)) return FX_E_READ;
        if (count) {
            r->piece = Piece::Run;
            r->value = second;
            r->remaining = count;
            r->done = 0;
            continue;
        }
        if (second >= 3) {
            r->piece = Piece::Literal;
            r->remaining = second;
            r->done = 0;
            uint32_t bytes;
            switch (c) {
            case Coding::Rle8: bytes = second; r->padAfter = bytes & 1; break;
            case Coding::Rle4: bytes = (second + 1) / 2; r->padAfter = bytes & 1; break;
            case Coding::Rle4AsBits: bytes = (second + 1) / 2; r->padAfter = bytes & 1; break;  // 16-bit words
            default: r->padAfter = 0; break;
            }
            continue;
        }
        if (strict) return FX_E_FORMAT;
        if (second == 0) return 0;  // end of line: the rest of the row keeps what it held
        if (second == 1) {
            r->endOfImage = true;
            return 0;
        }
        // 2: a delta (ignored by the byte and pixel runs)
        if (c == Coding::ByteRuns || c == Coding::PixelRuns) continue;
        if (c == Coding::Rle4AsBits) return FX_E_UNSUPPORTED;
        int dx = r->in.Get(), dy = r->in.Get();
        if (dx < 0 || dy < 0) return FX_E_READ;
        x += uint32_t(dx);
        if (dy > 0) {
            r->skipRows = uint32_t(dy) - 1;
            r->startX = x;
            return 0;
        }
        if (x >= width) {
            r->startX = x - width;
            return 0;
        }
    }
    // The published codings end a row at its last pixel: what is left of a
    // run or an absolute stretch there covers the row's padding and is
    // dropped, never carried into the next row (writers commonly code the
    // padded width).  Our own codings carry it on.
    if (r->piece != Piece::None && !strict && (c == Coding::Rle8 || c == Coding::Rle4 || c == Coding::Rle4AsBits)) {
        if (r->piece == Piece::Literal) {
            uint32_t skip = r->remaining;
            if (c != Coding::Rle8) {  // nibbles: whole bytes left after the current one
                uint32_t total = r->done + r->remaining;
                skip = (total + 1) / 2 - (r->done + 1) / 2;
            }
            if (!r->in.Skip(skip + r->padAfter)) return FX_E_READ;
        }
        r->piece = Piece::None;
        r->remaining = 0;
    }
    // The row is full: take the end-of-line (or end-of-image) escape that
    // normally closes it, so that the next row does not read it as empty.
    if (r->piece == Piece::None && c != Coding::PixelRuns && r->in.Peek(0) == 0) {
        int e = r->in.Peek(1);
        if (e == 0 || e == 1) {
            r->in.Skip(2);
            if (e == 1) r->endOfImage = true;
        }
    } else if (r->piece == Piece::None && c == Coding::PixelRuns && r->in.Peek(0) == 0 && r->in.Peek(3) >= 0 &&
               r->in.Peek(3) <= 1) {
        int e = r->in.Peek(3);
        r->in.Skip(6);
        if (e == 1) r->endOfImage = true;
    }
    return 0;
}

Coding CodingOf(const BmpHeader& h)
{
    switch (h.compression) {
    case kCompRle4: return h.depth == 1 ? Coding::Rle4AsBits : Coding::Rle4;
    case kCompByteRuns: return Coding::ByteRuns;
    case kCompPixelRuns: return Coding::PixelRuns;
    case kCompRleNoPad: return Coding::Rle8NoPad;
    default: return Coding::Rle8;
    }
}

int WINAPI BmpReadRunRow(ConvertSource* s, BYTE* row)
{
    BmpReader* r = State(s);
    if (!r) return FX_E_READ;
    return DecodeRunRow(r, CodingOf(r->h), row, uint32_t(r->h.width), r->h.depth, false);
}

// Planar 24-bit rows: the row is RLE8-coded as all blue bytes, then all
// green, then all red; an escape inside the row is refused.
int WINAPI BmpReadPlanarRow(ConvertSource* s, BYTE* row)
{
    BmpReader* r = State(s);
    if (!r || !r->planar) return FX_E_READ;
    uint32_t w = uint32_t(r->h.width);
    Coding c = r->h.compression == kCompRleNoPad ? Coding::Rle8NoPad : Coding::Rle8;
    int rc = DecodeRunRow(r, c, r->planar, 3 * w, 8, true);
    if (rc < 0) return rc;
    for (uint32_t x = 0; x < w; ++x) {
        row[3 * x] = r->planar[x];
        row[3 * x + 1] = r->planar[w + x];
        row[3 * x + 2] = r->planar[2 * w + x];
    }
    return 0;
}

// Title-coded rows: a decoder state of the reader's own, fresh after each
// prepare.
int WINAPI BmpReadViiRow(ConvertSource* s, BYTE* row)
{
    BmpReader* r = State(s);
    if (!r) return FX_E_READ;
    if (!r->vii) {
        r->vii = new (std::nothrow) ViiCodec;
        if (!r->vii) return FX_E_MEMORY;
        r->vii->Reset(uint32_t(r->h.width));
    }
    return ViiDecodeRow(*r->vii, r->in, row, uint32_t(r->h.width), r->h.depth);
}

int WINAPI BmpOpen(ConvertSource* s)
{
    s->priv = nullptr;
    if (!s->stream) return FX_E_NOINPUT;
    BmpHeader h;
    int rc = ParseHeader(s->stream, h);
    if (rc < 0) return rc;
    s->width = uint16_t(h.width);
    s->height = uint16_t(h.height);
    s->depth = uint16_t(h.depth);
    s->bytesPerRow = fxRowBytes(uint32_t(h.width), uint32_t(h.depth));
    s->paletteCount = uint16_t(h.paletteCount);
    s->rowOrder = h.topDown ? 0x600 : 0x300;
    s->formatId = FX_ID_BMP;
    s->readerCaps = 0;
    s->prepare = BmpPrepare;
    s->close = BmpClose;
    s->getPalette = BmpPalette;
    if (h.compression == kCompPlain) s->readRow = BmpReadPlain;
    else if (h.compression == kCompVii) s->readRow = BmpReadViiRow;
    else if (h.depth == 24 && (h.compression == kCompRle8 || h.compression == kCompRleNoPad))
        s->readRow = BmpReadPlanarRow;
    else s->readRow = BmpReadRunRow;
    return 0;
}

// ---- writer -------------------------------------------------------------

struct BmpWriter {
    int sub = 0;
    int depth = 0, width = 0, height = 0;
    uint32_t rowBytes = 0;
    bool fileHeader = true;
    int paletteCount = 0;
    RGBQUAD palette[256];
    bool havePalette = false;
    uint8_t* code = nullptr;  // run-length output of one row
    uint8_t* planes = nullptr;
};

BmpWriter* WState(ConvertTarget* t) { return static_cast<BmpWriter*>(t->priv); }

bool Bmp32Enabled()
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Quillon", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExA(key, "bmp32", nullptr, &type, nullptr, &size);
    RegCloseKey(key);
    // The value switches 32-bit output on when it exists and its data fits in
    // 4 bytes; the data itself is not looked at.
    return rc == ERROR_SUCCESS && size <= 4;
}

int WINAPI BmpWriterPalette(ConvertTarget* t, const RGBQUAD* entries, int count)
{
    BmpWriter* w = WState(t);
    if (!w || !entries || count <= 0) return 0;
    if (count > 256) count = 256;
    std::memcpy(w->palette, entries, sizeof(RGBQUAD) * size_t(count));
    w->paletteCount = count;
    w->havePalette = true;
    return count;
}

// Codes one row of bytes with RLE8: runs of equal bytes (up to 255),
// absolute stretches of unequal bytes (3 to 255, padded to an even length),
// short leftovers as runs; the row ends with 0, 0.  Returns the coded length.
uint32_t CodeRle8(const uint8_t* p, uint32_t n, uint8_t* out)
{
    uint32_t o = 0, i = 0;
    while (i < n) {
        uint32_t run = 1;
        while (i + run < n && run < 255 && p[i + run] == p[i]) ++run;
        if (run >= 2) {
            out[o++] = uint8_t(run);
            out[o++] = p[i];
            i += run;
            continue;
        }
        // Unequal bytes up to where two equal bytes begin.
        uint32_t len = 1;
        while (i + len < n && len < 255 && !(i + len + 1 < n && p[i + len] == p[i + len + 1])) ++len;
        if (len >= 3) {
            out[o++] = 0;
            out[o++] = uint8_t(len);
            std::memcpy(out + o, p + i, len);
            o += len;
            if (len & 1) out[o++] = 0;
        } else {
            for (uint32_t k = 0; k < len; ++k) {
                out[o++] = 1;
                out[o++] = p[i + k];
            }
        }
        i += len;
    }
    out[o++] = 0;
    out[o++] = 0;
    return o;
}

int WINAPI BmpBeginRows(ConvertTarget* t)
{
    BmpWriter* w = WState(t);
    if (!w) return FX_E_MEMORY;
    w->depth = t->depth;
    w->width = t->width;
    w->height = t->height;
    if (DepthIndex(w->depth) < 0) return FX_E_UNSUPPORTED;
    if (w->sub == 1 && w->depth != 8 && w->depth != 24) return FX_E_UNSUPPORTED;  // no title-image row coder here
    w->rowBytes = fxRowBytes(uint32_t(w->width), uint32_t(w->depth));
    t->bytesPerRow = w->rowBytes;
    w->fileHeader = !(t->writerState & 2);
    if (w->depth <= 8) {
        if (!w->havePalette) {
            w->paletteCount = DefaultPaletteSize(w->depth, 0);
            DefaultPalette(w->palette, w->paletteCount);
        }
    } else {
        w->paletteCount = 0;
    }
    if (w->sub == 1) {
        uint32_t n = uint32_t(w->width) * (w->depth == 24 ? 3 : 1);
        w->code = new (std::nothrow) uint8_t[n * 2 + 16];
        if (w->depth == 24) w->planes = new (std::nothrow) uint8_t[n];
        if (!w->code || (w->depth == 24 && !w->planes)) return FX_E_MEMORY;
    }
    uint32_t compression = w->sub == 1 ? kCompRle8 : kCompPlain;
    BmpInfoHeader ih = {};
    ih.size = 40;
    ih.width = w->width;
    ih.height = w->height;
    ih.planes = 1;
    ih.bitCount = uint16_t(w->depth);
    ih.compression = compression;
    ih.sizeImage = w->rowBytes * uint32_t(w->height);
    ih.clrUsed = uint32_t(w->paletteCount);
    if (w->fileHeader) {
        BmpFileHeader fh = {};
        fh.type = kBM;
        fh.offBits = 54 + 4 * uint32_t(w->paletteCount);
        fh.size = fh.offBits + ih.sizeImage;
        if (!WriteExact(t->stream, &fh, sizeof fh)) return FX_E_WRITE;
    }
    if (!WriteExact(t->stream, &ih, sizeof ih)) return FX_E_WRITE;
    if (w->paletteCount) {
        RGBQUAD pal[256];
        std::memcpy(pal, w->palette, sizeof pal);
        for (int i = 0; i < w->paletteCount; ++i) pal[i].rgbReserved = 0;
        if (!WriteExact(t->stream, pal, 4 * uint32_t(w->paletteCount))) return FX_E_WRITE;
    }
    return 0;
}

int WINAPI BmpWriteRow(ConvertTarget* t, const BYTE* row)
{
    BmpWriter* w = WState(t);
    if (!w || !w->rowBytes) return FX_E_WRITE;
    if (w->sub != 1) return WriteExact(t->stream, row, w->rowBytes) ? 0 : FX_E_WRITE;
    uint32_t n;
    if (w->depth == 24) {
        uint32_t wd = uint32_t(w->width);
        for (uint32_t x = 0; x < wd; ++x) {
            w->planes[x] = row[3 * x];
            w->planes[wd + x] = row[3 * x + 1];
            w->planes[2 * wd + x] = row[3 * x + 2];
        }
        n = CodeRle8(w->planes, 3 * wd, w->code);
    } else {
        n = CodeRle8(row, uint32_t(w->width), w->code);
    }
    return WriteExact(t->stream, w->code, n) ? 0 : FX_E_WRITE;
}

int WINAPI BmpWriterClose(ConvertTarget* t)
{
    BmpWriter* w = WState(t);
    int rc = 0;
    if (w && w->sub == 1 && w->rowBytes && t->stream) {
        // Fix the sizes of the run-length file: bfSize and biSizeImage.
        LONG len = bfSeek(t->stream, 0, 2);
        uint32_t head = (w->fileHeader ? 54u : 40u) + 4u * uint32_t(w->paletteCount);
        uint8_t v[4];
        if (len > 0) {
            if (w->fileHeader) {
                PutLe32(v, uint32_t(len));
                if (bfSeek(t->stream, 2, 0) != 2 || !WriteExact(t->stream, v, 4)) rc = FX_E_WRITE;
            }
            PutLe32(v, uint32_t(len) - head);
            LONG at = w->fileHeader ? 34 : 20;
            if (bfSeek(t->stream, at, 0) != at || !WriteExact(t->stream, v, 4)) rc = FX_E_WRITE;
            bfSeek(t->stream, 0, 2);
        }
    }
    if (w) {
        delete[] w->code;
        delete[] w->planes;
        delete w;
    }
    t->priv = nullptr;
    return rc;
}

int WINAPI BmpWriterOpen(ConvertTarget* t)
{
    BmpWriter* w = new (std::nothrow) BmpWriter;
    if (!w) return FX_E_MEMORY;
    w->sub = t->subFormat <= 2 ? t->subFormat : 0;
    t->priv = w;
    switch (w->sub) {
    case 1: t->caps = 0x388; break;
    case 2: t->caps = 0x39A; break;
    default: t->caps = 0x38F | (Bmp32Enabled() ? 0xA0 : 0); break;
    }
    t->beginRows = BmpBeginRows;
    t->writeRow = BmpWriteRow;
    t->close = BmpWriterClose;
    t->setPalette = BmpWriterPalette;
    return 0;
}

}  // namespace

extern "C" int WINAPI BMPEnumReadFormats(int index, FormatRecord* record)
{
    if (index != 0 || !record) return -1;
    FillReadEntry(record, "BMP, Microsoft", FX_ID_BMP, 0x8F, true, BmpOpen, 19, "BMP\0RLE\0DIB\0", 13);
    return 0;
}

extern "C" int WINAPI BMPEnumWriteFormats(int index, FormatRecord* record)
{
    static const struct {
        const char* name;
        const char* ext;
        uint16_t mask;
        uint32_t options;
    } entries[3] = {{"BMP, Microsoft", "BMP\0", 0x8F, 19}, {"RLE, Microsoft", "RLE\0", 0x88, 19},
                    {"RLE, Microsoft", "RLE\0", 0xBA, 17}};
    if (index < 0 || index > 2 || !record) return -1;
    const auto& e = entries[index];
    FillWriteEntry(record, e.name, FX_ID_BMP, e.mask, BmpWriterOpen, e.options, uint16_t(index), e.ext, 5);
    return 2 - index;
}

namespace ferrix {
// For tests: the RLE8 row coder.
uint32_t BmpCodeRle8(const uint8_t* p, uint32_t n, uint8_t* out) { return CodeRle8(p, n, out); }
}  // namespace ferrix
