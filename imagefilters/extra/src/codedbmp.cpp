// Coded BMP filters: BMP files whose rows are stored coded, or plain when
// coding would not make them smaller.
//   HKF ("HKF" entries, compression 99995): 32-bit rows cut into vertical
//   strips of at most 1024 pixels, left to right; each strip is a series of
//   block-transform strip streams of 16 lines (the graphics core's HKF
//   scanlines), first file row first.  The header says 24 bits; the pixels
//   are always 32-bit.
//   Imploded ("LZW" entries, compression 99998): the rows in file order,
//   with their padding, as one imploded stream.
// The writers gather the whole image in memory and write the file at close.
#include <algorithm>
#include <new>
#include <vector>

#include "extra.h"
#include "implode.h"

namespace ferrix {
namespace {

const uint32_t kHkf = 99995, kImploded = 99998;
const uint16_t kHkfId = 3, kImplodedId = 13;
const uint32_t kStripWidth = 1024;
const LONG kStripLimit = 65536;  // most bytes one coded strip may take

// The graphics core's HKF scanlines (its line state begins with these two
// words: result, then bytes taken by the strip decoded in this call).
struct HkfLineState {
    LONG result;
    LONG second;
};
extern "C" {
HkfLineState* WINAPI BeginHKFEncodeScanline(LONG width, LONG height);
LONG WINAPI HKFEncodeScanline(BYTE* output, const DWORD* line, HkfLineState* state);
LONG WINAPI EndHKFEncodeScanline(HkfLineState* state);
HkfLineState* WINAPI BeginHKFDecodeScanline(LONG width, LONG height);
LONG WINAPI HKFDecodeScanline(DWORD* line, const BYTE* input, HkfLineState* state);
LONG WINAPI EndHKFDecodeScanline(HkfLineState* state);
}

uint32_t RowBytes(uint32_t w, uint32_t depth) { return (w * depth + 31) / 32 * 4; }
uint32_t EntriesFor(uint32_t depth) { return depth == 1 ? 2 : depth <= 4 ? 16 : depth <= 8 ? 256 : 0; }

struct LzwReader {
    uint32_t compression = 0;
    uint32_t dataSize = 0;
    uint32_t entries = 0;
};

int WINAPI LzwClose(ConvertSource* s)
{
    delete static_cast<LzwReader*>(s->priv);
    s->priv = nullptr;
    return 0;
}

int WINAPI LzwPalette(ConvertSource* s, RGBQUAD* e, int count)
{
    LzwReader* r = static_cast<LzwReader*>(s->priv);
    if (!r || !e || count <= 0) return 0;
    int n = count < int(r->entries) ? count : int(r->entries);
    if (bfSeek(s->stream, 54, 0) != 54 || bfRead(s->stream, e, LONG(n * 4)) != LONG(n * 4)) return 0;
    return n;
}

struct StreamIo {
    BufferedStream* in;
    uint8_t* out;
    size_t cap, len;
};

unsigned ReadStream(char* buf, unsigned* size, void* user)
{
    StreamIo& io = *static_cast<StreamIo*>(user);
    LONG got = bfRead(io.in, buf, LONG(*size));
    return got > 0 ? unsigned(got) : 0;
}

void WriteCut(char* buf, unsigned* size, void* user)
{
    StreamIo& io = *static_cast<StreamIo*>(user);
    size_t n = *size;
    if (n > io.cap - io.len) n = io.cap - io.len;  // never past the destination
    std::memcpy(io.out + io.len, buf, n);
    io.len += n;
}

// Decodes the HKF strips that start at `at` into `image` (32-bit rows of
// `width` pixels in file order).  The decoder may look at up to 64 KB of a
// strip stream: it reads from a window of that size, zero past the data.
bool DecodeHkf(BufferedStream* st, LONG at, uint32_t width, uint32_t height, uint8_t* image)
{
    std::vector<BYTE> window(kStripLimit);
    std::vector<DWORD> line(kStripWidth);
    for (uint32_t x0 = 0; x0 < width; x0 += kStripWidth) {
        const uint32_t w = width - x0 < kStripWidth ? width - x0 : kStripWidth;
        HkfLineState* hs = BeginHKFDecodeScanline(LONG(w), LONG(height));
        if (!hs) return false;
        bool ok = true;
        for (uint32_t y = 0; y < height && ok; ++y) {
            if (y % 16 == 0) {  // a new strip stream begins here
                std::fill(window.begin(), window.end(), 0);
                LONG got = bfSeek(st, at, 0) == at ? bfRead(st, window.data(), kStripLimit) : -1;
                if (got <= 0) ok = false;
            }
            if (ok && !HKFDecodeScanline(line.data(), window.data(), hs)) ok = false;
            if (ok && y % 16 == 0) {
                if (hs->second <= 0) ok = false;
                at += hs->second;
            }
            if (ok) std::memcpy(image + (size_t(y) * width + x0) * 4, line.data(), size_t(w) * 4);
        }
        EndHKFDecodeScanline(hs);
        if (!ok) return false;
    }
    return true;
}

// Codes 32-bit rows of `width` pixels in file order as HKF strips.
bool EncodeHkf(const std::vector<uint8_t>& image, uint32_t width, uint32_t height, std::vector<uint8_t>& out)
{
    std::vector<BYTE> strip(kStripLimit);
    std::vector<DWORD> line(kStripWidth);
    for (uint32_t x0 = 0; x0 < width; x0 += kStripWidth) {
        const uint32_t w = width - x0 < kStripWidth ? width - x0 : kStripWidth;
        HkfLineState* hs = BeginHKFEncodeScanline(LONG(w), LONG(height));
        if (!hs) return false;
        bool ok = true;
        for (uint32_t y = 0; y < height && ok; ++y) {
            std::memcpy(line.data(), image.data() + (size_t(y) * width + x0) * 4, size_t(w) * 4);
            if (!HKFEncodeScanline(strip.data(), line.data(), hs)) ok = false;
            else if (hs->result > 0) out.insert(out.end(), strip.begin(), strip.begin() + hs->result);
        }
        EndHKFEncodeScanline(hs);
        if (!ok) return false;
    }
    return true;
}

int WINAPI LzwReadImage(ConvertSource* s, BYTE* pixels, LONG stride)
{
    LzwReader* r = static_cast<LzwReader*>(s->priv);
    if (!r || !pixels) return FX_E_READ;
    const size_t bpr = s->bytesPerRow, size = bpr * s->height;
    std::vector<uint8_t> image;
    try {
        image.resize(size);
    } catch (...) {
        return FX_E_MEMORY;
    }
    LONG at = LONG(54 + 4 * r->entries);
    if (bfSeek(s->stream, at, 0) != at) return FX_E_READ;
    size_t got = 0;
    if (r->dataSize == size) {
        got = bfRead(s->stream, image.data(), LONG(size)) == LONG(size) ? size : 0;
    } else if (r->compression == kHkf) {
        got = DecodeHkf(s->stream, at, s->width, s->height, image.data()) ? size : 0;
    } else {
        std::vector<char> work(kExplodeWorkSize);
        StreamIo io{s->stream, image.data(), size, 0};
        if (explode(ReadStream, WriteCut, work.data(), &io) != IMPLODE_OK) return FX_E_READ;
        got = io.len;
    }
    if (got != size) return FX_E_READ;
    for (uint32_t y = 0; y < s->height; ++y) std::memcpy(pixels + LONG_PTR(y) * stride, image.data() + y * bpr, bpr);
    return 0;
}

int WINAPI LzwOpen(ConvertSource* s)
{
    s->priv = nullptr;
    if (!s->stream) return FX_E_NOINPUT;
    uint8_t fh[14], ih[40];
    if (bfSeek(s->stream, 0, 0) != 0 || bfRead(s->stream, fh, 14) != 14) return FX_E_READ;
    if (fh[0] != 'B' || fh[1] != 'M') return FX_E_FORMAT;
    if (bfRead(s->stream, ih, 40) != 40) return FX_E_READ;
    const uint32_t compression = Le32(ih + 16);
    if (Le32(ih) != 40 || (compression != kImploded && compression != kHkf)) return FX_E_FORMAT;
    int32_t w = int32_t(Le32(ih + 4)), h = int32_t(Le32(ih + 8));
    const bool hkf = compression == kHkf;
    uint32_t depth = hkf ? 32 : Le16(ih + 14);
    if (w <= 0 || h <= 0 || w > 65535 || h > 65535 ||
        !(depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32))
        return FX_E_UNSUPPORTED;
    LzwReader* r = new (std::nothrow) LzwReader;
    if (!r) return FX_E_MEMORY;
    r->compression = compression;
    r->entries = Le32(ih + 32) ? Le32(ih + 32) : EntriesFor(depth);
    if (hkf) r->entries = 0;  // 32-bit pixels take no palette
    if (r->entries > 256) r->entries = 256;
    r->dataSize = Le32(ih + 20);
    s->priv = r;
    s->width = uint16_t(w);
    s->height = uint16_t(h);
    s->depth = uint16_t(depth);
    s->bytesPerRow = RowBytes(uint32_t(w), depth);
    s->paletteCount = uint16_t(r->entries);
    s->rowOrder = 0x300;
    s->formatId = hkf ? kHkfId : kImplodedId;
    s->readRow = nullptr;
    s->readImage = LzwReadImage;
    s->getPalette = r->entries ? LzwPalette : nullptr;
    s->close = LzwClose;
    return 0;
}

// ---- writer -------------------------------------------------------------

struct LzwWriter {
    bool hkf = false;
    std::vector<uint8_t> image;
    RGBQUAD palette[256] = {};
    LONG step = 0, next = 0;
    uint32_t bpr = 0, depth = 0, width = 0, height = 0;
};

LzwWriter* W(ConvertTarget* t) { return static_cast<LzwWriter*>(t->priv); }

int WINAPI LzwBeginOutput(ConvertTarget* t)
{
    LzwWriter* w = W(t);
    if (!w) return FX_E_MEMORY;
    w->depth = t->depth;
    if (w->hkf ? w->depth != 32
               : !(w->depth == 1 || w->depth == 4 || w->depth == 8 || w->depth == 16 || w->depth == 24 ||
                   w->depth == 32))
        return FX_E_UNSUPPORTED;
    w->width = t->width;
    w->height = t->height;
    w->bpr = RowBytes(w->width, w->depth);
    t->bytesPerRow = w->bpr;
    try {
        w->image.assign(size_t(w->bpr) * w->height, 0);
    } catch (...) {
        return FX_E_MEMORY;
    }
    return 0;
}

int WINAPI LzwBeginRows(ConvertTarget* t)
{
    LzwWriter* w = W(t);
    if (!w) return FX_E_MEMORY;
    w->step = LONG(w->bpr);
    w->next = 0;
    if (t->writerState & 1) {
        w->step = -LONG(w->bpr);
        w->next = LONG((w->height ? w->height - 1 : 0) * w->bpr);
    }
    return 0;
}

int WINAPI LzwWriteRow(ConvertTarget* t, const BYTE* row)
{
    LzwWriter* w = W(t);
    if (!w || w->next < 0 || size_t(w->next) + w->bpr > w->image.size()) return FX_E_WRITE;
    std::memcpy(w->image.data() + w->next, row, w->bpr);
    w->next += w->step;
    return 0;
}

int WINAPI LzwSkipRow(ConvertTarget* t)
{
    LzwWriter* w = W(t);
    if (!w) return FX_E_WRITE;
    w->next += w->step;
    return 0;
}

int WINAPI LzwSetPalette(ConvertTarget* t, const RGBQUAD* e, int count)
{
    LzwWriter* w = W(t);
    if (!w || !e || count <= 0) return 0;
    if (count > 256) count = 256;
    std::memcpy(w->palette, e, size_t(count) * 4);
    return count;
}

struct VecIo {
    const std::vector<uint8_t>* in;
    size_t at;
    std::vector<uint8_t> out;
};

unsigned ReadVec(char* buf, unsigned* size, void* user)
{
    VecIo& io = *static_cast<VecIo*>(user);
    size_t n = io.in->size() - io.at;
    if (n > *size) n = *size;
    std::memcpy(buf, io.in->data() + io.at, n);
    io.at += n;
    return unsigned(n);
}

void WriteVec(char* buf, unsigned* size, void* user)
{
    VecIo& io = *static_cast<VecIo*>(user);
    io.out.insert(io.out.end(), buf, buf + *size);
}

int WINAPI LzwWriterClose(ConvertTarget* t)
{
    LzwWriter* w = W(t);
    if (!w) return -1;
    int rc = 0;
    if (!w->image.empty() || (w->width && w->height)) {
        const uint32_t entries = w->hkf ? 0 : EntriesFor(w->depth), plain = uint32_t(w->image.size());
        VecIo io{&w->image, 0, {}};
        bool coded;
        if (w->hkf) {
            coded = EncodeHkf(w->image, w->width, w->height, io.out) && io.out.size() < plain;
        } else {
            std::vector<char> work(kImplodeWorkSize);
            unsigned mode = 0, dict = 4096;
            coded = implode(ReadVec, WriteVec, work.data(), &io, &mode, &dict) == IMPLODE_OK && io.out.size() < plain;
        }
        const std::vector<uint8_t>& data = coded ? io.out : w->image;
        uint8_t fh[14] = {'B', 'M'}, ih[40] = {};
        const uint32_t off = 54 + 4 * entries;
        PutLe32(fh + 2, off + uint32_t(data.size()));
        PutLe32(fh + 10, off);
        PutLe32(ih, 40);
        PutLe32(ih + 4, w->width);
        PutLe32(ih + 8, w->height);
        PutLe16(ih + 12, 1);
        PutLe16(ih + 14, w->hkf ? 24 : w->depth);
        PutLe32(ih + 16, w->hkf ? kHkf : kImploded);
        PutLe32(ih + 20, uint32_t(data.size()));
        PutLe32(ih + 32, entries);
        BufferedStream* st = t->stream;
        const bool fileHeader = !(t->writerState & 2);
        const LONG hdr = fileHeader ? 0 : -14;  // without the file header everything moves up
        if (bfSeek(st, 0, 0) != 0 ||
            (fileHeader && bfWrite(st, fh, 14) != 14) || bfWrite(st, ih, 40) != 40 ||
            (entries && bfWrite(st, w->palette, LONG(entries * 4)) != LONG(entries * 4)) ||
            bfSeek(st, LONG(off) + hdr, 0) != LONG(off) + hdr ||
            bfWrite(st, data.data(), LONG(data.size())) != LONG(data.size()))
            rc = FX_E_WRITE;
    }
    delete w;
    t->priv = nullptr;
    return rc;
}

int CodedWriterOpen(ConvertTarget* t, bool hkf)
{
    LzwWriter* w = W(t) ? W(t) : new (std::nothrow) LzwWriter;
    if (!w) return FX_E_MEMORY;
    w->hkf = hkf;
    t->priv = w;
    t->formatId = hkf ? kHkfId : kImplodedId;
    const uint32_t mask = hkf ? 0x100A0 : 0x100BF;
    t->caps = t->depth ? (uint32_t(t->depth) | mask) : (mask | 0x300);
    t->beginOutput = LzwBeginOutput;
    t->beginRows = LzwBeginRows;
    t->writeRow = LzwWriteRow;
    t->skipRow = LzwSkipRow;
    t->setPalette = LzwSetPalette;
    t->close = LzwWriterClose;
    return 0;
}

int WINAPI LzwWriterOpen(ConvertTarget* t) { return CodedWriterOpen(t, false); }
int WINAPI HkfWriterOpen(ConvertTarget* t) { return CodedWriterOpen(t, true); }

}  // namespace
}  // namespace ferrix

using namespace ferrix;

extern "C" int WINAPI LZWEnumReadFormats(int index, FormatRecord* r)
{
    if (index != 0 || !r) return -1;
    FillOldRead(r, "LZW", "Tarvo Works", 13, 0x82, 1, LzwOpen);
    return 0;
}

extern "C" int WINAPI LZWEnumWriteFormats(int index, FormatRecord* r)
{
    if (index != 0 || !r) return -1;
    FillOldWrite(r, "LZW", "Tarvo Works", 13, 0xBF, LzwWriterOpen);
    return 0;
}

extern "C" int WINAPI HKFEnumReadFormats(int index, FormatRecord* r)
{
    if (index != 0 || !r) return -1;
    FillOldRead(r, "HKF", "Tarvo Works", kHkfId, 0xA0, 1, LzwOpen);
    return 0;
}

extern "C" int WINAPI HKFEnumWriteFormats(int index, FormatRecord* r)
{
    if (index != 0 || !r) return -1;
    FillOldWrite(r, "HKF", "Tarvo Works", kHkfId, 0xA0, HkfWriterOpen);
    return 0;
}
