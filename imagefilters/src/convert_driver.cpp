// Conversion driver: ferrixConvert chooses a reader and a writer, negotiates
// the target's depth and size, runs the pipeline (twice for a two-stage
// conversion) and turns memory results into the handles the caller asked for.
#include "registry.h"
#include "membitmap.h"
#include "pipeline.h"
#include "driver.h"
#include <string.h>
#include <algorithm>
#include <wine/debug.h>

WINE_DEFAULT_DEBUG_CHANNEL(ferrix);

namespace {

// The callback of the conversion in progress, for fxProgress.
ConvertSource *g_progressSource;

FxReaderOpen readerById(uint16_t id)
{
    if (id == FX_ID_MEMORY) return fxMemReaderOpen;
    return fxReaderById(id);
}

FxWriterOpen writerById(uint16_t id)
{
    if (id == FX_ID_MEMORY) return fxMemWriterOpen;
    return fxWriterById(id);
}

// Extension of the file name part of a path (after its last '.'), or null.
const char *extensionOf(const char *path)
{
    const char *name = path;
    for (const char *p = path; *p; p++)
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    const char *dot = strrchr(name, '.');
    return dot ? dot + 1 : nullptr;
}

void clearReaderSlots(ConvertSource *s)
{
    s->skipRow = nullptr;
    s->beginRows = nullptr;
    s->readRow = nullptr;
    s->readImage = nullptr;
    s->prepare = nullptr;
    s->close = nullptr;
    s->getPalette = nullptr;
}

bool isMemorySource(const ConvertSource *s)
{
    return s->hOwnDib || s->hDib || s->hBitmap || s->headerless || (s->pixels && !s->formatId);
}

int chooseReader(ConvertSource *s, FxReaderOpen *open)
{
    *open = nullptr;
    if (s->stream && s->formatId) {
        *open = readerById(s->formatId);
        return 0;
    }
    if (s->pixels && s->formatId) {
        s->stream = bfSetMem(s->pixels, s->encodedLength, s->encodedLength, 0);
        if (!s->stream) return FX_E_MEMORY;
        *open = readerById(s->formatId);
        return 0;
    }
    if (isMemorySource(s)) {
        s->formatId = FX_ID_MEMORY;
        *open = fxMemReaderOpen;
        return 0;
    }
    if (s->hRawBlock) {
        s->stream = bfSetMemHandle(s->hRawBlock, s->rawBlockLength, s->rawBlockLength, 0);
        if (!s->stream) return FX_E_MEMORY;
        if (s->formatId) *open = readerById(s->formatId);
        return 0;
    }
    if (!s->path[0]) {
        if (s->formatId == FX_ID_USER) {
            *open = readerById(FX_ID_USER);
            return 0;
        }
        return FX_E_NOINPUT;
    }
    char path[261];
    memcpy(path, s->path, 260);
    path[260] = 0;
    s->stream = bfOpenFile(path, 0);
    if (!s->stream) return FX_E_OPEN;
    if (s->formatId) {
        *open = readerById(s->formatId);
        return *open ? 0 : FX_E_NOINPUT;
    }
    const char *ext = extensionOf(path);
    if (ext) {
        uint16_t id = 0;
        *open = fxReaderByExtension(ext, &id);
        if (!*open) return FX_E_NOFILTER;
        s->formatId = id;
        return 0;
    }
    // No extension: the first probing reader that accepts the content.
    int r = fxReaderByProbe(s);
    if (r == 0) {
        *open = s->open;
        // The probe's open ran once already; start the real one clean.
        if (s->close) s->close(s);
        clearReaderSlots(s);
        s->priv = nullptr;
        bfSeek(s->stream, 0, 0);
    }
    return r;
}

int probeAll(ConvertSource *s)
{
    if (s->close) s->close(s);
    clearReaderSlots(s);
    s->priv = nullptr;
    int r = fxReaderByProbe(s);
    return r == 0 ? 0 : FX_E_NOFILTER;
}

int depthBit(int depth)
{
    switch (depth) { case 1: return 0x01; case 4: return 0x04; case 8: return 0x08;
                     case 16: return 0x10; case 24: return 0x02; case 32: return 0x20; }
    return 0;
}

}  // namespace

extern "C" {

void fxProgress(void)
{
    ConvertSource *s = g_progressSource;
    if (s && s->callback) s->callback(nullptr, 0, 0);
}

int fxNegotiate(ConvertSource *s, ConvertTarget *t)
{
    int sd = s->depth;
    int req = t->depth ? t->depth : FX_DEPTH_ALL;
    if (req & FX_DEPTH_CHOOSE) {
        if (t->resultBitmap) req &= fxScreenDepth() <= 8 ? 0x8D : 0x8F;
        int td = 0;
        if (req & depthBit(sd)) {
            td = sd;
        } else {
            static const int up[] = { 8, 16, 24, 32 };
            for (int d : up)
                if (d > sd && (req & depthBit(d))) { td = d; break; }
            if (!td && sd > 8) {
                static const int down[] = { 24, 16, 8 };
                for (int d : down)
                    if (d < sd && (req & depthBit(d))) { td = d; break; }
            }
        }
        if (!td) return FX_E_NOSOURCE;
        t->depth = (uint16_t)td;
    }

    uint32_t flags = s->flags;
    bool keep = flags & FX_SRC_ASPECT_KEEP, a43 = flags & FX_SRC_ASPECT_4_3, a169 = flags & FX_SRC_ASPECT_16_9;
    uint64_t sw = s->width, sh = s->height, tw = t->width, th = t->height;
    if (sw == 0 || sh == 0) return FX_E_UNSUPPORTED;
    if (tw == 0 && th == 0) {
        tw = sw;
        th = a43 ? (tw * 3) >> 2 : a169 ? tw * 9 / 16 : sh;
    } else if (th == 0) {
        th = keep ? sh * tw / sw : a43 ? tw * 3 / 4 : a169 ? tw * 9 / 16 : sh;
    } else if (tw == 0) {
        tw = keep ? sw * th / sh : a43 ? th * 4 / 3 : a169 ? th * 16 / 9 : sw;
    } else if (keep || a43 || a169) {
        double dw = keep ? (double)sw : a43 ? sh * 4.0 / 3.0 : sh * 16.0 / 9.0;
        double scale = std::min(tw / dw, (double)th / sh);
        tw = std::max<uint64_t>(1, (uint64_t)(dw * scale + 0.5));
        th = std::max<uint64_t>(1, (uint64_t)(sh * scale + 0.5));
    }
    if (tw == 0 || th == 0 || tw > 65535 || th > 65535) return FX_E_UNSUPPORTED;
    t->width = (uint16_t)tw;
    t->height = (uint16_t)th;
    return 0;
}

static int convertLocked(ConvertSource *s, ConvertTarget *t)
{
    s->readerState = 0;
    s->transparent = 0;   // the reader tells, every time
    HGLOBAL *callerDibSlot = (t && t->resultDib && !*t->resultDib) ? t->resultDib : nullptr;
    uint16_t rememberedId = 0;
    FxReaderOpen open = nullptr;
    FxWriterOpen wopen = nullptr;

    int r = chooseReader(s, &open);
    if (r == 0 || r == FX_E_NOFILTER) {
        if (s->stream) bfSetCacheBlockSize(s->stream, 0);
        clearReaderSlots(s);
        // No reader by id, extension or probe: the caller's own open, as
        // for a filter module no registry lists (the extra filters).
        if (!open && s->open) open = s->open;
        r = open ? open(s) : FX_E_NOFILTER;
        if (r == 0) s->open = open;
        if (r != 0 && (s->flags & FX_SRC_PROBEALL)) r = probeAll(s);
    }
    if (r == 0) {
        if (s->callback) s->callback(s, 0, 0);
        if (s->stream) bfSetCacheBlockSize(s->stream, 0xFFFF);
        if (s->width > 8192 || depthBit(s->depth) == 0 || s->width == 0 || s->height == 0)
            r = FX_E_UNSUPPORTED;
    }
    if (!t || r != 0) goto finish;

    rememberedId = s->formatId;
    if (s->version >= 0x30000) t->sourceFlags = s->flags;

    // Writer.
    if (t->resultDib) {
        if (t->formatId == FX_ID_BMP) {
            wopen = writerById(FX_ID_BMP);
            t->writerState |= 2;
        } else {
            t->formatId = FX_ID_MEMORY;
            wopen = fxMemWriterOpen;
        }
    } else if (t->pixelBlock || t->resultBitmap || t->resultPalette) {
        t->formatId = FX_ID_MEMORY;
        wopen = fxMemWriterOpen;
    } else if ((t->encodedOutput && t->formatId) || t->formatId == FX_ID_USER) {
        wopen = writerById(t->formatId);
    } else if (!t->path[0]) {
        r = FX_E_NOOUTPUT;
        goto finish;
    } else {
        char path[261];
        memcpy(path, t->path, 260);
        path[260] = 0;
        if (!(s->flags & FX_SRC_NEGOTIATE)) {
            t->stream = bfOpenFile(path, (s->flags & FX_SRC_APPEND) ? 8 : 4);
            if (!t->stream) { r = FX_E_OPEN; goto finish; }
        }
        if (t->formatId == 0) {
            const char *ext = extensionOf(path);
            uint16_t id = 0, sub = 0;
            wopen = ext ? fxWriterByExtension(ext, &id, &sub) : nullptr;
            if (wopen) {
                t->formatId = id;
                t->subFormat = sub;
            } else if (t->open) {
                wopen = t->open;   // the caller's own writer; its open sets the id
            } else {
                r = FX_E_NOFILTER;
                goto finish;
            }
        }
    }
    if (!wopen && t->formatId) wopen = writerById(t->formatId);
    if (!wopen) { r = FX_E_NOWRITER; goto finish; }
    t->open = wopen;
    if ((r = wopen(t)) != 0) goto finish;
    {
        int caps = t->caps & 0xFF;
        int req = t->depth;
        if (req == 0) {
            t->depth = (uint16_t)(caps | FX_DEPTH_CHOOSE);
        } else if (!(req & FX_DEPTH_CHOOSE)) {
            int bit = depthBit(req);
            bool ok = req == 24 ? (caps & 0x82) == 0x82 : bit && (caps & bit);
            if (!ok) { r = FX_E_UNSUPPORTED; goto finish; }
        } else {
            int m = (req & caps) | FX_DEPTH_CHOOSE;
            if (m == FX_DEPTH_CHOOSE) { r = FX_E_UNSUPPORTED; goto finish; }
            t->depth = (uint16_t)m;
        }
    }
    if ((r = fxNegotiate(s, t)) != 0) goto finish;
    if (t->depth <= 8 && t->paletteCount == 0) t->paletteCount = (uint16_t)(1u << t->depth);
    if (!(s->flags & FX_SRC_NEGOTIATE)) {
        uint32_t sOrder = s->rowOrder & 0xF00;
        bool orderOk = (t->caps & sOrder) == sOrder || (s->readerCaps & FX_CAN_REVERSE) ||
                       (t->caps & FX_CAN_REVERSE);
        // Only the memory bitmap reader hands out whole rows in memory, which
        // the colour reducer's histogram pass needs.
        bool memBitmap = s->open == fxMemReaderOpen && !(s->pixels && t->intermediateDib);
        bool twoStage = !s->readRow ||
                        (!memBitmap && (t->intermediateDib || !orderOk || (t->depth == 8 && s->depth > 8)));
        if (twoStage) {
            ConvertTarget m;
            memset(&m, 0, sizeof(m));
            m.version = FX_REQUEST_VERSION;
            m.formatId = FX_ID_MEMORY;
            m.width = s->width;
            m.height = s->height;
            m.depth = s->depth;
            m.paletteCount = s->depth <= 8 ? (uint16_t)(1u << s->depth) : 0;
            if ((r = fxMemWriterOpen(&m)) != 0) goto finish;
            r = fxRunPipeline(s, &m);
            if (r != 0) {
                if (m.hOwnDib) GlobalFree(m.hOwnDib);
                goto finish;
            }
            s->flags &= ~FX_SRC_INVERTALPHA;
            s->formatId = FX_ID_MEMORY;
            if (s->hOwnDib && s->hOwnDib != m.hOwnDib) GlobalFree(s->hOwnDib);
            s->hOwnDib = m.hOwnDib;
            if (s->stream) { bfDestroy(s->stream); s->stream = nullptr; }
            clearReaderSlots(s);
            s->priv = nullptr;
            if ((r = fxMemReaderOpen(s)) != 0) goto finish;
            s->open = fxMemReaderOpen;
        }
        if ((r = fxRunPipeline(s, t)) != 0) goto finish;

        HGLOBAL dib = t->hOwnDib ? t->hOwnDib
                                 : (t->resultDib && t->formatId == FX_ID_MEMORY ? *t->resultDib : nullptr);
        if (dib && (t->resultBitmap || t->resultPalette)) {
            HPALETTE pal = nullptr;
            if (fxScreenDepth() <= 8) {
                pal = s->hBitmap && s->hPalette ? s->hPalette : fxPaletteFromDib(dib);
                if (pal == s->hPalette) s->hPalette = nullptr;
            }
            if (t->resultBitmap) *t->resultBitmap = fxBitmapFromDib(dib, pal);
            if (t->resultPalette) *t->resultPalette = pal;
            else if (pal) DeleteObject(pal);
        }
        if (t->hOwnDib) { GlobalFree(t->hOwnDib); t->hOwnDib = nullptr; }
    }
    if (s->hOwnDib) {
        if (t->intermediateDib) *t->intermediateDib = s->hOwnDib;
        else GlobalFree(s->hOwnDib);
        s->hOwnDib = nullptr;
    }

finish:
    if (s->close) { FxReaderClose c = s->close; s->close = nullptr; c(s); }
    if (t && t->close) { FxWriterClose c = t->close; t->close = nullptr; c(t); }
    if (r != 0) {
        if (s->hOwnDib) { GlobalFree(s->hOwnDib); s->hOwnDib = nullptr; }
        if (t) {
            if (t->stream) { t->stream->flags |= BS_DELETE; bfDestroy(t->stream); t->stream = nullptr; }
            if (t->hOwnDib) { GlobalFree(t->hOwnDib); t->hOwnDib = nullptr; }
            if (t->sourceCopy && *t->sourceCopy) { GlobalFree(*t->sourceCopy); *t->sourceCopy = nullptr; }
            // A DIB the library made for an empty result slot is not handed out.
            if (callerDibSlot && *callerDibSlot) { GlobalFree(*callerDibSlot); *callerDibSlot = nullptr; }
        }
    } else if (t) {
        s->formatId = rememberedId;
    }
    if (s->stream) { bfDestroy(s->stream); s->stream = nullptr; }
    if (t && t->stream) { bfDestroy(t->stream); t->stream = nullptr; }
    // The palette given with a bitmap source is always consumed.
    if (t && s->hBitmap && s->hPalette) { DeleteObject(s->hPalette); s->hPalette = nullptr; }
    // A caller's mask buffer that was too small: the image was read all the
    // same, and the caller learns it from the result.
    if (r == 0 && (s->readerState & FX_RS_BUFFER_SHORT)) r = FX_E_BUFFER;
    return r;
}

int WINAPI ferrixConvert(ConvertSource *source, ConvertTarget *target)
{
    fxDiscover();
    fxLock();
    if (!source) {
        fxUnlock();
        return FX_E_NOSOURCE;
    }
    WINE_TRACE("(%p, %p) source %s id %u flags %#x, target %s id %u depth %#x\n", source, target,
               wine_dbgstr_an(source->path, strnlen(source->path, 260)), source->formatId, source->flags,
               target ? wine_dbgstr_an(target->path, strnlen(target->path, 260)) : "none",
               target ? target->formatId : 0, target ? target->depth : 0);
    ConvertSource *outer = g_progressSource;
    g_progressSource = source;
    int r = convertLocked(source, target);
    if (r) WINE_WARN("conversion failed with %d\n", r);
    else WINE_TRACE("%ux%u depth %u -> %ux%u depth %u\n", source->width, source->height, source->depth,
                    target ? target->width : 0, target ? target->height : 0, target ? target->depth : 0);
    g_progressSource = outer;
    source->result = r;
    fxUnlock();
    return r;
}

}  // extern "C"
