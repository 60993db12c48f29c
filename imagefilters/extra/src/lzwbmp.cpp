// Imploded BMP filter ("LZW" entries): a BMP file whose rows (in file order,
// with their padding) are stored as one imploded stream, compression 99998,
// or plain when coding would not make them smaller.  The writer gathers the
// whole image in memory and writes the file at close.
#include <new>
#include <vector>

#include "extra.h"
#include "implode.h"

namespace ferrix {
namespace {

const uint32_t kImploded = 99998;

uint32_t RowBytes(uint32_t w, uint32_t depth) { return (w * depth + 31) / 32 * 4; }
uint32_t EntriesFor(uint32_t depth) { return depth == 1 ? 2 : depth <= 4 ? 16 : depth <= 8 ? 256 : 0; }

struct LzwReader {
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
    if (Le32(ih) != 40 || Le32(ih + 16) != kImploded) return FX_E_FORMAT;
    int32_t w = int32_t(Le32(ih + 4)), h = int32_t(Le32(ih + 8));
    uint32_t depth = Le16(ih + 14);
    if (w <= 0 || h <= 0 || w > 65535 || h > 65535 ||
        !(depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32))
        return FX_E_UNSUPPORTED;
    LzwReader* r = new (std::nothrow) LzwReader;
    if (!r) return FX_E_MEMORY;
    r->entries = Le32(ih + 32) ? Le32(ih + 32) : EntriesFor(depth);
    if (r->entries > 256) r->entries = 256;
    r->dataSize = Le32(ih + 20);
    s->priv = r;
    s->width = uint16_t(w);
    s->height = uint16_t(h);
    s->depth = uint16_t(depth);
    s->bytesPerRow = RowBytes(uint32_t(w), depth);
    s->paletteCount = uint16_t(r->entries);
    s->rowOrder = 0x300;
    s->formatId = 13;
    s->readRow = nullptr;
    s->readImage = LzwReadImage;
    s->getPalette = r->entries ? LzwPalette : nullptr;
    s->close = LzwClose;
    return 0;
}

// ---- writer -------------------------------------------------------------

struct LzwWriter {
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
    if (!(w->depth == 1 || w->depth == 4 || w->depth == 8 || w->depth == 16 || w->depth == 24 || w->depth == 32))
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
        const uint32_t entries = EntriesFor(w->depth), plain = uint32_t(w->image.size());
        VecIo io{&w->image, 0, {}};
        std::vector<char> work(kImplodeWorkSize);
        unsigned mode = 0, dict = 4096;
        bool coded = implode(ReadVec, WriteVec, work.data(), &io, &mode, &dict) == IMPLODE_OK && io.out.size() < plain;
        const std::vector<uint8_t>& data = coded ? io.out : w->image;
        uint8_t fh[14] = {'B', 'M'}, ih[40] = {};
        const uint32_t off = 54 + 4 * entries;
        PutLe32(fh + 2, off + uint32_t(data.size()));
        PutLe32(fh + 10, off);
        PutLe32(ih, 40);
        PutLe32(ih + 4, w->width);
        PutLe32(ih + 8, w->height);
        PutLe16(ih + 12, 1);
        PutLe16(ih + 14, w->depth);
        PutLe32(ih + 16, kImploded);
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

int WINAPI LzwWriterOpen(ConvertTarget* t)
{
    LzwWriter* w = W(t) ? W(t) : new (std::nothrow) LzwWriter;
    if (!w) return FX_E_MEMORY;
    t->priv = w;
    t->formatId = 13;
    t->caps = t->depth ? (uint32_t(t->depth) | 0x100BF) : 0x103BF;
    t->beginOutput = LzwBeginOutput;
    t->beginRows = LzwBeginRows;
    t->writeRow = LzwWriteRow;
    t->skipRow = LzwSkipRow;
    t->setPalette = LzwSetPalette;
    t->close = LzwWriterClose;
    return 0;
}

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
