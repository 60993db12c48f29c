/*
 * Title export files ("~lmTemp.lme", "~lmPrevTemp.LME"): the byte layout the
 * title-box control writes and the engine's reader of it.  Plain code over
 * bytes in memory; the combiner reads the file and hands the bytes here.
 *
 * Layout (little-endian, no padding): a 16-byte header, then one 52-byte
 * layer record per layer, then every layer's data block back to back in
 * record order.  The file comes from outside the engine: the reader checks
 * every count, length and offset against the bytes it was given and refuses
 * the whole file rather than read or write past a buffer.
 */
#ifndef CORVENGINE_TITLE_FILE_H
#define CORVENGINE_TITLE_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum { TITLE_EXPORT_MAGIC = 4737 };
enum TitleLayerType { TITLE_LAYER_TEXT = 0, TITLE_LAYER_IMAGE = 1, TITLE_LAYER_CLIP = 2 };
enum TitleShadowType { TITLE_SHADOW_NONE = 0, TITLE_SHADOW_SINGLE = 1, TITLE_SHADOW_SOLID = 2,
                       TITLE_SHADOW_SOFT = 3 };

#pragma pack(push, 1)
struct TitleExportHeader {
    int32_t magic;       /* 4737 */
    int32_t count;       /* layers */
    int32_t total;       /* bytes of all data blocks */
    int32_t reserved;    /* ignored */
};

struct TitleLayerRecord {
    int32_t type;        /* TitleLayerType */
    int32_t width, height;
    int32_t motion;      /* 0 still */
    int32_t fromX, fromY, toX, toY;
    float duration;      /* seconds */
    int32_t border, borderWidth, borderColour;
    int32_t dataLength;  /* bytes of this layer's block */
};

/* The ANSI LOGFONT as it lies in the file (60 bytes). */
struct TitleLogFont {
    int32_t height, width, escapement, orientation, weight;
    uint8_t italic, underline, strikeOut, charSet, outPrecision, clipPrecision, quality,
        pitchAndFamily;
    char faceName[32];
};

/* Head of a text or CG-clip layer's block; the string follows (stringLength
 * bytes, zero padded), then for a soft-shadowed text its shadow mask. */
struct TextLayerHeader {
    TitleLogFont font;
    int32_t alignment;       /* 0 left, 1 centre, 2 right */
    int32_t textColour;      /* COLORREF 0x00BBGGRR */
    int32_t outlineColour;
    int32_t outlineWidth;    /* 0 = no outline */
    int32_t shadowType;      /* TitleShadowType */
    int32_t lineSpacing;     /* percent */
    int32_t shadowDepthX, shadowDepthY;
    int32_t shadowColour;
    int32_t boxFlag, boxOpacity, boxColour;
    int32_t stringLength;
};
#pragma pack(pop)

static_assert(sizeof(TitleExportHeader) == 16, "title export header is 16 bytes");
static_assert(sizeof(TitleLayerRecord) == 52, "layer record is 52 bytes");
static_assert(sizeof(TitleLogFont) == 60, "file LOGFONT is 60 bytes");
static_assert(sizeof(TextLayerHeader) == 112, "text layer header is 112 bytes");

/* One layer as the reader prepared it: the record, and for text and clip
 * layers the decoded header and string; pixel blocks point into the slot's
 * data (premultiplied in place). */
struct TitleLayer {
    TitleLayerRecord rec = {};
    size_t offset = 0;               /* of the block in the data */
    TextLayerHeader text = {};       /* text and clip layers */
    std::string string;              /* text (up to the first NUL) or clip path */
    size_t pixelOffset = 0;          /* image pixels or shadow mask; 0 = none */
    bool hasPixels = false;
};

/* A loaded title: header, records, the data blocks (pixels premultiplied)
 * and the prepared layers. */
struct TitleData {
    TitleExportHeader header = {};
    std::vector<TitleLayerRecord> records;
    std::vector<uint8_t> data;
    std::vector<TitleLayer> layers;
};

enum TitleParseResult {
    TITLE_OK = 0,
    TITLE_SHORT,       /* fewer bytes than a header */
    TITLE_BAD_MAGIC,
    TITLE_BAD_COUNTS,  /* negative count or total, records or data past the end */
    TITLE_BAD_LAYER,   /* a block that does not fit its record or the total */
};

/* Parse a whole file's bytes into out (cleared first).  On any failure out
 * is left empty.  Image pixels and shadow masks are premultiplied. */
TitleParseResult ParseTitleExport(const uint8_t *bytes, size_t size, TitleData *out);

/* Premultiply count 32-bit pixels (blue, green, red, alpha) in place: alpha
 * 255 stays, alpha 0 gives 0 in all four bytes, else each colour byte c
 * becomes c x alpha / 255 rounded to nearest. */
void TitlePremultiply(uint8_t *pixels, size_t count);

/* c x a / 255 rounded to nearest, in the engine's byte arithmetic. */
static inline uint32_t TitleScale255(uint32_t c, uint32_t a)
{
    uint32_t v = c * a + 0x80;
    return (v + (v >> 8)) >> 8;
}

#endif
