#include <windows.h>

#include "record.h"

namespace cuelink {

bool Readable(const void* p, size_t n)
{
    if (!p) return false;
    return n == 0 || !IsBadReadPtr(p, n);
}

bool Writable(void* p, size_t n)
{
    if (!p) return false;
    return n == 0 || !IsBadWritePtr(p, n);
}

PartA PartA::From(const uint8_t* p, size_t size)
{
    PartA a;
    a.p = p;
    a.size = size;
    if (!p || size < 30) return a;
    if (p[0] == '<' || p[1] == ':') return a;
    a.isRecord = true;
    a.width = U16(p + 6);
    a.height = U16(p + 8);
    a.type = U16(p + 10);
    a.value = U16(p + 12);
    a.crawlRow = I16(p + 20);
    a.frames = U16(p + 28);
    return a;
}

bool PartA::Trailer(uint32_t blockFlags, const uint8_t** effect, size_t* effectSize, const uint8_t** object,
                    size_t* objectSize) const
{
    *effect = *object = nullptr;
    *effectSize = *objectSize = 0;
    if (!p || !(blockFlags & (QCG_BLOCK_OBJECT_DATA | QCG_BLOCK_EFFECT_DATA))) return false;
    size_t end = size;
    auto take = [&](const uint8_t** out, size_t* outSize) {
        if (end < 4) return false;
        const uint32_t n = U32(p + end - 4);
        if (n >= size || n > end - 4) return false;
        *out = p + end - 4 - n;
        *outSize = n;
        end -= 4 + n;
        return true;
    };
    if (blockFlags & QCG_BLOCK_EFFECT_DATA) {
        if (!take(effect, effectSize)) return false;
        if ((blockFlags & QCG_BLOCK_OBJECT_DATA) && !take(object, objectSize)) return false;
        return true;
    }
    // Only object data: the single trailer block is the object.
    return take(object, objectSize);
}

bool ImagePart::Parse(const uint8_t* q, size_t n)
{
    *this = ImagePart();
    if (!q || n < 50) return false;
    if (n == kUnknownSize && !Readable(q, 50)) return false;
    p = q;
    size = n;
    kind = U16(q + 2);
    width = I16(q + 8);
    height = U16(q + 10);
    if (width <= 0) return false;
    pixels = q + 50;
    pixelBytes = n == kUnknownSize ? kUnknownSize : n - 50;
    defaultRow = I16(q + 24);
    altMarker = U16(q + 26) == 0x3333;
    altRow = I16(q + 28);
    if (kind != QCG_KIND_CRAWL) return true;
    const int count = I16(q + 12);
    const uint32_t table = U32(q + 14);
    order = q[19];
    segHeight = I16(q + 22);
    if (count < 0 || segHeight <= 0) return false;
    if (n == kUnknownSize) {
        if (table > (1u << 30) || !Readable(q, table + size_t(count) * 4)) return false;
    } else if (table > n || size_t(count) * 4 > n - table) {
        return false;
    }
    gap = (segHeight & ~7) >= 16 ? segHeight >> 3 : 2;
    segments.resize(count);
    for (int s = 0; s < count; ++s) {
        segments[s].width = I16(q + table + 2 * s);
        segments[s].start = I16(q + table + 2 * count + 2 * s);
    }
    return true;
}

int ImagePart::CrawlWidth() const
{
    int w = 0;
    for (const Segment& s : segments)
        if (s.width - gap > 0) w += s.width - gap;
    return w;
}

bool Block::From(const QcgRecordBlock* b)
{
    *this = Block();
    if (!Readable(b, sizeof(QcgRecordBlock))) return false;
    head = b;
    if (b->headerLength != sizeof(QcgRecordBlock)) return false;
    const uint64_t parts = uint64_t(b->sizeA) + b->dataSize + b->textSize + b->imageSize;
    if (parts > (uint64_t(1) << 30) || !Readable(b, sizeof(QcgRecordBlock) + size_t(parts))) return false;
    const uint8_t* at = reinterpret_cast<const uint8_t*>(b) + sizeof(QcgRecordBlock);
    a = PartA::From(at, b->sizeA);
    at += b->sizeA;
    data = at;
    dataSize = b->dataSize;
    at += dataSize;
    text = at;
    textSize = b->textSize;
    at += textSize;
    image = at;
    imageSize = b->imageSize;
    return true;
}

int CrawlPos(const PartA* a, const ImagePart& img)
{
    int row;
    if (img.altMarker)
        row = img.altRow;
    else if (a && a->isRecord)
        row = a->crawlRow;
    else
        row = img.defaultRow;
    return row & ~1;
}

}  // namespace cuelink
