// PCDLIB32.dll: Image Pac reading.  The Image Pac begins with its information
// sector ("PCD_IPI" at 0x800, the orientation in the low two bits of the byte
// at 0xE02); each base resolution is stored from a fixed sector as groups of
// two luma rows followed by one row of each chroma channel at half width
// (Kodak's PhotoYCC: Y, C1, C2).
#include "pcdlib.h"

#include <new>
#include <string.h>
#include <vector>

struct PcdImage {
    HANDLE file;
    int orientation;   // 0..3 quarter turns to the right
    int resolution;    // 1..3 delivered
    PcdProgress progress;
    void *user;
};

namespace {

struct Level {
    uint32_t width, height, offset;
};
const Level kLevels[3] = {{192, 128, 0x2000}, {384, 256, 0xB800}, {768, 512, 0x30000}};

inline uint8_t Clamp(float v) { return v <= 0 ? 0 : v >= 255 ? 255 : uint8_t(v + 0.5f); }

// Kodak's PhotoYCC to RGB.
void YccToBgr(int y, int c1, int c2, uint8_t *bgr)
{
    const float l = 1.3584f * float(y), a = 2.2179f * float(c1 - 156), b = 1.8215f * float(c2 - 137);
    bgr[2] = Clamp(l + b);
    bgr[1] = Clamp(l - 0.194f * a - 0.509f * b);
    bgr[0] = Clamp(l + a);
}

bool ReadAt(HANDLE f, uint32_t at, void *buf, DWORD n)
{
    LONG high = 0;
    if (SetFilePointer(f, LONG(at), &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        return false;
    DWORD done = 0;
    return ReadFile(f, buf, n, &done, nullptr) && done == n;
}

bool Turned(const PcdImage *p) { return p->orientation == 1 || p->orientation == 3; }

}  // namespace

extern "C" int WINAPI PcdOpen(const char *path, PcdImage **image)
{
    if (!image) return PCD_E_ARG;
    *image = nullptr;
    if (!path || !*path) return PCD_E_OPEN;
    HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return PCD_E_OPEN;
    char sig[8] = {};
    uint8_t orient = 0;
    if (!ReadAt(f, 0x800, sig, 7) || memcmp(sig, "PCD_IPI", 7) != 0 || !ReadAt(f, 0xE02, &orient, 1)) {
        CloseHandle(f);
        return PCD_E_OPEN;
    }
    PcdImage *p = new (std::nothrow) PcdImage;
    if (!p) {
        CloseHandle(f);
        return PCD_E_OPEN;
    }
    p->file = f;
    p->orientation = orient & 3;
    p->resolution = PCD_BASE;
    p->progress = nullptr;
    p->user = nullptr;
    *image = p;
    return PCD_OK;
}

extern "C" int WINAPI PcdGetResolutions(PcdImage *p, int *count)
{
    if (!p || !count) return PCD_E_ARG;
    *count = 3;
    return PCD_OK;
}

extern "C" int WINAPI PcdGetOrientation(PcdImage *p, int *code)
{
    static const int codes[4] = {1, 4, 6, 7};
    if (!p || !code) return PCD_E_ARG;
    *code = codes[p->orientation];
    return PCD_OK;
}

extern "C" int WINAPI PcdSetResolution(PcdImage *p, int resolution)
{
    if (!p || resolution < PCD_BASE16 || resolution > PCD_16BASE) return PCD_E_ARG;
    p->resolution = resolution > PCD_BASE ? PCD_BASE : resolution;  // the residual levels are not decoded
    return PCD_OK;
}

extern "C" int WINAPI PcdSetProgress(PcdImage *p, PcdProgress cb, void *user)
{
    if (!p) return PCD_E_ARG;
    p->progress = cb;
    p->user = user;
    return PCD_OK;
}

extern "C" int WINAPI PcdGetRect(PcdImage *p, int16_t rect[4])
{
    if (!p || !rect) return PCD_E_ARG;
    const Level &l = kLevels[p->resolution - 1];
    rect[0] = rect[1] = 0;
    rect[2] = int16_t(Turned(p) ? l.height : l.width);
    rect[3] = int16_t(Turned(p) ? l.width : l.height);
    return PCD_OK;
}

extern "C" int WINAPI PcdGetFormat(PcdImage *p, int *format)
{
    if (!p || !format) return PCD_E_ARG;
    *format = 11;
    return PCD_OK;
}

extern "C" int WINAPI PcdReadImage(PcdImage *p, BYTE *dest, LONG bytesPerRow)
{
    if (!p || !dest) return PCD_E_ARG;
    const Level &l = kLevels[p->resolution - 1];
    const uint32_t outW = Turned(p) ? l.height : l.width, outH = Turned(p) ? l.width : l.height;
    if (bytesPerRow < LONG(outW * 3)) return PCD_E_ARG;
    std::vector<uint8_t> group;
    try {
        group.resize(size_t(l.width) * 3);  // two luma rows, then C1 and C2 at half width
    } catch (...) {
        return PCD_E_READ;
    }
    for (uint32_t y = 0; y < l.height; y += 2) {
        if (!ReadAt(p->file, l.offset + y / 2 * uint32_t(group.size()), group.data(), DWORD(group.size())))
            return PCD_E_READ;
        const uint8_t *c1 = group.data() + 2 * l.width, *c2 = c1 + l.width / 2;
        for (uint32_t dy = 0; dy < 2; ++dy) {
            const uint8_t *luma = group.data() + dy * l.width;
            for (uint32_t x = 0; x < l.width; ++x) {
                // Where stored pixel (x, y + dy) lands after turning the picture.
                uint32_t sy = y + dy, ox, oy;
                switch (p->orientation) {
                case 1: ox = l.height - 1 - sy; oy = x; break;            // a quarter to the right
                case 2: ox = l.width - 1 - x; oy = l.height - 1 - sy; break;
                case 3: ox = sy; oy = l.width - 1 - x; break;             // a quarter to the left
                default: ox = x; oy = sy; break;
                }
                (void)outH;
                YccToBgr(luma[x], c1[x / 2], c2[x / 2], dest + LONG_PTR(oy) * bytesPerRow + ox * 3);
            }
        }
        if (p->progress && (y + 2) % 16 == 0) p->progress(1, LONG(y + 2), p->user);
    }
    return PCD_OK;
}

extern "C" int WINAPI PcdClose(PcdImage *p)
{
    if (!p) return PCD_E_ARG;
    CloseHandle(p->file);
    delete p;
    return PCD_OK;
}
