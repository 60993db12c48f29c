// Rendering of still, roll and crawl images from their run-length stream.
// All state lives in the objects of one call: renderings on several threads
// never share a decoder, scratch buffer or weight table.
#pragma once
#include <cstddef>
#include <cstdint>

#include "record.h"

namespace cuelink {

// The row decoder of the image stream: 4-bit codes, a colour history and a
// run table.  Row(nullptr) decodes a row without writing it.
class RowDecoder {
public:
    explicit RowDecoder(const ImagePart& img);
    bool Row(uint32_t* out);  // false when the stream ends inside the row
    // Decodes a row into a sink: Px(x, colour) for one pixel, Run(x, n,
    // colour) for a run.
    template <class Sink>
    bool Decode(Sink& sink);

private:
    bool Need(size_t n);  // n more bytes readable at p_
    bool lazy_;
    enum { kHistory = 4100 };
    uint32_t hist_[kHistory];
    uint32_t run_[128];
    int idx_ = 3954;
    uint32_t cur_ = 0;
    int width_;
    const uint8_t* p_;
    const uint8_t* end_;
    const uint8_t* start_;
};

// A pixel buffer seen row by row; a bottom-up buffer has row 0 last.
struct Target {
    uint8_t* base = nullptr;
    int w = 0, h = 0;
    ptrdiff_t stride = 0;
    bool bottomUp = false;
    int fieldStart = 0, fieldStep = 1;  // rows written: fieldStart + k x fieldStep
    bool Wants(int y) const { return fieldStep == 1 || (y & 1) == fieldStart; }
    uint32_t* Row(int y) const
    {
        return reinterpret_cast<uint32_t*>(base + (bottomUp ? ptrdiff_t(h - 1 - y) : ptrdiff_t(y)) * stride);
    }
};

// sa x 255 / a for every a and sa (integer division), made at load.
extern const uint8_t (&kBlendWeight)[256][256];

// Source pixel s over target pixel t (straight alpha).
inline uint32_t Blend(uint32_t t, uint32_t s)
{
    const uint32_t sa = s >> 24;
    if (sa == 255) return s;
    if (sa == 0) return t;
    const uint32_t ta = t >> 24;
    const uint32_t a = sa + ta - ((sa * ta + 255) >> 8);
    const uint32_t w = kBlendWeight[a][sa];
    if (w == 255) return s;
    uint32_t out = a << 24;
    for (int sh = 0; sh < 24; sh += 8) {
        const uint32_t c = (w * ((s >> sh) & 255) + (255 - w) * ((t >> sh) & 255) + 127) >> 8;
        out |= c << sh;
    }
    return out;
}

// Renders the image part (with part A, or null / not a record) into a
// buffer of width x |height| (negative: bottom-up), stride in bytes.
// Flags are the QCG_RENDER_* bits.  False when the image cannot be drawn.
bool Render(uint32_t flags, const PartA* a, const ImagePart& img, void* buffer, int width, int height,
            int stride, double position, double total);

// Decodes the whole image (kinds 200 and 201: width x height; crawls: the
// visible segment parts side by side, CrawlWidth() x height) top row first.
bool DecodeBitmap(const ImagePart& img, uint32_t* out, int outWidth);

}  // namespace cuelink
