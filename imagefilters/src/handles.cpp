// Image handle API: 32-bit pixel access to an image file or an image in
// memory, each call a thin layer over ferrixConvert.  Multi-part title
// images (rolls and crawls) are stitched into one tall or wide picture.
#include "fxcore.h"
#include "registry.h"
#include <string.h>
#include <stdlib.h>
#include <algorithm>
#include <wine/debug.h>

WINE_DEFAULT_DEBUG_CHANNEL(ferrix);

struct FxImage
{
    uint32_t kind;          // 2 plain, 3 crawl, 4 roll, 6 title page, 0xFFF0 title animation
    char    *path;          // process heap
    HGLOBAL  decodeBlock;   // rolls and crawls: largest part x 4 bytes, locked
    BYTE    *decodePixels;
    FxImageInfo info;
    int      partIndex;     // current part, -1 before the first use
    uint32_t partStart;     // first column (crawl) or row (roll) of the current part
    int      decodedPart;   // part held in the decoding block, -1 none
    uint32_t decodedW, decodedH;
    HGLOBAL  block2;
    int      written;
    uint32_t fill;
    const void *memory;
    DWORD    memLength;
    DWORD    memType;
    uint16_t formatId;
    uint32_t presetTitleKind;
};

namespace {

enum { KIND_PLAIN = 2, KIND_CRAWL = 3, KIND_ROLL = 4, KIND_PAGE = 6, KIND_ANIMATION = 0xFFF0 };

struct MemoryType { uint16_t id; uint32_t kind; };

MemoryType memoryType(DWORD type)
{
    switch (type) {
    case 1: return { FX_ID_TITLE, KIND_ROLL };
    case 2: return { FX_ID_TITLE, KIND_PLAIN };
    case 3: return { FX_ID_TITLE, KIND_CRAWL };
    case 4: return { FX_ID_TITLE, KIND_ANIMATION };
    case 5: return { FX_ID_BMP, KIND_PLAIN };
    case 6: return { FX_ID_TGA, KIND_PLAIN };
    case 7: return { FX_ID_PCX, KIND_PLAIN };
    }
    return { 0, KIND_PLAIN };
}

uint32_t kindOfExtension(const char *path)
{
    const char *name = path;
    for (const char *p = path; *p; p++)
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    const char *dot = strrchr(name, '.');
    if (!dot) return KIND_PLAIN;
    if (!lstrcmpiA(dot + 1, "qcg")) return KIND_PAGE;
    if (!lstrcmpiA(dot + 1, "vis")) return KIND_CRAWL;
    if (!lstrcmpiA(dot + 1, "vic")) return KIND_ROLL;
    if (!lstrcmpiA(dot + 1, "vexa")) return KIND_ANIMATION;
    return KIND_PLAIN;
}

void initSource(const FxImage *h, ConvertSource *s, int part)
{
    memset(s, 0, sizeof(*s));
    s->version = FX_REQUEST_VERSION;
    if (h->path) {
        strncpy(s->path, h->path, sizeof(s->path) - 1);
    } else {
        s->pixels = (BYTE *)h->memory;
        s->encodedLength = h->memLength;
    }
    s->formatId = h->formatId;
    s->titleKind = h->presetTitleKind;
    s->part = (uint16_t)std::max(part, 0);
}

void initTarget(ConvertTarget *t, FxBlockGeometry *g, void *buffer, int bytesPerRow, int rows, DWORD flags)
{
    memset(t, 0, sizeof(*t));
    t->version = FX_REQUEST_VERSION;
    g->bytesPerRow = (uint32_t)bytesPerRow;
    g->height = (uint32_t)rows;
    t->pixelBlock = (BYTE *)buffer;
    t->blockGeometry = g;
    t->depth = 32;
    t->rowOrder = (flags & 4) ? 0x300 : 0x600;
}

uint32_t kindFromReader(const ConvertSource &s, uint32_t preset)
{
    if (s.formatId != FX_ID_TITLE) return preset;
    switch (s.titleKind) {
    case 0: return KIND_PLAIN;
    case 1: return KIND_ROLL;
    case 2: return KIND_CRAWL;
    case 4: return KIND_PAGE;
    }
    return preset;
}

// Opens the handle's state: geometry, information block, parts.
FxImage *openImage(FxImage &st, FxImageInfo *info)
{
    ConvertSource s;
    initSource(&st, &s, 0);
    if (ferrixConvert(&s, nullptr) != 0) return nullptr;
    // Later reads name the reader by the id it reported, unless no reader is
    // registered under it (an FLI file reports an id of its own): those are
    // chosen again as the open chose them.
    if (s.formatId == FX_ID_MEMORY || fxReaderById(s.formatId)) st.formatId = s.formatId;
    st.kind = kindFromReader(s, st.kind);
    FxImageInfo &i = st.info;
    i.version = 3;
    i.size = sizeof(FxImageInfo);
    i.flags = (s.readerState & 1) ? 0x400 : 0;   // the reader said it delivers rows reversed
    i.kind = st.kind;
    i.depth = s.depth;
    i.readerValue2 = s.titleRecord * 2;
    i.imageBytes = s.depth / 8 * (uint32_t)s.height * s.width;
    i.width = s.width;
    i.height = s.height;
    i.frameWidth = s.width;
    i.frameHeight = s.height;
    i.readerValueA = s.titleHeader38;
    i.readerValueB = s.titleRecord;
    i.frameCount = s.partCount;

    if ((st.kind == KIND_CRAWL || st.kind == KIND_ROLL) && s.partCount) {
        uint32_t sum = 0, maxW = 0, maxH = 0;
        for (int p = 0; p < s.partCount; p++) {
            ConvertSource ps;
            initSource(&st, &ps, p);
            if (ferrixConvert(&ps, nullptr) != 0) continue;
            sum += st.kind == KIND_CRAWL ? ps.width : ps.height;
            maxW = std::max<uint32_t>(maxW, ps.width);
            maxH = std::max<uint32_t>(maxH, ps.height);
        }
        if (st.kind == KIND_CRAWL) i.frameWidth = sum;
        else i.frameHeight = sum;
        uint64_t bytes = (uint64_t)maxW * maxH * 4;
        if (bytes == 0 || bytes > 0x7FFFFFFF) return nullptr;
        st.decodeBlock = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)bytes);
        st.decodePixels = st.decodeBlock ? (BYTE *)GlobalLock(st.decodeBlock) : nullptr;
        if (!st.decodePixels) {
            if (st.decodeBlock) GlobalFree(st.decodeBlock);
            return nullptr;
        }
    }
    FxImage *h = (FxImage *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FxImage));
    if (!h) {
        if (st.decodeBlock) { GlobalUnlock(st.decodeBlock); GlobalFree(st.decodeBlock); }
        return nullptr;
    }
    *h = st;
    if (info && info->size > 8) {
        // The caller's block says its size in its second word; never copy
        // more than the 56 bytes the handle holds.
        uint32_t n = std::min<uint32_t>(info->size, sizeof(FxImageInfo)) - 8;
        memcpy((BYTE *)info + 8, (const BYTE *)&h->info + 8, n);
    }
    return h;
}

void freeImage(FxImage *h)
{
    if (h->path) HeapFree(GetProcessHeap(), 0, h->path);
    if (h->decodeBlock) {
        GlobalUnlock(h->decodeBlock);
        GlobalFree(h->decodeBlock);
    }
    if (h->block2) GlobalFree(h->block2);
    HeapFree(GetProcessHeap(), 0, h);
}

char *copyPath(const char *path)
{
    size_t n = strlen(path) + 1;
    char *p = (char *)HeapAlloc(GetProcessHeap(), 0, n);
    if (p) memcpy(p, path, n);
    return p;
}

// Size of part p, or false when it cannot be read.
bool partSize(FxImage *h, int p, uint32_t *w, uint32_t *ht)
{
    ConvertSource s;
    initSource(h, &s, p);
    if (ferrixConvert(&s, nullptr) != 0) return false;
    *w = s.width;
    *ht = s.height;
    return true;
}

bool decodePart(FxImage *h, int p, DWORD flags)
{
    if (h->decodedPart == p) return true;
    uint32_t w, ht;
    if (!partSize(h, p, &w, &ht)) return false;
    ConvertSource s;
    initSource(h, &s, p);
    ConvertTarget t;
    FxBlockGeometry g;
    initTarget(&t, &g, h->decodePixels, (int)(w * 4), (int)ht, flags);
    t.width = (uint16_t)w;
    t.height = (uint16_t)ht;
    if (ferrixConvert(&s, &t) != 0) { h->decodedPart = -1; return false; }
    h->decodedPart = p;
    h->decodedW = w;
    h->decodedH = ht;
    return true;
}

void fillRect(BYTE *buffer, int bytesPerRow, uint32_t x, uint32_t y, uint32_t w, uint32_t ht, uint32_t colour)
{
    for (uint32_t r = 0; r < ht; r++) {
        DWORD *row = (DWORD *)(buffer + (size_t)(y + r) * bytesPerRow) + x;
        for (uint32_t c = 0; c < w; c++) row[c] = colour;
    }
}

// A band of a crawl (parts side by side) or a roll (parts stacked).
int readBand(FxImage *h, int position, BYTE *buffer, int bytesPerRow, int bufferSize, int width, int height,
             DWORD flags)
{
    bool crawl = h->kind == KIND_CRAWL;
    if (width <= 0 || height <= 0 || bytesPerRow < width * 4) return FX_E_BUFFER;
    if (bufferSize == 0) return bytesPerRow * height;
    if ((int64_t)bytesPerRow * height > bufferSize) return FX_E_BUFFER;
    int64_t total = crawl ? h->info.frameWidth : h->info.frameHeight;
    int64_t span = crawl ? width : height;
    int64_t start = (flags & 2) ? position : (int64_t)position * span;
    if (h->info.flags & 0x400) start = total - start - span;
    if (start < 0) start = 0;

    int parts = std::max<int>(1, (int)h->info.frameCount);
    if (h->partIndex < 0) { h->partIndex = 0; h->partStart = 0; }
    uint32_t pw, ph;
    // Step to the part that holds the start.
    for (int guard = 0; guard < parts * 2 + 2; guard++) {
        if (!partSize(h, h->partIndex, &pw, &ph)) return FX_E_READ;
        uint32_t len = crawl ? pw : ph;
        if (start < h->partStart && h->partIndex > 0) {
            uint32_t w2, h2;
            if (!partSize(h, h->partIndex - 1, &w2, &h2)) return FX_E_READ;
            h->partIndex--;
            h->partStart -= crawl ? w2 : h2;
        } else if (start >= (int64_t)h->partStart + len && h->partIndex < parts - 1) {
            h->partStart += len;
            h->partIndex++;
        } else {
            break;
        }
    }
    int copied = 0;
    int64_t done = 0;                      // band columns (crawl) or rows (roll) filled
    int part = h->partIndex;
    int64_t offset = start - h->partStart;  // inside the current part
    while (done < span) {
        if (part >= parts || offset < 0 || !decodePart(h, part, flags)) break;
        uint32_t len = crawl ? h->decodedW : h->decodedH;
        if (offset >= len) break;
        int64_t take = std::min<int64_t>(len - offset, span - done);
        if (crawl) {
            uint32_t rows = std::min<uint32_t>(h->decodedH, (uint32_t)height);
            for (uint32_t r = 0; r < rows; r++)
                memcpy(buffer + (size_t)r * bytesPerRow + done * 4,
                       h->decodePixels + ((size_t)r * h->decodedW + offset) * 4, (size_t)take * 4);
            if (rows < (uint32_t)height)
                fillRect(buffer, bytesPerRow, (uint32_t)done, rows, (uint32_t)take, height - rows, h->fill);
            copied += (int)(rows * take * 4);
        } else {
            uint32_t cols = std::min<uint32_t>(h->decodedW, (uint32_t)width);
            for (int64_t r = 0; r < take; r++)
                memcpy(buffer + (size_t)(done + r) * bytesPerRow,
                       h->decodePixels + ((size_t)(offset + r) * h->decodedW) * 4, (size_t)cols * 4);
            if (cols < (uint32_t)width)
                fillRect(buffer, bytesPerRow, cols, (uint32_t)done, width - cols, (uint32_t)take, h->fill);
            copied += (int)(cols * take * 4);
        }
        done += take;
        part++;
        offset = 0;
    }
    if (done < span) {
        if (crawl) fillRect(buffer, bytesPerRow, (uint32_t)done, 0, (uint32_t)(span - done), height, h->fill);
        else fillRect(buffer, bytesPerRow, 0, (uint32_t)done, width, (uint32_t)(span - done), h->fill);
    }
    return copied;
}

}  // namespace

extern "C" {

FxImage *WINAPI intOpen(const char *path, FxImageInfo *info)
{
    WINE_TRACE("(%s, %p)\n", wine_dbgstr_a(path), info);
    if (!path || !*path) return nullptr;
    FxImage st;
    memset(&st, 0, sizeof(st));
    st.partIndex = -1;
    st.decodedPart = -1;
    st.kind = kindOfExtension(path);
    if (st.kind == KIND_PAGE) st.presetTitleKind = 4;
    st.path = copyPath(path);
    if (!st.path) return nullptr;
    FxImage *h = openImage(st, info);
    if (!h) HeapFree(GetProcessHeap(), 0, st.path);
    return h;
}

FxImage *WINAPI intMemoryOpen(const void *memory, DWORD length, DWORD type, FxImageInfo *info)
{
    WINE_TRACE("(%p, %lu, %lu, %p)\n", memory, (unsigned long)length, (unsigned long)type, info);
    if (!memory || !length) return nullptr;
    FxImage st;
    memset(&st, 0, sizeof(st));
    st.partIndex = -1;
    st.decodedPart = -1;
    MemoryType m = memoryType(type);
    st.kind = m.kind;
    st.formatId = m.id;
    st.memory = memory;
    st.memLength = length;
    st.memType = type;
    return openImage(st, info);
}

int WINAPI intReadData(FxImage *h, int mode, int position, void *buffer, int bytesPerRow, int bufferSize,
                       int width, int height, DWORD flags)
{
    WINE_TRACE("(%p, %d, %d, %p, %d, %d, %d, %d, %#lx)\n", h, mode, position, buffer, bytesPerRow, bufferSize,
               width, height, (unsigned long)flags);
    if (!h) return FX_E_NOSOURCE;
    if (mode == 0) {
        if (bufferSize == 0) return sizeof(FxImageInfo);
        if (!buffer || bufferSize < 0) return FX_E_BUFFER;
        int n = std::min<int>(bufferSize, sizeof(FxImageInfo));
        memcpy(buffer, &h->info, n);
        return n;
    }
    if (h->kind == KIND_CRAWL || h->kind == KIND_ROLL) {
        if (!buffer && bufferSize) return FX_E_BUFFER;
        return readBand(h, position, (BYTE *)buffer, bytesPerRow, bufferSize, width, height, flags);
    }
    if (mode < 2 || mode > 4) return FX_E_UNSUPPORTED;

    ConvertSource s;
    initSource(h, &s, 0);
    if (bufferSize == 0) {
        int r = ferrixConvert(&s, nullptr);
        return r ? r : (int)s.width * s.height * 4;
    }
    int r = ferrixConvert(&s, nullptr);
    if (r) return r;
    uint16_t sw = s.width, sh = s.height;
    initSource(h, &s, 0);

    RECT part;
    SIZE frame = { width, height };
    ConvertTarget t;
    FxBlockGeometry g;
    int rows = height;
    if (mode == 3) rows = sh;
    if (width <= 0 || rows <= 0 || !buffer) return FX_E_BUFFER;
    // The caller's buffer must hold every row the target will have.
    if (bytesPerRow < width * 4 || (int64_t)bytesPerRow * rows > bufferSize) return FX_E_BUFFER;
    initTarget(&t, &g, buffer, bytesPerRow, rows, flags);
    t.fillColor = h->fill;
    if (mode == 2) {
        if ((flags & 0xF0) == 0xF0) {
            t.width = (uint16_t)width;
            t.height = (uint16_t)height;
        } else {
            // The image keeps its aspect in a frame of the given size; with
            // 0x800 it is fitted to that size, else it keeps its own.
            s.flags |= FX_SRC_ASPECT_KEEP | (flags & 0x3F0);
            t.frameSize = &frame;
            if (flags & 0x800) {
                t.width = (uint16_t)width;
                t.height = (uint16_t)height;
            }
        }
    } else if (mode == 3) {
        part = { position, 0, position + width, sh };
        t.sourceRect = &part;
        t.width = (uint16_t)width;
        t.height = sh;
    } else {
        part = { 0, position, width, position + height };
        t.sourceRect = &part;
        t.width = (uint16_t)width;
        t.height = (uint16_t)height;
    }
    (void)sw;
    r = ferrixConvert(&s, &t);
    if (r) return r;
    return (int)sh * bytesPerRow;
}

int WINAPI intClose(FxImage *h)
{
    if (h) freeImage(h);
    return 0;
}

int WINAPI intWriteData(FxImage *h, const void *pixels, int bytesPerRow, int, int width, int height, int)
{
    WINE_TRACE("(%p, %p, %d, %d, %d)\n", h, pixels, bytesPerRow, width, height);
    if (!h || !h->path || !pixels || width <= 0 || height <= 0 || width > 65535 || height > 65535 ||
        bytesPerRow < width * 4)
        return -1;
    FxSourceStride stride = { (uint32_t)bytesPerRow, (uint16_t)height, 0 };
    ConvertSource s;
    memset(&s, 0, sizeof(s));
    s.version = FX_REQUEST_VERSION;
    s.pixels = (BYTE *)pixels;
    s.stride = &stride;
    s.width = (uint16_t)width;
    s.height = (uint16_t)height;
    s.depth = 32;
    s.rowOrder = 0x600;
    if (h->written) s.flags |= FX_SRC_APPEND;
    ConvertTarget t;
    memset(&t, 0, sizeof(t));
    t.version = FX_REQUEST_VERSION;
    t.depth = 32;
    strncpy(t.path, h->path, sizeof(t.path) - 1);
    if (ferrixConvert(&s, &t) != 0) return -1;
    h->written = 1;
    return width * height * 4;
}

FxImage *WINAPI intCreate(const char *path, int)
{
    WINE_TRACE("(%s)\n", wine_dbgstr_a(path));
    if (!path || !*path) return nullptr;
    FxImage *h = (FxImage *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FxImage));
    if (!h) return nullptr;
    h->path = copyPath(path);
    if (!h->path) {
        HeapFree(GetProcessHeap(), 0, h);
        return nullptr;
    }
    h->kind = 0;
    h->info.version = 3;
    h->info.size = sizeof(FxImageInfo);
    h->partIndex = -1;
    h->decodedPart = -1;
    return h;
}

DWORD WINAPI intSetFillColor(FxImage *h, DWORD colour)
{
    if (h) h->fill = colour;
    return colour;
}

}  // extern "C"
