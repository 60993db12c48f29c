// Layers over Windows bitmaps: a layer whose pixels are a top-down 32-bit
// DIB section, and ready-made bitmaps of a layer scaled over a background.
#include <windows.h>
#include <wine/debug.h>
#include "m32.h"
#include "layer.h"
#include "scanline_other.h"

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

extern "C" {

LONG PIXAPI CreateDIBLayer(HBITMAP *bitmap, Layer **layer, LONG width, LONG height)
{
    WINE_TRACE("(%p, %p, %d, %d)\n", bitmap, layer, (int)width, (int)height);
    if (!bitmap || !layer) return 0;
    // Past this a row's byte count no longer fits the layer's pitch.
    if (width <= 0 || height <= 0 || width > 0x1FFFFFFF / 4) return 0;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;   // top-down: row 0 is the top row
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(NULL);
    void *bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
    ReleaseDC(NULL, screen);
    if (!bmp || !bits) {
        if (bmp) DeleteObject(bmp);
        return 0;
    }
    Layer *l = CreateCompatibleLayer(bits, width, height, width * 4);
    if (!l) {
        DeleteObject(bmp);
        return 0;
    }
    *bitmap = bmp;
    *layer = l;
    return 1;
}

HBITMAP PIXAPI CreateBitmapLayerBackground(Layer *layer, LONG width, LONG height, Layer *background)
{
    WINE_TRACE("(%p, %d, %d, %p)\n", layer, (int)width, (int)height, background);
    if (!layer) return NULL;
    if (!background) background = GetStockLayer(0);
    HBITMAP bmp = NULL;
    Layer *dib = nullptr;
    if (!CreateDIBLayer(&bmp, &dib, width, height)) return NULL;
    FXSThumbnailLayer(dib, layer, 1, background);
    SetAlphaLayer(dib, 0);
    DeleteLayer(dib);
    return bmp;
}

HBITMAP PIXAPI CreateBitmapLayer(Layer *layer, LONG width, LONG height)
{
    WINE_TRACE("(%p, %d, %d)\n", layer, (int)width, (int)height);
    if (!layer) return NULL;
    HBITMAP bmp = NULL;
    Layer *dib = nullptr;
    if (!CreateDIBLayer(&bmp, &dib, width, height)) return NULL;
    FXSThumbnailLayer(dib, layer, 0, GetStockLayer(2));
    SetAlphaLayer(dib, 0);
    DeleteLayer(dib);
    return bmp;
}

HBITMAP PIXAPI CreateBitmapLayerEx(Layer *layer, LONG width, LONG height)
{
    return CreateBitmapLayerBackground(layer, width, height, GetStockLayer(0));
}

} // extern "C"

// ---- Test pictures -----------------------------------------------------------
// Fixed pictures from fixed paths for the authors' own checks.  Rows are
// read whole into a row buffer, so a short or odd file leaves rows zeroed
// instead of writing past anything.

namespace {

struct File {
    HANDLE h;
    explicit File(const char *path) : h(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL)) {}
    ~File()
    {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    bool ok() const { return h != INVALID_HANDLE_VALUE; }
    bool read(void *buf, DWORD n)
    {
        DWORD got = 0;
        return ReadFile(h, buf, n, &got, NULL) && got == n;
    }
};

#pragma pack(push, 1)
struct BmpHeaders {
    BYTE magic[2];
    DWORD fileSize;
    DWORD reserved;
    DWORD dataOffset;
    BITMAPINFOHEADER info;
};
#pragma pack(pop)
static_assert(sizeof(BmpHeaders) == 54, "14-byte file header and 40-byte info header");

// Reads height rows of width pixels (bpp 24 or 32) from the data offset
// into layer, bottom row of the file first, and turns the layer upright.
void read_rows(File &f, const BmpHeaders &hd, Layer *layer, LONG width, LONG height, int bpp)
{
    if (SetFilePointer(f.h, (LONG)hd.dataOffset, NULL, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return;
    const DWORD rowBytes = (DWORD)width * (DWORD)(bpp / 8);
    BYTE *row = (BYTE *)M32_alloc(rowBytes);
    if (!row) return;
    for (LONG y = 0; y < height && f.read(row, rowBytes); ++y) {
        DWORD *out = (DWORD *)(layer->pixels + (size_t)y * layer->pitch);
        for (LONG x = 0; x < width; ++x) {
            const BYTE *p = row + (size_t)x * (bpp / 8);
            out[x] = (bpp == 32 ? (DWORD)p[3] << 24 : 0xFF000000u) | p[2] << 16 | p[1] << 8 | p[0];
        }
    }
    M32_free(row);
    FlipVertLayer(layer);
}

Layer *fixed_picture(const char *path, LONG width, LONG height, int bpp)
{
    Layer *layer = CreateLayer(width, height, 1);
    if (!layer) return nullptr;
    File f(path);
    BmpHeaders hd;
    if (f.ok() && f.read(&hd, sizeof hd)) read_rows(f, hd, layer, width, height, bpp);
    return layer;
}

} // namespace

extern "C" {

Layer *PIXAPI CreateFlower(void)
{
    WINE_TRACE("()\n");
    return fixed_picture("c:\\bitmaps\\flower.bmp", 768, 512, 24);
}

Layer *PIXAPI CreateSuperGenius(void)
{
    WINE_TRACE("()\n");
    return fixed_picture("c:\\bitmaps\\backtest.bmp", 720, 486, 32);
}

Layer *PIXAPI CreateTextImage(void)
{
    WINE_TRACE("()\n");
    File f("c:\\bitmaps\\foretest.bmp");
    BmpHeaders hd;
    if (!f.ok() || !f.read(&hd, sizeof hd)) return nullptr;
    // The size comes from the file: only a bottom-up 32-bit picture of a
    // sane size is taken.
    const LONG w = hd.info.biWidth, h = hd.info.biHeight;
    if (hd.magic[0] != 'B' || hd.magic[1] != 'M' || hd.info.biBitCount != 32 || w <= 0 || h <= 0 || w > 16384 ||
        h > 16384)
        return nullptr;
    Layer *layer = CreateLayer(w, h, 1);
    if (layer) read_rows(f, hd, layer, w, h, 32);
    return layer;
}

} // extern "C"
