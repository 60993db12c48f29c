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
