// Checked views of a CG record block: part A (the record header), the image
// part with its crawl segment table, and the animation trailer.  Every size
// and offset is compared with the bytes the caller can actually give before
// anything is read.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cuelink.h"

namespace cuelink {

inline uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline int16_t I16(const uint8_t* p) { return int16_t(U16(p)); }
inline uint32_t U32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }

// Whether n bytes from p can be read / written (caller memory of any kind:
// the pages are touched under an exception guard).
bool Readable(const void* p, size_t n);
bool Writable(void* p, size_t n);

// The size of a part handed over without one: its stream is checked page
// by page as the decoder reaches it.
const size_t kUnknownSize = ~size_t(0);

struct PartA {
    const uint8_t* p = nullptr;
    size_t size = 0;
    bool isRecord = false;  // long enough, and not a "<" or "?:" text header
    uint16_t width = 0, height = 0, type = 0, value = 0, frames = 0;
    int16_t crawlRow = 0;

    static PartA From(const uint8_t* p, size_t size);
    // The animation trailer: [object][u32][effect][u32] at the end of part A.
    bool Trailer(uint32_t blockFlags, const uint8_t** effect, size_t* effectSize, const uint8_t** object,
                 size_t* objectSize) const;
};

struct Segment {
    int width, start;  // columns in the stream rows
};

struct ImagePart {
    const uint8_t* p = nullptr;
    size_t size = 0;
    uint16_t kind = 0;
    int width = 0, height = 0;
    // crawls
    std::vector<Segment> segments;
    int segHeight = 0, gap = 2, defaultRow = 0, altRow = 0;
    bool altMarker = false;
    uint8_t order = 0;
    const uint8_t* pixels = nullptr;  // run-length stream
    size_t pixelBytes = 0;

    // False when the header, segment table or sizes are not sound; size may
    // be kUnknownSize.
    bool Parse(const uint8_t* p, size_t size);
    int CrawlWidth() const;  // sum of the visible segment widths
};

// A whole block: the header's sizes checked against the readable bytes.
struct Block {
    const QcgRecordBlock* head = nullptr;
    PartA a;
    const uint8_t* data = nullptr;
    size_t dataSize = 0;
    const uint8_t* text = nullptr;
    size_t textSize = 0;
    const uint8_t* image = nullptr;
    size_t imageSize = 0;

    bool From(const QcgRecordBlock* b);
};

// Target row of a crawl strip (even, sign-extended).
int CrawlPos(const PartA* a, const ImagePart& img);

}  // namespace cuelink
