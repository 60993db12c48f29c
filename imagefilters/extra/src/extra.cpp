// Extra filters: record filling and the readers that adapt outside
// libraries (JPEG32, Quib, PCDLIB32).  Each outside library is looked up by
// name when a file is opened; without it the open fails with the reader's
// failure code.
#include <algorithm>
#include <cstdlib>

#include "extra.h"
#include "pixmoor.h"

extern "C" int WINAPI JPEGCallBack(int code, void* source, BYTE* buffer, int length);

namespace ferrix {

namespace {
void FillOld(FormatRecord* r, const char* letters, const char* name, uint16_t id, uint16_t depthMask)
{
    std::memset(r, 0, sizeof *r);
    std::memcpy(&r->form, letters, lstrlenA(letters) < 4 ? size_t(lstrlenA(letters)) : 4);
    lstrcpynA(r->name, name, sizeof r->name);
    r->formatId = id;
    r->depthMask = depthMask;
    r->instance = reinterpret_cast<HINSTANCE>(1);
}
}  // namespace

void FillOldRead(FormatRecord* r, const char* letters, const char* name, uint16_t id, uint16_t depthMask,
                 uint32_t probe, FxReaderOpen open)
{
    FillOld(r, letters, name, id, depthMask);
    r->u.read.probe = probe;
    r->u.read.open = open;
    r->u.read.options = 3;
}

void FillOldWrite(FormatRecord* r, const char* letters, const char* name, uint16_t id, uint16_t depthMask,
                  FxWriterOpen open)
{
    FillOld(r, letters, name, id, depthMask);
    r->u.write.open = open;
    r->u.write.options = 3;
    r->u.write.subFormat = 0;
}

namespace {

// The outside library, when present; the caller frees it.
HMODULE Outside(const char* name) { return LoadLibraryA(name); }

// ---- JPEG through JPEG32 ------------------------------------------------------

#pragma pack(push, 4)
struct JpegInfoRecord {  // 16 bytes
    uint32_t size;
    uint16_t width, components;
    int32_t height;
    uint16_t flags, bitsPerPixel;
};
struct JpegWorkRecord {  // 44 bytes: the block, then what the library found
    uint32_t bytesPerRow, rows, options;
    uint32_t found[8];
};
#pragma pack(pop)
static_assert(sizeof(JpegInfoRecord) == 16, "JPEG info record");
static_assert(sizeof(JpegWorkRecord) == 44, "JPEG work record");

typedef int(WINAPI* JpegCallbackFn)(int, void*, BYTE*, int);
typedef int(WINAPI* JpegInfoFn)(void*, JpegCallbackFn, JpegInfoRecord*);
typedef int(WINAPI* JpegDecompressFn)(void*, JpegCallbackFn, JpegWorkRecord*, BYTE*);

struct JpegReader {
    HMODULE lib = nullptr;
    JpegDecompressFn decompress = nullptr;
};

int WINAPI JpegClose(ConvertSource* s)
{
    JpegReader* r = static_cast<JpegReader*>(s->priv);
    if (r) {
        if (r->lib) FreeLibrary(r->lib);
        delete r;
    }
    s->priv = nullptr;
    return 0;
}

int WINAPI JpegGreyPalette(ConvertSource*, RGBQUAD* e, int count)
{
    int n = count < 256 ? count : 256;
    for (int i = 0; i < n; ++i) e[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
    return n;
}

int WINAPI JpegReadImage(ConvertSource* s, BYTE* pixels, LONG stride)
{
    JpegReader* r = static_cast<JpegReader*>(s->priv);
    if (!r || !pixels || stride <= 0 || bfSeek(s->stream, 0, 0) != 0) return FX_E_READ;
    JpegWorkRecord w = {};
    w.bytesPerRow = uint32_t(stride);
    w.rows = s->height;
    int rc = r->decompress(s, JPEGCallBack, &w, pixels);
    return rc == 0 ? 0 : rc == FX_E_UNSUPPORTED || rc == FX_E_MEMORY ? rc : FX_E_READ;
}

int WINAPI JpegOpen(ConvertSource* s)
{
    s->priv = nullptr;
    if (!s->stream) return FX_E_NOINPUT;
    HMODULE m = Outside("JPEG32.dll");
    if (!m) return FX_E_READ;
    JpegInfoFn info = reinterpret_cast<JpegInfoFn>(GetProcAddress(m, "JPEG_Info"));
    JpegDecompressFn decompress = reinterpret_cast<JpegDecompressFn>(GetProcAddress(m, "JPEG_Decompress"));
    JpegInfoRecord i = {};
    int rc = info && decompress && bfSeek(s->stream, 0, 0) == 0 ? info(s, JPEGCallBack, &i) : FX_E_READ;
    if (rc == 0 && !(i.bitsPerPixel == 8 || i.bitsPerPixel == 24)) rc = FX_E_UNSUPPORTED;
    if (rc == 0 && (i.width == 0 || i.height <= 0 || i.height > 65535)) rc = FX_E_UNSUPPORTED;
    JpegReader* r = rc == 0 ? new (std::nothrow) JpegReader : nullptr;
    if (rc == 0 && !r) rc = FX_E_MEMORY;
    if (rc != 0) {
        FreeLibrary(m);
        return rc;
    }
    r->lib = m;
    r->decompress = decompress;
    s->priv = r;
    s->width = i.width;
    s->height = uint16_t(i.height);
    s->depth = i.bitsPerPixel;
    s->bytesPerRow = (uint32_t(i.width) * i.bitsPerPixel + 31) / 32 * 4;
    s->formatId = 9;
    s->rowOrder = 0x300;
    // A grey picture's 8-bit values are levels: hand out the grey ramp.
    s->paletteCount = i.bitsPerPixel == 8 ? 256 : 0;
    s->getPalette = i.bitsPerPixel == 8 ? JpegGreyPalette : nullptr;
    s->readRow = nullptr;
    s->readImage = JpegReadImage;
    s->close = JpegClose;
    return 0;
}

// ---- movie thumbnails through quib ---------------------------------------------

typedef void*(WINAPI* QuibOpenFn)(DWORD, const char*, DWORD);
typedef Layer*(WINAPI* QuibReadLayerFn)(void*, DWORD, const char*, DWORD, DWORD);
typedef LONG(WINAPI* QuibCloseFn)(void*);

int WINAPI VexaClose(ConvertSource* s)
{
    if (s->priv) DeleteLayer(static_cast<Layer*>(s->priv));
    s->priv = nullptr;
    return 0;
}

int WINAPI VexaReadImage(ConvertSource* s, BYTE* pixels, LONG stride)
{
    Layer* l = static_cast<Layer*>(s->priv);
    if (!l || !pixels || stride < LONG(s->bytesPerRow)) return FX_E_READ;
    for (uint32_t y = 0; y < s->height; ++y)
        std::memcpy(pixels + LONG_PTR(y) * stride, l->pixels + LONG_PTR(y) * l->pitch, s->bytesPerRow);
    return 0;
}

int WINAPI VexaOpen(ConvertSource* s)
{
    s->priv = nullptr;
    HMODULE m = Outside("quib.dll");
    if (!m) return FX_E_READ;
    QuibOpenFn open = reinterpret_cast<QuibOpenFn>(GetProcAddress(m, "_quibOpen@12"));
    QuibReadLayerFn read = reinterpret_cast<QuibReadLayerFn>(GetProcAddress(m, "_quibReadLayer@20"));
    QuibCloseFn close = reinterpret_cast<QuibCloseFn>(GetProcAddress(m, "_quibClose@4"));
    Layer* layer = nullptr;
    if (open && read && close && s->path[0]) {
        char path[261];
        std::memcpy(path, s->path, 260);
        path[260] = 0;
        if (void* h = open(0, path, 0)) {
            layer = read(h, 0, "Thumbnail", 0, 0);
            close(h);
        }
    }
    FreeLibrary(m);  // the layer belongs to the graphics core
    if (!layer) return FX_E_READ;
    if (layer->width <= 0 || layer->height <= 0 || layer->width > 65535 || layer->height > 65535 || !layer->pixels) {
        DeleteLayer(layer);
        return FX_E_READ;
    }
    FlipVertLayer(layer);
    BlackBackground(layer, layer);
    s->priv = layer;
    s->width = uint16_t(layer->width);
    s->height = uint16_t(layer->height);
    s->depth = 32;
    s->bytesPerRow = uint32_t(layer->width) * 4;
    s->formatId = 16;
    s->rowOrder = 0x300;
    s->paletteCount = 0;
    s->getPalette = nullptr;
    s->readRow = nullptr;
    s->readImage = VexaReadImage;
    s->close = VexaClose;
    return 0;
}

// ---- Photo CD through PCDLIB32 (by ordinal) ----------------------------------------

typedef int(WINAPI* PcdOpenFn)(const char*, void**);
typedef int(WINAPI* PcdIntFn)(void*, int*);
typedef int(WINAPI* PcdSetFn)(void*, int);
typedef int(WINAPI* PcdProgressFn)(void*, void(WINAPI*)(int, LONG, void*), void*);
typedef int(WINAPI* PcdRectFn)(void*, int16_t*);
typedef int(WINAPI* PcdReadFn)(void*, BYTE*, LONG);
typedef int(WINAPI* PcdCloseFn)(void*);

struct PcdReader {
    HMODULE lib = nullptr;
    void* image = nullptr;
    PcdReadFn read = nullptr;
    PcdCloseFn close = nullptr;
    ConvertSource* source = nullptr;
};

void WINAPI PcdForward(int code, LONG value, void* user)
{
    ConvertSource* s = static_cast<ConvertSource*>(user);
    if (s && s->callback) s->callback(s, code, value);
}

int WINAPI PcdClose(ConvertSource* s)
{
    PcdReader* r = static_cast<PcdReader*>(s->priv);
    int rc = 0;
    if (r) {
        if (r->image && r->close && r->close(r->image) != 0) rc = FX_E_READ;
        if (r->lib) FreeLibrary(r->lib);
        delete r;
    }
    s->priv = nullptr;
    return rc;
}

int WINAPI PcdGreyPalette(ConvertSource*, RGBQUAD* e, int count)
{
    int n = count < 256 ? count : 256;
    for (int i = 0; i < n; ++i) e[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
    return n;
}

int WINAPI PcdReadImage(ConvertSource* s, BYTE* pixels, LONG stride)
{
    PcdReader* r = static_cast<PcdReader*>(s->priv);
    if (!r || !pixels || stride < LONG(s->bytesPerRow)) return FX_E_READ;
    return r->read(r->image, pixels, stride) == 0 ? 0 : FX_E_READ;
}

int WINAPI PcdOpen(ConvertSource* s)
{
    s->priv = nullptr;
    PcdReader* r = new (std::nothrow) PcdReader;
    if (!r) return FX_E_MEMORY;
    s->priv = r;
    r->lib = Outside("PCDLIB32.dll");
    auto at = [&](int ordinal) { return r->lib ? GetProcAddress(r->lib, MAKEINTRESOURCEA(ordinal)) : nullptr; };
    PcdOpenFn open = reinterpret_cast<PcdOpenFn>(at(5));
    PcdIntFn prop14 = reinterpret_cast<PcdIntFn>(at(14)), prop79 = reinterpret_cast<PcdIntFn>(at(79));
    PcdSetFn resolution = reinterpret_cast<PcdSetFn>(at(28));
    PcdProgressFn progress = reinterpret_cast<PcdProgressFn>(at(4));
    PcdRectFn rect = reinterpret_cast<PcdRectFn>(at(16));
    PcdIntFn format = reinterpret_cast<PcdIntFn>(at(29));
    r->read = reinterpret_cast<PcdReadFn>(at(2));
    r->close = reinterpret_cast<PcdCloseFn>(at(6));
    char path[261];
    std::memcpy(path, s->path, 260);
    path[260] = 0;
    if (!open || !prop14 || !prop79 || !resolution || !progress || !rect || !format || !r->read || !r->close ||
        !path[0] || open(path, &r->image) != 0 || !r->image) {
        PcdClose(s);
        return FX_E_OPEN;
    }
    int count = 0, orientation = 0;
    if (prop14(r->image, &count) != 0 || prop79(r->image, &orientation) != 0) {
        PcdClose(s);
        return FX_E_READ;
    }
    if (s->width && s->height) {  // the caller asked for a size: the smallest resolution that holds it
        int lng = s->width, sht = s->height;
        if (orientation == 4 || orientation == 7) std::swap(lng, sht);
        int res = lng <= 192 && sht <= 128 ? 1 : lng <= 384 && sht <= 256 ? 2 : lng <= 768 && sht <= 512 ? 3 : 4;
        resolution(r->image, res);
    }
    if (s->callback) progress(r->image, PcdForward, s);
    int16_t box[4] = {};
    int pixelFormat = 0;
    if (rect(r->image, box) != 0 || format(r->image, &pixelFormat) != 0) {
        PcdClose(s);
        return FX_E_READ;
    }
    const int w = std::abs(box[2] - box[0]), h = std::abs(box[3] - box[1]);
    int depth = pixelFormat == 11 || pixelFormat == 12 ? 24 : pixelFormat == 10 || pixelFormat == 13 ? 8 : 0;
    if (!w || !h || !depth) {
        PcdClose(s);
        return FX_E_UNSUPPORTED;
    }
    s->width = uint16_t(w);
    s->height = uint16_t(h);
    s->depth = uint16_t(depth);
    s->bytesPerRow = (uint32_t(w) * depth + 31) / 32 * 4;
    s->formatId = 8;
    s->rowOrder = 0x600;  // the library hands out rows top first
    s->paletteCount = depth == 8 ? 256 : 0;
    s->getPalette = depth == 8 ? PcdGreyPalette : nullptr;
    s->readRow = nullptr;
    s->readImage = PcdReadImage;
    s->close = PcdClose;
    return 0;
}

}  // namespace
}  // namespace ferrix

using namespace ferrix;

// The JPEG library's reads come back through here: code 2 reads up to
// `length` bytes of the source's stream; every other code answers 0.
extern "C" int WINAPI JPEGCallBack(int code, void* source, BYTE* buffer, int length)
{
    ConvertSource* s = static_cast<ConvertSource*>(source);
    if (code != 2 || !s || !s->stream || !buffer || length <= 0) return 0;
    LONG got = bfRead(s->stream, buffer, length);
    return got > 0 ? int(got) : 0;
}

// Kept for callers that look the word up; nothing here reads it.
extern "C" DWORD QUIB_ROOT;
DWORD QUIB_ROOT;

extern "C" int WINAPI JPEGEnumReadFormats(int index, FormatRecord* r)
{
    if (index != 0 || !r) return -1;
    FillOldRead(r, "JPG", "Joint Photographics Expert Group", 5, 0x82, 1, JpegOpen);
    return 0;
}

extern "C" int WINAPI VEXAEnumReadFormats(int index, FormatRecord* r)
{
    if (index != 0 || !r) return -1;
    FillOldRead(r, "VEXA", "Tarvo Works", 16, 0x8F, 1, VexaOpen);
    return 0;
}

extern "C" int WINAPI PCDEnumReadFormats(int index, FormatRecord* r)
{
    if (index != 0 || !r) return -1;
    FillOldRead(r, "PCD", "Kodak Photo CD", 8, 0x8A, 0, PcdOpen);
    return 0;
}

extern "C" int WINAPI PCDEnumWriteFormats(int, FormatRecord*) { return -1; }
