// Title-image codec: the recent-colour list and the row coder shared by the
// title-image filter (stills, logos, rolls, crawls, title pages) and the BMP
// filter's title-coded rows.
#pragma once
#include <cstdint>
#include <vector>

#include "fmtio.h"

namespace ferrix {

#pragma pack(push, 1)
// 50-byte header of a still, roll or crawl (at offset 8 of a logo).
struct ViiHeader {
    uint16_t signature;    // 0xBDEF
    uint16_t code;         // compression code
    uint16_t x, y;
    uint16_t width, height;
    uint16_t frames;       // 0xFFFF in a still / an unclosed roll or crawl
    uint32_t tableOffset;  // frame table (roll, crawl) or mask data (logo)
    uint8_t zero;
    uint8_t order;         // 2: rows were written in the VII row order
    uint16_t reserved20;
    uint16_t segHeight;    // older crawls
    uint16_t leadRows;     // older crawls
    uint16_t marker;       // 0xCDEF frame table; 0x3333 older crawl with position word
    uint16_t posWord;
    uint32_t totalWidth;
    uint32_t totalHeight;
    uint32_t fill;         // the writer's fill colour 0xAARRGGBB
    uint8_t reserved42[8];
};
struct ViiFrame {
    uint16_t x, y, width, height;
    uint32_t offset;
};
#pragma pack(pop)
static_assert(sizeof(ViiHeader) == 50, "title image header is 50 bytes");
static_assert(sizeof(ViiFrame) == 12, "frame entry is 12 bytes");

const uint16_t kViiSig = 0xBDEF, kViiShortSig = 0xEDEF, kViiTableMark = 0xCDEF, kViiOldCrawl = 0x3333;
const uint32_t kQcgMagic = 0xF7F5AECBu;
const uint32_t kViiRollPage = 486;

// The recent-colour list with the run table: one per image being coded.
struct ViiCodec {
    static const int kSlots = 4096;
    uint32_t slot[kSlots + 4];  // two spare slots behind the window stay 0
    int pos = 3954;
    uint32_t last = 0;
    int lastCode = -1;
    uint32_t run[128];

    void Reset(uint32_t width);
    void RowStart(uint32_t width)
    {
        if (pos < int(width)) pos = 3812;
    }
    // Keeps the front inside the window for rows wider than the list.
    void Guard()
    {
        if (pos < 1) pos = 3812;
    }
    void Push(uint32_t c)
    {
        --pos;
        slot[pos] = c;
    }
    uint32_t MoveFront(int d)
    {
        uint32_t c = slot[pos + d];
        --pos;
        slot[pos] = c;
        slot[pos + d + 1] = slot[pos + d + 2];
        return c;
    }
};

// Decodes one row of width pixels (bpp 16 or 32) from `in` into out.
// Returns 0, or FX_E_READ when the data ends inside the row.
int ViiDecodeRow(ViiCodec& c, ByteIn& in, void* out, uint32_t width, int bpp);
// Codes one row; appends the row's bytes to out.
void ViiEncodeRow(ViiCodec& c, const void* pixels, uint32_t width, int bpp, std::vector<uint8_t>& out);

// Key-mask runs of one row: run lengths of alternating transparent/opaque
// values, starting transparent.  opaque[i] tells each pixel.
void ViiMaskRuns(const uint8_t* opaque, uint32_t width, std::vector<uint8_t>& out);

// 16-bit colour of entry i (0-1330) of the 1331-colour table.
uint16_t ViiTableColour(uint32_t i);
// A 16-bit pixel through the colour table to 32-bit ARGB.
uint32_t ViiExpand(uint16_t v);

// Settings file read for "VistaVii" (default "quillon.ini"); tests point
// it elsewhere.  Null restores the default.
void ViiSetSettingsPath(const char* path);

}  // namespace ferrix
