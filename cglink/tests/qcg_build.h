// Test helpers: CG records built from plain pixel arrays, their image
// streams written by the image filters' title-image coder.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

#include "cuelink.h"

namespace qcgtest {

using Bytes = std::vector<uint8_t>;
using Pixels = std::vector<uint32_t>;

struct Crawl {
    int segHeight = 16, defaultRow = 0, altRow = 0;
    bool altMarker = false;
    std::vector<int16_t> widths, starts;
};

Bytes EncodeRows(const Pixels& px, int w, int h);
Bytes MakeImage(uint16_t kind, int w, int h, const Pixels& px, const Crawl* crawl = nullptr);
Bytes MakeImageRaw(uint16_t kind, int w, int h, const Bytes& stream, const Crawl* crawl = nullptr);
Bytes MakePartA(int w, int h, int type, int value = 0, int crawlRow = 0, int frames = 0, size_t size = 32);
Bytes MakeBlock(const Bytes& partA, const Bytes& data, const std::string& text, const Bytes& image,
                uint32_t flags = 0);

// A test picture: opaque and half-transparent stripes with some holes.
Pixels Pattern(int w, int h, uint32_t seed);

// Memory that ends at an inaccessible page: bytes copied to its very end.
struct GuardedCopy {
    uint8_t* base = nullptr;
    uint8_t* data = nullptr;
    size_t pages = 0;
    explicit GuardedCopy(const Bytes& b);
    ~GuardedCopy();
};

}  // namespace qcgtest
