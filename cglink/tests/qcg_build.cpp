#include "qcg_build.h"

#include <cstring>

#include "vii.h"

namespace qcgtest {

static void Put16(Bytes& b, size_t at, uint16_t v)
{
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
static void Put32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

Bytes EncodeRows(const Pixels& px, int w, int h)
{
    ferrix::ViiCodec c;
    c.Reset(uint32_t(w));
    Bytes out;
    for (int y = 0; y < h; ++y) ferrix::ViiEncodeRow(c, px.data() + size_t(y) * w, uint32_t(w), 32, out);
    return out;
}

Bytes MakeImageRaw(uint16_t kind, int w, int h, const Bytes& stream, const Crawl* crawl)
{
    Bytes b(50, 0);
    Put16(b, 0, 0xBDEF);
    Put16(b, 2, kind);
    Put16(b, 8, uint16_t(w));
    Put16(b, 10, uint16_t(h));
    b.insert(b.end(), stream.begin(), stream.end());
    if (crawl) {
        const size_t n = crawl->widths.size();
        Put16(b, 12, uint16_t(n));
        Put32(b, 14, uint32_t(b.size()));
        b[19] = 2;
        Put16(b, 22, uint16_t(crawl->segHeight));
        Put16(b, 24, uint16_t(crawl->defaultRow));
        Put16(b, 26, crawl->altMarker ? 0x3333 : 0);
        Put16(b, 28, uint16_t(crawl->altRow));
        for (int16_t v : crawl->widths) b.push_back(uint8_t(v)), b.push_back(uint8_t(uint16_t(v) >> 8));
        for (int16_t v : crawl->starts) b.push_back(uint8_t(v)), b.push_back(uint8_t(uint16_t(v) >> 8));
    }
    return b;
}

Bytes MakeImage(uint16_t kind, int w, int h, const Pixels& px, const Crawl* crawl)
{
    return MakeImageRaw(kind, w, h, EncodeRows(px, w, h), crawl);
}

Bytes MakePartA(int w, int h, int type, int value, int crawlRow, int frames, size_t size)
{
    Bytes a(size, 0);
    Put16(a, 6, uint16_t(w));
    Put16(a, 8, uint16_t(h));
    Put16(a, 10, uint16_t(type));
    Put16(a, 12, uint16_t(value));
    Put16(a, 20, uint16_t(crawlRow));
    Put16(a, 28, uint16_t(frames));
    return a;
}

Bytes MakeBlock(const Bytes& partA, const Bytes& data, const std::string& text, const Bytes& image,
                uint32_t flags)
{
    Bytes b(32, 0);
    Put32(b, 0, 32);
    Put32(b, 8, flags);
    Put32(b, 12, uint32_t(partA.size()));
    Put32(b, 20, uint32_t(data.size()));
    Put32(b, 24, uint32_t(text.size()));
    Put32(b, 28, uint32_t(image.size()));
    b.insert(b.end(), partA.begin(), partA.end());
    b.insert(b.end(), data.begin(), data.end());
    b.insert(b.end(), text.begin(), text.end());
    b.insert(b.end(), image.begin(), image.end());
    return b;
}

Pixels Pattern(int w, int h, uint32_t seed)
{
    Pixels p(size_t(w) * h);
    uint32_t s = seed * 2654435761u + 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            s = s * 1664525u + 1013904223u;
            uint32_t v;
            if ((x / 5 + y / 3) % 4 == 0)
                v = 0;  // holes
            else if ((x / 7) % 3 == 0)
                v = 0x80000000u | ((y * 37 + seed) & 0xFF) << 16 | (x & 0xFF);  // half transparent
            else if ((s >> 28) < 3)
                v = 0xFF000000u | (s & 0xFFFFFF);  // noise
            else
                v = 0xFF000000u | uint32_t((y * 3 + seed) & 0xFF) << 8 | 0x40;  // runs
            p[size_t(y) * w + x] = v;
        }
    return p;
}

GuardedCopy::GuardedCopy(const Bytes& b)
{
    const size_t page = 4096;
    pages = (b.size() + page - 1) / page + 1;
    base = static_cast<uint8_t*>(VirtualAlloc(nullptr, pages * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base + (pages - 1) * page, page, PAGE_NOACCESS, &old);
    data = base + (pages - 1) * page - b.size();
    if (!b.empty()) std::memcpy(data, b.data(), b.size());
}

GuardedCopy::~GuardedCopy()
{
    VirtualFree(base, 0, MEM_RELEASE);
}

}  // namespace qcgtest
