// PICT writer: a version 2 picture holding one 32-bit direct-colour pixel
// map, each row packed per component (alpha, red, green, blue) with
// PackBits.  Every multi-byte field is big-endian.
#include <new>

#include "fmtio.h"

using namespace ferrix;

namespace {

const uint32_t kHeaderSize = 150;
const uint32_t kFixed72 = 0x00480000;  // 72.0 in 16.16 fixed point

// The 8 bytes of our own at the end of the long comment's data.
const uint8_t kCommentTag[8] = {'F', 'e', 'r', 'r', 'i', 'x', 0, 1};

struct PictWriter {
    uint8_t* rowBuffer = nullptr;
    uint32_t rowBufferSize = 0;
    uint32_t width = 0, height = 0;
    uint32_t sourceRowBytes = 0;
    uint32_t packedTotal = 0;  // bytes of all packed rows with their counts
    uint32_t headerAt = 0;     // stream position of the picture size word
};

PictWriter* WState(ConvertTarget* t) { return static_cast<PictWriter*>(t->priv); }

}  // namespace

namespace ferrix {

// Writes the 150-byte picture header for a width x height picture.
void PictHeader(uint8_t* h, uint32_t width, uint32_t height)
{
    std::memset(h, 0, kHeaderSize);
    auto rect = [&](uint8_t* p) {
        PutBe16(p, 0);
        PutBe16(p + 2, 0);
        PutBe16(p + 4, height);
        PutBe16(p + 6, width);
    };
    PutBe16(h + 0, 0);  // picture size, fixed at close
    rect(h + 2);        // picture frame
    PutBe16(h + 10, 0x0011);
    PutBe16(h + 12, 0x02FF);
    PutBe16(h + 14, 0x0C00);
    PutBe16(h + 16, 0xFFFE);
    PutBe16(h + 18, 0);
    PutBe32(h + 20, kFixed72);
    PutBe32(h + 24, kFixed72);
    rect(h + 28);
    PutBe32(h + 36, 0);
    PutBe16(h + 40, 0x00A1);  // long comment
    PutBe16(h + 42, 498);
    PutBe16(h + 44, 22);
    std::memcpy(h + 46, "8BIM", 4);
    PutBe16(h + 50, 0);
    PutBe16(h + 52, 0);
    PutBe16(h + 54, 0);
    PutBe16(h + 56, height);
    PutBe16(h + 58, width);
    std::memcpy(h + 60, kCommentTag, 8);
    PutBe16(h + 68, 0x0001);  // clip region
    PutBe16(h + 70, 10);
    rect(h + 72);
    PutBe16(h + 80, 0x009A);  // direct bits rectangle
    PutBe32(h + 82, 0x000000FF);
    PutBe16(h + 86, (width * 4) | 0x8000);
    rect(h + 88);
    PutBe16(h + 96, 0);   // pixel-map version
    PutBe16(h + 98, 4);   // pack type
    PutBe32(h + 100, 0);  // pack size
    PutBe32(h + 104, kFixed72);
    PutBe32(h + 108, kFixed72);
    PutBe16(h + 112, 16);  // direct pixels
    PutBe16(h + 114, 32);
    PutBe16(h + 116, 4);
    PutBe16(h + 118, 8);
    PutBe32(h + 120, 0);
    PutBe32(h + 124, 0);
    PutBe32(h + 128, 0);
    rect(h + 132);
    rect(h + 140);
    PutBe16(h + 148, 64);
}

// PackBits of n bytes taken `step` bytes apart: runs of 2 to 128 equal bytes
// become 257 - n and the value, literal stretches of 1 to 128 bytes n - 1
// and the bytes.  Returns the packed length.
uint32_t PictPackBits(const uint8_t* p, uint32_t n, uint32_t step, uint8_t* out)
{
    auto at = [&](uint32_t i) { return p[size_t(i) * step]; };
    uint32_t o = 0, i = 0;
    while (i < n) {
        uint32_t run = 1;
        while (i + run < n && run < 128 && at(i + run) == at(i)) ++run;
        if (run >= 2) {
            out[o++] = uint8_t(257 - run);
            out[o++] = at(i);
            i += run;
            continue;
        }
        uint32_t len = 1;
        while (i + len < n && len < 128 && !(i + len + 1 < n && at(i + len) == at(i + len + 1))) ++len;
        out[o++] = uint8_t(len - 1);
        for (uint32_t k = 0; k < len; ++k) out[o++] = at(i + k);
        i += len;
    }
    return o;
}

}  // namespace ferrix

namespace {

int WINAPI PictBegin(ConvertTarget* t)
{
    if (t->depth != 32) return FX_E_UNSUPPORTED;
    // The row bytes share their word with two flag bits, and the rectangles
    // hold signed 16-bit coordinates.
    if (t->width == 0 || t->height == 0 || uint32_t(t->width) * 4 > 0x3FFF || t->height > 0x7FFF)
        return FX_E_UNSUPPORTED;
    PictWriter* w = WState(t);
    if (!w) {
        w = new (std::nothrow) PictWriter;
        if (!w) return FX_E_WRITE;
        t->priv = w;
    }
    w->width = t->width;
    w->height = t->height;
    w->sourceRowBytes = 4 * w->width;
    t->bytesPerRow = w->sourceRowBytes;
    w->rowBufferSize = w->width * 6 > 512 ? w->width * 6 : 512;
    w->rowBuffer = new (std::nothrow) uint8_t[w->rowBufferSize];
    if (!w->rowBuffer) return FX_E_MEMORY;
    uint8_t pre[512] = {};
    uint8_t h[kHeaderSize];
    PictHeader(h, w->width, w->height);
    LONG start = bfSeek(t->stream, 0, 1);
    w->headerAt = uint32_t(start < 0 ? 0 : start) + 512;
    if (!WriteExact(t->stream, pre, sizeof pre) || !WriteExact(t->stream, h, sizeof h)) return FX_E_WRITE;
    return 0;
}

int WINAPI PictWriteRow(ConvertTarget* t, const BYTE* row)
{
    PictWriter* w = WState(t);
    if (!w || !w->rowBuffer) return FX_E_WRITE;
    if (w->width * 4 < 8) {
        // Rows shorter than 8 bytes are stored unpacked, without a byte
        // count: the pixels as they are, alpha, red, green, blue.
        static const int argb[4] = {3, 2, 1, 0};
        uint32_t o = 0;
        for (uint32_t x = 0; x < w->width; ++x)
            for (int c : argb) w->rowBuffer[o++] = row[4 * x + c];
        w->packedTotal += o;
        return WriteExact(t->stream, w->rowBuffer, o) ? 0 : FX_E_WRITE;
    }
    const bool wide = w->width * 4 >= 251;
    uint32_t o = wide ? 2 : 1;
    // Component planes in the order alpha, red, green, blue.
    static const int order[4] = {3, 2, 1, 0};
    for (int c : order) o += PictPackBits(row + c, w->width, 4, w->rowBuffer + o);
    uint32_t n = o - (wide ? 2 : 1);
    if (wide) PutBe16(w->rowBuffer, n);
    else w->rowBuffer[0] = uint8_t(n);
    w->packedTotal += o;
    return WriteExact(t->stream, w->rowBuffer, o) ? 0 : FX_E_WRITE;
}

int WINAPI PictClose(ConvertTarget* t)
{
    PictWriter* w = WState(t);
    int rc = 0;
    if (w && w->rowBuffer && t->stream) {
        uint8_t tail[3] = {0, 0x00, 0xFF};
        bool odd = (w->packedTotal & 1) != 0;
        if (!WriteExact(t->stream, odd ? tail : tail + 1, odd ? 3 : 2)) rc = FX_E_WRITE;
        LONG end = bfSeek(t->stream, 0, 2);
        uint8_t size[2];
        PutBe16(size, uint32_t(end - LONG(w->headerAt)) & 0xFFFF);  // modulo 65536, as version 2 allows
        if (rc == 0 && (bfSeek(t->stream, LONG(w->headerAt), 0) != LONG(w->headerAt) || !WriteExact(t->stream, size, 2)))
            rc = FX_E_WRITE;
        bfSeek(t->stream, 0, 2);
    }
    if (w) {
        delete[] w->rowBuffer;
        delete w;
    }
    t->priv = nullptr;
    return rc;
}

int WINAPI PictOpen(ConvertTarget* t)
{
    t->caps = 0x6A0;
    t->priv = nullptr;
    t->beginOutput = PictBegin;
    t->writeRow = PictWriteRow;
    t->close = PictClose;
    return 0;
}

}  // namespace

extern "C" int WINAPI PICTEnumWriteFormats(int index, FormatRecord* record)
{
    if (index != 0 || !record) return -1;
    FillWriteEntry(record, "PICT, Apple", FX_ID_PICT, 0xA0, PictOpen, 19, 0, "PCT\0PICT\0PIC\0", 14);
    return 0;
}
