// Memory bitmap pseudo-format (format id 1) and the DIB routines shared
// with the driver.  Rows are read and written straight in the pixel memory,
// every access checked against the size of the block that holds it.
#include "membitmap.h"
#include <string.h>
#include <stdlib.h>
#include <algorithm>

namespace {

const uint64_t kUnknownSize = ~0ull;

struct MemState
{
    HGLOBAL  locked;        // handle locked while the state lives
    BITMAPINFOHEADER *bmi;
    RGBQUAD *colours;
    uint32_t colourCount;   // entries the colour table holds
    BYTE    *pixels;
    uint64_t size;          // bytes at pixels, kUnknownSize for caller pointers
    uint32_t stride;        // bytes between rows
    uint32_t copy;          // bytes of one row
    uint32_t rows;
    int64_t  pos;
    int64_t  step;
    bool     gdi;           // the pixels come from a GDI bitmap at prepare
};

uint32_t colourTableCount(const BITMAPINFOHEADER *bmi)
{
    if (bmi->biClrUsed) return bmi->biClrUsed;
    return bmi->biBitCount <= 8 ? 1u << bmi->biBitCount : 0;
}

// Points the state at a packed DIB in a locked block of `size` bytes.
int takePackedDib(MemState *st, BYTE *block, uint64_t size)
{
    if (size < sizeof(BITMAPINFOHEADER)) return FX_E_BUFFER;
    BITMAPINFOHEADER *bmi = (BITMAPINFOHEADER *)block;
    uint32_t hdr = bmi->biSize;
    if (hdr < sizeof(BITMAPINFOHEADER) || hdr > size) return FX_E_FORMAT;
    uint64_t colours = colourTableCount(bmi);
    uint64_t offset = hdr + colours * 4;
    if (offset > size) return FX_E_BUFFER;
    st->bmi = bmi;
    st->colours = (RGBQUAD *)(block + hdr);
    st->colourCount = (uint32_t)std::min<uint64_t>(colours, 256);
    st->pixels = block + offset;
    st->size = size - offset;
    return 0;
}

bool rowInside(const MemState *st, int64_t pos)
{
    if (!st->pixels || pos < 0) return false;
    if (st->rows && (uint64_t)pos >= (uint64_t)st->rows * st->stride) return false;
    if (st->size == kUnknownSize) return true;
    return (uint64_t)pos + st->copy <= st->size;
}

// ---------------------------------------------------------------- reader

LONG_PTR WINAPI memSkipRow(ConvertSource *s)
{
    MemState *st = (MemState *)s->priv;
    if (!st) return FX_E_READ;
    LONG_PTR row = rowInside(st, st->pos) ? (LONG_PTR)(st->pixels + st->pos) : 0;
    st->pos += st->step;
    return row;
}

int WINAPI memBeginRows(ConvertSource *s)
{
    MemState *st = (MemState *)s->priv;
    if (!st) return FX_E_READ;
    st->copy = fxRowBytes(s->width, s->depth);
    if (st->stride < st->copy) st->stride = st->copy;
    st->rows = s->height;
    if (s->readerState & 1) {
        st->pos = st->rows ? (int64_t)(st->rows - 1) * st->stride : 0;
        st->step = -(int64_t)st->stride;
    } else {
        st->pos = 0;
        st->step = st->stride;
    }
    return 0;
}

int WINAPI memReadRow(ConvertSource *s, BYTE *row)
{
    MemState *st = (MemState *)s->priv;
    if (!st || !row) return FX_E_READ;
    if (!rowInside(st, st->pos)) {
        memset(row, 0, st->copy);
        st->pos += st->step;
        return FX_E_READ;
    }
    memcpy(row, st->pixels + st->pos, st->copy);
    st->pos += st->step;
    return 0;
}

int WINAPI memReaderPalette(ConvertSource *s, RGBQUAD *entries, int count)
{
    MemState *st = (MemState *)s->priv;
    if (!st || !entries || count <= 0 || !st->colours) return 0;
    int n = std::min<int>(count, (int)st->colourCount);
    memcpy(entries, st->colours, n * sizeof(RGBQUAD));
    return n;
}

int WINAPI memReaderClose(ConvertSource *s)
{
    MemState *st = (MemState *)s->priv;
    if (st) {
        if (st->locked) GlobalUnlock(st->locked);
        free(st);
    }
    s->priv = nullptr;
    return 0;
}

int WINAPI memReaderPrepare(ConvertSource *s)
{
    MemState *st = (MemState *)s->priv;
    if (!st) return FX_E_READ;
    if (st->gdi) {
        if (s->callback) s->callback(s, 0, 0);
        HPALETTE pal = s->hPalette;
        HPALETTE temp = nullptr;
        if (!pal && (s->flags & FX_SRC_SYSPALETTE)) pal = temp = fxSystemPalette();
        DWORD size = 0;
        HGLOBAL dib = fxDibFromBitmap(s->hBitmap, BI_RGB, s->depth, pal, &size, nullptr);
        if (temp) DeleteObject(temp);
        if (!dib) return -1;
        s->hOwnDib = dib;
        if (s->callback) s->callback(s, 0, 0);
        BYTE *block = (BYTE *)GlobalLock(dib);
        if (!block) return FX_E_MEMORY;
        st->locked = dib;
        int r = takePackedDib(st, block, GlobalSize(dib));
        if (r) return r;
        st->stride = fxRowBytes(s->width, s->depth);
        st->gdi = false;
    }
    return 0;
}

// ---------------------------------------------------------------- writer

int WINAPI memWriterSkipRow(ConvertTarget *t)
{
    MemState *st = (MemState *)t->priv;
    if (!st) return FX_E_WRITE;
    st->pos += st->step;
    return 0;
}

int WINAPI memWriterBeginRows(ConvertTarget *t)
{
    MemState *st = (MemState *)t->priv;
    if (!st) return FX_E_WRITE;
    if (t->writerState & 1) {
        st->pos = st->rows ? (int64_t)(st->rows - 1) * st->stride : 0;
        st->step = -(int64_t)st->stride;
    } else {
        st->pos = 0;
        st->step = st->stride;
    }
    return 0;
}

int WINAPI memWriteRow(ConvertTarget *t, const BYTE *row)
{
    MemState *st = (MemState *)t->priv;
    if (!st || !row) return FX_E_WRITE;
    if (!rowInside(st, st->pos)) return FX_E_WRITE;
    memcpy(st->pixels + st->pos, row, st->copy);
    st->pos += st->step;
    return 0;
}

int WINAPI memWriterPalette(ConvertTarget *t, const RGBQUAD *entries, int count)
{
    MemState *st = (MemState *)t->priv;
    if (!st || !entries || count <= 0 || !st->colours) return 0;
    int n = std::min<int>(count, (int)st->colourCount);
    memcpy(st->colours, entries, n * sizeof(RGBQUAD));
    return n;
}

int WINAPI memWriterClose(ConvertTarget *t)
{
    MemState *st = (MemState *)t->priv;
    if (st) {
        if (st->locked) GlobalUnlock(st->locked);
        free(st);
    }
    t->priv = nullptr;
    return 0;
}

void frameGeometry(const ConvertTarget *t, int depth, int *w, int *h)
{
    if (t->blockGeometry && t->blockGeometry->bytesPerRow && depth) {
        *w = (int)((uint64_t)t->blockGeometry->bytesPerRow * 8 / depth);
        *h = t->blockGeometry->height ? (int)t->blockGeometry->height : t->height;
    } else if (t->frameSize) {
        *w = t->frameSize->cx;
        *h = t->frameSize->cy;
    } else {
        *w = t->width;
        *h = t->height;
    }
}

int WINAPI memBeginOutput(ConvertTarget *t)
{
    MemState *st = (MemState *)t->priv;
    if (!st) return FX_E_MEMORY;
    int depth = t->depth;
    if (fxDepthIndex(depth) < 0) return FX_E_UNSUPPORTED;
    if (t->pixelBlock) {
        st->bmi = t->blockBmi;
        st->colours = t->blockPalette;
        st->colourCount = t->blockPalette && depth <= 8 ? 1u << depth : 0;
        st->pixels = t->pixelBlock;
        st->size = kUnknownSize;
    } else {
        HGLOBAL *slot = t->resultDib ? t->resultDib : &t->hOwnDib;
        int w, h;
        frameGeometry(t, depth, &w, &h);
        DWORD size = 0;
        HGLOBAL dib = fxMakeDibBlock(w, h, depth, *slot, &size);
        if (!dib) return FX_E_MEMORY;
        *slot = dib;
        BYTE *block = (BYTE *)GlobalLock(dib);
        if (!block) return FX_E_MEMORY;
        st->locked = dib;
        st->bmi = (BITMAPINFOHEADER *)block;
        if (t->resultDib) t->paletteCount = (uint16_t)std::min<DWORD>(st->bmi->biClrUsed, 256);
    }
    if (st->bmi) {
        BITMAPINFOHEADER *b = st->bmi;
        b->biSize = sizeof(BITMAPINFOHEADER);
        b->biWidth = t->width;
        b->biHeight = t->height;
        b->biBitCount = (WORD)depth;
        b->biClrUsed = t->paletteCount;
        b->biPlanes = 1;
        b->biCompression = BI_RGB;
        fxStandardDepth(b);
        b->biSizeImage = fxRowBytes(t->width, b->biBitCount) * t->height;
        if (st->locked) {
            // The pixels of a DIB block follow its rewritten colour table.
            int r = takePackedDib(st, (BYTE *)b, GlobalSize(st->locked));
            if (r) return r;
        }
    }
    st->stride = t->blockGeometry && t->blockGeometry->bytesPerRow ? t->blockGeometry->bytesPerRow
                                                                   : fxRowBytes(t->width, depth);
    st->copy = std::min(fxRowBytes(t->width, depth), st->stride);
    t->bytesPerRow = st->stride;
    if (t->pixelBlock)
        st->rows = t->blockGeometry && t->blockGeometry->height ? t->blockGeometry->height : t->height;
    else
        st->rows = t->height;
    if (st->size != kUnknownSize && (uint64_t)st->stride * st->rows > st->size) return FX_E_BUFFER;
    return 0;
}

}  // namespace

extern "C" {

int fxScreenDepth(void)
{
    HDC dc = GetDC(nullptr);
    int bits = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
    ReleaseDC(nullptr, dc);
    return bits;
}

void fxStandardDepth(BITMAPINFOHEADER *b)
{
    int n = b->biBitCount;
    if (n < 2) { b->biBitCount = 1; b->biClrUsed = 2; }
    else if (n < 5) { b->biBitCount = 4; b->biClrUsed = 16; }
    else if (n < 9) { b->biBitCount = 8; b->biClrUsed = 256; }
    else if (n < 17) { b->biBitCount = 16; b->biClrUsed = 0; }
    else if (n < 25) { b->biBitCount = 24; b->biClrUsed = 0; }
    else if (n <= 32) { b->biBitCount = 32; b->biClrUsed = 0; }
}

HGLOBAL fxMakeDibBlock(int width, int height, int bitCount, HGLOBAL existing, DWORD *size)
{
    BITMAPINFOHEADER h = {};
    h.biSize = sizeof(h);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = (WORD)bitCount;
    h.biCompression = BI_RGB;
    fxStandardDepth(&h);
    uint64_t row = ((uint64_t)h.biBitCount * (uint64_t)std::max(width, 0) + 31) / 32 * 4;
    uint64_t image = row * (uint64_t)std::abs(height);
    uint64_t total = sizeof(h) + (uint64_t)h.biClrUsed * 4 + image + row;
    if (size) *size = (DWORD)std::min<uint64_t>(total, 0xFFFFFFFFu);
    if (width <= 0 || height == 0 || total > 0x7FFFFFFF) return nullptr;
    h.biSizeImage = (DWORD)image;
    HGLOBAL block;
    if (existing) {
        block = GlobalSize(existing) >= total ? existing
                                             : GlobalReAlloc(existing, (SIZE_T)total, GMEM_MOVEABLE | GMEM_ZEROINIT);
    } else {
        block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)total);
    }
    if (!block) return nullptr;
    BYTE *p = (BYTE *)GlobalLock(block);
    if (!p) {
        if (!existing) GlobalFree(block);
        return nullptr;
    }
    memcpy(p, &h, sizeof(h));
    GlobalUnlock(block);
    return block;
}

HGLOBAL fxDibFromBitmap(HBITMAP bitmap, DWORD compression, int bitCount, HPALETTE palette, DWORD *size,
                        HGLOBAL existing)
{
    BITMAP bm;
    if (!bitmap || !GetObjectA(bitmap, sizeof(bm), &bm)) return nullptr;
    if (bitCount == 0) bitCount = bm.bmPlanes * bm.bmBitsPixel;
    if (bitCount == 16) bitCount = 24;
    struct { BITMAPINFOHEADER h; RGBQUAD c[256]; } info = {};
    info.h.biSize = sizeof(BITMAPINFOHEADER);
    info.h.biWidth = bm.bmWidth;
    info.h.biHeight = bm.bmHeight;
    info.h.biPlanes = 1;
    info.h.biBitCount = (WORD)bitCount;
    info.h.biCompression = compression;
    fxStandardDepth(&info.h);
    HDC dc = GetDC(nullptr);
    HPALETTE old = nullptr;
    if (palette) {
        old = SelectPalette(dc, palette, FALSE);
        RealizePalette(dc);
    }
    HGLOBAL block = nullptr;
    if (GetDIBits(dc, bitmap, 0, bm.bmHeight, nullptr, (BITMAPINFO *)&info, DIB_RGB_COLORS)) {
        uint64_t row = ((uint64_t)info.h.biBitCount * bm.bmWidth + 31) / 32 * 4;
        uint64_t image = info.h.biSizeImage ? info.h.biSizeImage : row * std::abs(bm.bmHeight);
        if (compression != BI_RGB) image = image * 3 / 2;
        uint32_t colours = info.h.biBitCount <= 8 ? (info.h.biClrUsed ? info.h.biClrUsed : 1u << info.h.biBitCount) : 0;
        if (colours > 256) colours = 256;
        uint64_t total = sizeof(BITMAPINFOHEADER) + colours * 4 + image;
        if (size) *size = (DWORD)std::min<uint64_t>(total + 14, 0xFFFFFFFFu);
        if (total <= 0x7FFFFFFF) {
            block = existing ? GlobalReAlloc(existing, (SIZE_T)total, GMEM_MOVEABLE | GMEM_ZEROINIT)
                             : GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)total);
        }
        BYTE *p = block ? (BYTE *)GlobalLock(block) : nullptr;
        if (p) {
            info.h.biClrUsed = colours;
            memcpy(p, &info, sizeof(BITMAPINFOHEADER) + colours * 4);
            BYTE *bits = p + sizeof(BITMAPINFOHEADER) + colours * 4;
            // GetDIBits wants a BITMAPINFO with room for the colour table.
            if (!GetDIBits(dc, bitmap, 0, bm.bmHeight, bits, (BITMAPINFO *)p, DIB_RGB_COLORS)) {
                GlobalUnlock(block);
                if (!existing) GlobalFree(block);
                block = nullptr;
            } else {
                BITMAPINFOHEADER *h = (BITMAPINFOHEADER *)p;
                h->biClrUsed = colours;
                if (h->biBitCount == 32 && h->biCompression == BI_RGB) {
                    uint64_t n = row / 4 * std::abs(bm.bmHeight);
                    for (uint64_t i = 0; i < n; i++) bits[i * 4 + 3] = 255;
                }
                GlobalUnlock(block);
            }
        } else if (block) {
            if (!existing) GlobalFree(block);
            block = nullptr;
        }
    }
    if (palette) SelectPalette(dc, old, FALSE);
    ReleaseDC(nullptr, dc);
    return block;
}

HPALETTE fxPaletteFromDib(HGLOBAL dib)
{
    if (!dib) return nullptr;
    BYTE *p = (BYTE *)GlobalLock(dib);
    if (!p) return nullptr;
    HPALETTE pal = nullptr;
    BITMAPINFOHEADER *h = (BITMAPINFOHEADER *)p;
    SIZE_T size = GlobalSize(dib);
    if (size >= sizeof(*h) && h->biClrUsed && h->biSize >= sizeof(*h) && h->biSize <= size) {
        uint32_t n = std::min<uint32_t>(h->biClrUsed, 256);
        n = (uint32_t)std::min<uint64_t>(n, (size - h->biSize) / 4);
        struct { WORD ver, count; PALETTEENTRY e[256]; } lp = {};
        lp.ver = 0x300;
        lp.count = (WORD)n;
        const RGBQUAD *c = (const RGBQUAD *)(p + h->biSize);
        for (uint32_t i = 0; i < n; i++) {
            lp.e[i].peRed = c[i].rgbRed;
            lp.e[i].peGreen = c[i].rgbGreen;
            lp.e[i].peBlue = c[i].rgbBlue;
            lp.e[i].peFlags = 0;
        }
        if (n) pal = CreatePalette((LOGPALETTE *)&lp);
    }
    GlobalUnlock(dib);
    return pal;
}

HBITMAP fxBitmapFromDib(HGLOBAL dib, HPALETTE palette)
{
    if (!dib) return nullptr;
    BYTE *p = (BYTE *)GlobalLock(dib);
    if (!p) return nullptr;
    MemState st = {};
    HBITMAP bmp = nullptr;
    if (takePackedDib(&st, p, GlobalSize(dib)) == 0) {
        BITMAPINFOHEADER *h = st.bmi;
        int w = h->biWidth, ht = std::abs(h->biHeight);
        uint64_t row = fxRowBytes(w, h->biBitCount);
        if (w > 0 && ht > 0 && row * ht <= st.size) {
            HDC dc = GetDC(nullptr);
            HPALETTE old = nullptr;
            if (palette) {
                old = SelectPalette(dc, palette, FALSE);
                RealizePalette(dc);
            }
            if (h->biBitCount == 1) {
                // Monochrome: rows top-down, padded to 16 bits.
                uint32_t out = ((w + 15) / 16) * 2;
                BYTE *bits = (BYTE *)calloc(ht, out);
                if (bits) {
                    for (int y = 0; y < ht; y++) {
                        int src = h->biHeight > 0 ? ht - 1 - y : y;
                        memcpy(bits + (size_t)y * out, st.pixels + (size_t)src * row, std::min<uint64_t>(out, row));
                    }
                    bmp = CreateBitmap(w, ht, 1, 1, bits);
                    free(bits);
                }
            } else {
                bmp = CreateDIBitmap(dc, h, CBM_INIT, st.pixels, (BITMAPINFO *)h, DIB_RGB_COLORS);
            }
            if (palette) SelectPalette(dc, old, FALSE);
            ReleaseDC(nullptr, dc);
        }
    }
    GlobalUnlock(dib);
    return bmp;
}

HPALETTE fxSystemPalette(void)
{
    struct { WORD ver, count; PALETTEENTRY e[256]; } lp = {};
    HDC dc = GetDC(nullptr);
    UINT n = GetSystemPaletteEntries(dc, 0, 256, lp.e);
    ReleaseDC(nullptr, dc);
    if (n == 0 || n > 256) return nullptr;
    lp.ver = 0x300;
    lp.count = (WORD)n;
    return CreatePalette((LOGPALETTE *)&lp);
}

int WINAPI fxMemReaderOpen(ConvertSource *s)
{
    if (!s) return FX_E_NOSOURCE;
    MemState *st = (MemState *)calloc(1, sizeof(MemState));
    if (!st) return FX_E_MEMORY;
    st->size = kUnknownSize;
    s->priv = st;
    s->skipRow = memSkipRow;
    s->beginRows = memBeginRows;
    s->readRow = memReadRow;
    s->readImage = nullptr;
    s->prepare = memReaderPrepare;
    s->close = memReaderClose;
    s->getPalette = memReaderPalette;
    s->readerCaps = 0x103BF;

    int r = 0;
    HGLOBAL dib = s->hOwnDib ? s->hOwnDib : s->hDib;
    if (dib) {
        BYTE *p = (BYTE *)GlobalLock(dib);
        if (!p) r = FX_E_MEMORY;
        else {
            st->locked = dib;
            r = takePackedDib(st, p, GlobalSize(dib));
        }
    } else if (s->pixels && s->formatId <= FX_ID_MEMORY) {
        st->bmi = s->bmi;
        st->colours = s->palette;
        st->pixels = s->pixels;
    } else if (s->hRawBlock) {
        BYTE *p = (BYTE *)GlobalLock(s->hRawBlock);
        if (!p) r = FX_E_MEMORY;
        else {
            st->locked = s->hRawBlock;
            st->bmi = s->bmi;
            st->colours = s->palette;
            st->pixels = p;
            st->size = GlobalSize(s->hRawBlock);
        }
    } else if (s->hBitmap) {
        BITMAP bm;
        if (!GetObjectA(s->hBitmap, sizeof(bm), &bm)) r = FX_E_READ;
        else {
            int depth = fxScreenDepth();
            if (depth == 16) depth = 24;
            BITMAPINFOHEADER h = {};
            h.biBitCount = (WORD)depth;
            fxStandardDepth(&h);
            if (bm.bmWidth > 8192 || bm.bmHeight > 65535) r = FX_E_UNSUPPORTED;
            s->depth = h.biBitCount;
            s->paletteCount = (uint16_t)h.biClrUsed;
            s->width = (uint16_t)bm.bmWidth;
            s->height = (uint16_t)bm.bmHeight;
            s->rowOrder = 0x300;
            s->bytesPerRow = fxRowBytes(s->width, s->depth);
            st->stride = s->bytesPerRow;
            st->gdi = true;
            if (r) { memReaderClose(s); return r; }
            return 0;
        }
    } else if (!s->headerless) {
        r = FX_E_NOSOURCE;
    }
    if (r) {
        memReaderClose(s);
        return r;
    }
    if (st->bmi) {
        const BITMAPINFOHEADER *h = st->bmi;
        int64_t height = h->biHeight < 0 ? -(int64_t)h->biHeight : h->biHeight;
        if (h->biWidth <= 0 || h->biWidth > 65535 || height > 65535) {
            memReaderClose(s);
            return FX_E_UNSUPPORTED;
        }
        if (!st->colours && st->locked == s->hRawBlock) st->colourCount = 0;
        if (st->colours && !st->colourCount) st->colourCount = std::min<uint32_t>(colourTableCount(h), 256);
        s->width = (uint16_t)h->biWidth;
        s->height = (uint16_t)height;
        s->depth = h->biBitCount;
        s->paletteCount = (uint16_t)(h->biBitCount <= 8 ? std::min<uint32_t>(colourTableCount(h), 256) : 0);
        s->rowOrder = h->biHeight < 0 ? 0x600 : 0x300;
        s->bytesPerRow = fxRowBytes(s->width, s->depth);
        st->stride = s->bytesPerRow;
    } else {
        // Headerless: the geometry is the request's own.
        if (s->stride && s->stride->bytesPerRow) s->bytesPerRow = s->stride->bytesPerRow;
        else s->bytesPerRow = fxRowBytes(s->width, s->depth);
        if (s->height == 0 && s->stride) s->height = s->stride->height;
        st->stride = s->bytesPerRow;
        if (!st->colours) st->colourCount = 0;
        else st->colourCount = s->depth <= 8 ? 1u << s->depth : 0;
    }
    if (s->stride && s->stride->bytesPerRow && st->bmi && !dib) {
        s->bytesPerRow = s->stride->bytesPerRow;
        st->stride = s->bytesPerRow;
    }
    // A block that cannot hold the rows it claims is refused, not overrun.
    uint64_t need = (uint64_t)st->stride * (s->height ? s->height - 1 : 0) + fxRowBytes(s->width, s->depth);
    if (st->size != kUnknownSize && st->pixels && s->height && need > st->size) {
        memReaderClose(s);
        return FX_E_BUFFER;
    }
    return 0;
}

int WINAPI fxMemWriterOpen(ConvertTarget *t)
{
    if (!t) return FX_E_NOOUTPUT;
    MemState *st = (MemState *)calloc(1, sizeof(MemState));
    if (!st) return FX_E_MEMORY;
    st->size = kUnknownSize;
    t->priv = st;
    t->formatId = FX_ID_MEMORY;
    t->caps = t->rowOrder ? (t->rowOrder | 0x100BFu) : 0x103BFu;
    t->beginOutput = memBeginOutput;
    t->skipRow = memWriterSkipRow;
    t->beginRows = memWriterBeginRows;
    t->writeRow = memWriteRow;
    t->close = memWriterClose;
    t->setPalette = memWriterPalette;
    return 0;
}

BOOL fxMemWriterBlock(ConvertTarget *t, BYTE **pixels, uint32_t *stride, uint32_t *rows)
{
    MemState *st = t ? (MemState *)t->priv : nullptr;
    if (!st || !st->pixels || t->writeRow != memWriteRow) return FALSE;
    if (pixels) *pixels = st->pixels;
    if (stride) *stride = st->stride;
    if (rows) *rows = st->rows;
    return TRUE;
}

}  // extern "C"
