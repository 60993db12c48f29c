/*
 * Reader of title export files.  Every length in the file is checked in 64
 * bits against what is really there before anything is read or written.
 */
#include "title_file.h"
#include <cstring>

void TitlePremultiply(uint8_t *p, size_t count)
{
    for (size_t i = 0; i < count; i++, p += 4) {
        const uint32_t a = p[3];
        if (a == 255) continue;
        if (a == 0) {
            p[0] = p[1] = p[2] = p[3] = 0;
            continue;
        }
        p[0] = (uint8_t)TitleScale255(p[0], a);
        p[1] = (uint8_t)TitleScale255(p[1], a);
        p[2] = (uint8_t)TitleScale255(p[2], a);
    }
}

/* Pixel bytes of a width x height block when that many are present in
 * avail bytes, else -1 (negative sizes, and products that would overflow
 * or exceed avail: 0x7FFFFFFF x 0x7FFFFFFF x 4 does not fit in 64 bits). */
static int64_t block_bytes(int32_t w, int32_t h, int64_t avail)
{
    if (w < 0 || h < 0 || avail < 0) return -1;
    int64_t pixels, bytes;
    if (__builtin_mul_overflow((int64_t)w, (int64_t)h, &pixels)) return -1;
    if (__builtin_mul_overflow(pixels, (int64_t)4, &bytes)) return -1;
    return bytes <= avail ? bytes : -1;
}

static TitleParseResult parse_layers(TitleData *t)
{
    const int64_t total = (int64_t)t->data.size();
    int64_t cursor = 0;
    for (const TitleLayerRecord &r : t->records) {
        TitleLayer l;
        l.rec = r;
        if (r.dataLength < 0 || cursor + r.dataLength > total) return TITLE_BAD_LAYER;
        l.offset = (size_t)cursor;
        uint8_t *block = t->data.data() + cursor;
        switch (r.type) {
        case TITLE_LAYER_IMAGE: {
            const int64_t n = block_bytes(r.width, r.height, r.dataLength);
            if (n < 0) return TITLE_BAD_LAYER;
            l.pixelOffset = l.offset;
            l.hasPixels = n > 0;
            TitlePremultiply(block, (size_t)(n / 4));
            break;
        }
        case TITLE_LAYER_TEXT:
        case TITLE_LAYER_CLIP: {
            if (r.dataLength < (int64_t)sizeof(TextLayerHeader)) return TITLE_BAD_LAYER;
            memcpy(&l.text, block, sizeof(TextLayerHeader));
            const int64_t n = l.text.stringLength;
            const int64_t rest = r.dataLength - (int64_t)sizeof(TextLayerHeader);
            if (n < 0 || n > rest) return TITLE_BAD_LAYER;
            const char *s = reinterpret_cast<const char *>(block + sizeof(TextLayerHeader));
            l.string.assign(s, strnlen(s, (size_t)n));
            l.text.font.faceName[31] = 0;
            /* A clip never carries a shadow mask, whatever its shadow type. */
            if (r.type == TITLE_LAYER_TEXT && l.text.shadowType == TITLE_SHADOW_SOFT) {
                const int64_t m = block_bytes(r.width, r.height, rest - n);
                if (m < 0) return TITLE_BAD_LAYER;
                l.pixelOffset = l.offset + sizeof(TextLayerHeader) + (size_t)n;
                l.hasPixels = m > 0;
                TitlePremultiply(t->data.data() + l.pixelOffset, (size_t)(m / 4));
            }
            break;
        }
        default:
            break;   /* unknown kinds draw nothing */
        }
        t->layers.push_back(l);
        cursor += r.dataLength;
    }
    return TITLE_OK;
}

TitleParseResult ParseTitleExport(const uint8_t *bytes, size_t size, TitleData *out)
{
    *out = TitleData();
    if (size < sizeof(TitleExportHeader)) return TITLE_SHORT;
    TitleExportHeader h;
    memcpy(&h, bytes, sizeof(h));
    if (h.magic != TITLE_EXPORT_MAGIC) return TITLE_BAD_MAGIC;
    if (h.count < 0 || h.total < 0) return TITLE_BAD_COUNTS;
    const int64_t recordBytes = (int64_t)h.count * (int64_t)sizeof(TitleLayerRecord);
    const int64_t need = (int64_t)sizeof(h) + recordBytes + h.total;
    if (need > (int64_t)size) return TITLE_BAD_COUNTS;

    out->header = h;
    /* Nothing to draw without both layers and data. */
    if (h.count == 0 || h.total == 0) return TITLE_OK;

    out->records.resize((size_t)h.count);
    memcpy(out->records.data(), bytes + sizeof(h), (size_t)recordBytes);
    out->data.assign(bytes + sizeof(h) + recordBytes, bytes + need);
    TitleParseResult r = parse_layers(out);
    if (r != TITLE_OK) *out = TitleData();
    return r;
}
