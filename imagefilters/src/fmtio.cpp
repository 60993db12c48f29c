// Helpers shared by the public format filters.
#include "fmtio.h"

namespace ferrix {

void FillReadEntry(FormatRecord* r, const char* name, uint16_t id, uint16_t depthMask, bool probe,
                   FxReaderOpen open, uint32_t options, const char* extensions, size_t extLen)
{
    (void)extLen;
    fxFillRecord(r, name, id, depthMask);
    r->u.read.probe = probe ? 1 : 0;
    r->u.read.open = open;
    r->u.read.options = options;
    fxSetExtensions(r->u.read.extensions, sizeof r->u.read.extensions, extensions);
}

void FillWriteEntry(FormatRecord* r, const char* name, uint16_t id, uint16_t depthMask, FxWriterOpen open,
                    uint32_t options, uint16_t subFormat, const char* extensions, size_t extLen)
{
    (void)extLen;
    fxFillRecord(r, name, id, depthMask);
    r->u.write.open = open;
    r->u.write.options = options;
    r->u.write.subFormat = subFormat;
    fxSetExtensions(r->u.write.extensions, sizeof r->u.write.extensions, extensions);
}

void DefaultPalette(RGBQUAD* e, int count)
{
    if (!e || count <= 0) return;
    if (count > 256) count = 256;
    std::memset(e, 0, sizeof(RGBQUAD) * size_t(count));
    if (count <= 2) {
        if (count == 2) e[1].rgbRed = e[1].rgbGreen = e[1].rgbBlue = 255;
        return;
    }
    if (count <= 16) {
        // Blue, green, red of the 16 standard VGA colours.
        static const uint8_t vga[16][3] = {{0, 0, 0},       {128, 0, 0},     {0, 128, 0},   {128, 128, 0},
                                           {0, 0, 128},     {128, 0, 128},   {0, 128, 128}, {192, 192, 192},
                                           {128, 128, 128}, {255, 0, 0},     {0, 255, 0},   {255, 255, 0},
                                           {0, 0, 255},     {255, 0, 255},   {0, 255, 255}, {255, 255, 255}};
        for (int i = 0; i < count; ++i) {
            e[i].rgbBlue = vga[i][0];
            e[i].rgbGreen = vga[i][1];
            e[i].rgbRed = vga[i][2];
        }
        return;
    }
    for (int i = 0; i < count; ++i) {
        uint8_t v = uint8_t(i * 255 / (count - 1));
        e[i].rgbBlue = e[i].rgbGreen = e[i].rgbRed = v;
    }
}

}  // namespace ferrix
