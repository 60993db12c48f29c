// Conversion pipeline: one source row in, one target row out, through a
// stage routine chosen once per run (plain converter, nearest-neighbour
// resampling for palette targets, or the graphics core's scaler).
#include "pipeline.h"
#include "membitmap.h"
#include <string.h>
#include <stdlib.h>
#include <algorithm>

// The graphics core's scale and background scanline sources and gamma
// correction, through its exports.  Each state starts with the words
// output-ready and input-wanted.
extern "C" {
void *WINAPI BeginScaleScanline(LONG srcWidth, LONG srcHeight, LONG dstWidth, LONG dstHeight);
LONG WINAPI ScaleScanline(DWORD *dst, const DWORD *src, void *state);
LONG WINAPI EndScaleScanline(void *state);
void *WINAPI BeginBackgroundScanline(LONG width);
LONG WINAPI BackgroundScanline(DWORD *dst, const DWORD *src, void *state);
LONG WINAPI EndBackgroundScanline(void *state);
LONG WINAPI GammaCorrectPELs(DWORD *pixels, LONG count);
}

namespace {

struct ScaleWords { LONG outputReady, inputWanted; };

LONG width(const RECT &r) { return r.right - r.left; }
LONG height(const RECT &r) { return r.bottom - r.top; }

RECT intersect(const RECT &a, const RECT &b)
{
    RECT r = { std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom) };
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

// ------------------------------------------------------------- stages

int plainStage(FxConverter *rec, const BYTE *src, BYTE *dst, void *)
{
    if (rec->plain) return rec->plain(rec, src, dst, (int)rec->placedWidth);
    memcpy(dst, src, rec->segmentBytes);
    return 3;
}

int nearestStage(FxConverter *rec, const BYTE *src, BYTE *dst, void *)
{
    if (rec->placedHeight == rec->sourceHeight) {
        // Only the width scales: one target row per source row, none repeated
        // at the top and none lost at the bottom.
        rec->resample(rec, src, dst, (int)rec->placedWidth, rec->hSteps);
        return 3;
    }
    if (rec->dstOwed < rec->srcOwed) {
        rec->prevWrote = 0;
        rec->srcOwed -= rec->dstOwed;
        rec->dstOwed = rec->placedHeight;
        if (rec->placedHeight < rec->srcOwed) return 1;
    }
    rec->resample(rec, src, dst, (int)rec->placedWidth, rec->hSteps);
    rec->dstOwed -= rec->srcOwed;
    rec->srcOwed = rec->sourceHeight;
    int result = rec->prevWrote ? 2 : 3;
    rec->prevWrote = 1;
    return result;
}

// Same sub-byte depth from a source rectangle that starts inside a byte:
// the resampling converter with unit steps realigns the pixels.
int realignStage(FxConverter *rec, const BYTE *src, BYTE *dst, void *)
{
    rec->resample(rec, src, dst, (int)rec->placedWidth, rec->hSteps);
    return 3;
}

void nearestEnd(FxConverter *rec)
{
    free(rec->hSteps);
    free(rec->vSteps);
    rec->hSteps = rec->vSteps = rec->vSteps2 = nullptr;
}

int scaleStage(FxConverter *rec, const BYTE *src, BYTE *dst, void *)
{
    const DWORD *in = (const DWORD *)src;
    if (rec->to32) {
        rec->to32(rec, src, rec->in32, (int)rec->sourceWidth);
        in = (const DWORD *)rec->in32;
    }
    DWORD *out = rec->from32 ? (DWORD *)rec->out32 : (DWORD *)dst;
    ScaleScanline(out, in, rec->scaleState);
    const ScaleWords *w = (const ScaleWords *)rec->scaleState;
    if (w->outputReady && rec->backgroundState) {
        GammaCorrectPELs(out, (LONG)rec->placedWidth);
        BackgroundScanline(out, out, rec->backgroundState);
    }
    if (w->outputReady && rec->from32) rec->from32(rec, rec->out32, dst, (int)rec->placedWidth);
    return (w->inputWanted ? 1 : 0) | (w->outputReady ? 2 : 0);
}

void scaleEnd(FxConverter *rec)
{
    if (rec->scaleState) EndScaleScanline(rec->scaleState);
    if (rec->backgroundState) EndBackgroundScanline(rec->backgroundState);
    if (rec->rowBlock) {
        GlobalUnlock(rec->rowBlock);
        GlobalFree(rec->rowBlock);
    }
    rec->scaleState = rec->backgroundState = nullptr;
    rec->rowBlock = nullptr;
    rec->in32 = rec->out32 = nullptr;
}

FxPlainConv plainCell(int mode, int sd, int td)
{
    if (!fxPlainTable) return nullptr;
    return fxPlainTable[mode][fxDepthIndex(sd)][fxDepthIndex(td)];
}

FxResampleConv resampleCell(int mode, int sd, int td)
{
    if (!fxResampleTable) return nullptr;
    return fxResampleTable[mode][fxDepthIndex(sd)][fxDepthIndex(td)];
}

template <class T>
T extractor(const T *table, int sd)
{
    return table ? table[sd / 8] : nullptr;
}

void greyRamp(RGBQUAD *pal)
{
    for (int i = 0; i < 256; i++) pal[i] = RGBQUAD{ (BYTE)i, (BYTE)i, (BYTE)i, 0 };
}

uint32_t toWord(const RGBQUAD &q)
{
    return q.rgbBlue | (q.rgbGreen << 8) | (q.rgbRed << 16) | ((uint32_t)q.rgbReserved << 24);
}

// Sets up the colour reduction of a deep source into `pal`; 0 or a code.
int startReduction(FxConverter *rec, ConvertSource *s, RGBQUAD *pal)
{
    if (!fxReduceHistogram || !fxReduceBuildPalette || !fxReduceBuildInverseMap) return FX_E_UNSUPPORTED;
    rec->reducer = 1;
    int r = fxReduceHistogram(s);
    if (r) return r;
    r = fxReduceBuildPalette(pal);
    if (r) return r;
    fxReduceBuildInverseMap();
    return 0;
}

}  // namespace

extern "C" {

void fxBuildSteps(BYTE *steps, uint32_t D, uint32_t S)
{
    if (D == S) {
        // One axis at its own size (the other one scales): every sample in
        // turn, not a list shifted by one that drops the last sample.
        for (uint32_t i = 0; i < D; i++) steps[i] = i ? 1 : 0;
        return;
    }
    uint32_t rem = D, index = 0, previous = 0;
    for (uint32_t i = 0; i < D; i++) {
        uint32_t r = S, chosen = index;
        if (rem < S) {
            do {
                if (r > S / 2) chosen = index;
                r -= rem;
                index++;
                rem = D;
            } while (D < r);
        }
        rem -= r;
        steps[i] = (BYTE)(chosen - previous);
        previous = chosen;
    }
}

int fxFillRows(BYTE *rows, uint32_t w, uint32_t n, int d, uint32_t stride, const uint32_t *palette, uint32_t c)
{
    if (!rows || fxDepthIndex(d) < 0) return FX_E_UNSUPPORTED;
    uint32_t bytes = fxRowBytes(w, d);
    BYTE *row = (BYTE *)HeapAlloc(GetProcessHeap(), 0, bytes ? bytes : 1);
    if (!row) return FX_E_MEMORY;
    BYTE b = c & 0xFF, g = (c >> 8) & 0xFF, r = (c >> 16) & 0xFF;
    if (d <= 8) {
        int best = 0;
        long bestDist = -1;
        int entries = 1 << d;
        for (int i = 0; palette && i < entries; i++) {
            long db = (long)(palette[i] & 0xFF) - b, dg = (long)((palette[i] >> 8) & 0xFF) - g,
                 dr = (long)((palette[i] >> 16) & 0xFF) - r;
            long dist = db * db + dg * dg + dr * dr;
            if (bestDist < 0 || dist < bestDist) { bestDist = dist; best = i; }
        }
        BYTE v = d == 1 ? (best ? 0xFF : 0) : d == 4 ? (BYTE)((best << 4) | best) : (BYTE)best;
        memset(row, v, bytes);
    } else if (d == 16) {
        uint16_t v = (uint16_t)(((c & 0x80000000u) ? 0 : 0x8000) | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
        for (uint32_t i = 0; i < w; i++) memcpy(row + i * 2, &v, 2);
    } else if (d == 24) {
        for (uint32_t i = 0; i < w; i++) { row[i * 3] = b; row[i * 3 + 1] = g; row[i * 3 + 2] = r; }
    } else {
        for (uint32_t i = 0; i < w; i++) memcpy(row + i * 4, &c, 4);
    }
    for (uint32_t y = 0; y < n; y++) memcpy(rows + (size_t)y * stride, row, bytes);
    HeapFree(GetProcessHeap(), 0, row);
    return 0;
}

void fxFreeConverter(FxConverter *rec)
{
    if (!rec) return;
    if (rec->stageEnd) rec->stageEnd(rec);
    if (rec->reducer && fxReduceRelease) fxReduceRelease();
    free(rec);
}

FxConverter *fxBuildConverter(ConvertSource *s, ConvertTarget *t, int sd, int td, const RECT *src,
                              const RECT *placed, const RECT *frame, RGBQUAD *pal, int count, uint32_t flags,
                              uint8_t targetAlpha, int *result)
{
    int dummy;
    if (!result) result = &dummy;
    *result = 0;
    if (fxDepthIndex(sd) < 0 || fxDepthIndex(td) < 0) { *result = FX_E_UNSUPPORTED; return nullptr; }
    FxConverter *rec = (FxConverter *)calloc(1, sizeof(FxConverter));
    if (!rec) { *result = FX_E_MEMORY; return nullptr; }

    // Geometry.
    uint32_t srcW = (uint32_t)width(*src), srcH = (uint32_t)height(*src);
    rec->segmentBits = srcW * sd;
    rec->startPhase = (uint16_t)(((src->left & 0xFF) * sd) % 8);
    rec->endPhase = (uint16_t)((rec->startPhase + (rec->segmentBits & 0xFF)) % 8);
    rec->srcByteOffset = (uint32_t)src->left * sd / 8;
    rec->dstByteOffset = (uint32_t)placed->left * td / 8;
    // Whole bytes, so that the last pixels of a sub-byte row are not lost.
    rec->segmentBytes = ((uint32_t)width(*placed) * td + 7) / 8;
    rec->targetRowBytes = fxRowBytes((uint32_t)width(*frame), td);
    rec->placedWidth = (uint32_t)width(*placed);
    rec->placedHeight = (uint32_t)height(*placed);
    rec->sourceWidth = srcW;
    rec->sourceHeight = srcH;
    rec->srcRect = src;
    rec->placedRect = placed;
    rec->frameRect = frame;
    rec->srcDepth = sd;
    rec->dstDepth = td;
    rec->flags = flags;
    bool scaling = srcW != rec->placedWidth || srcH != rec->placedHeight || (flags & FX_SRC_BACKGROUND);

    // Alpha byte and working palette.
    uint8_t alpha = (flags & (FX_SRC_TARGETALPHA | FX_SRC_KEEPALPHA)) ? targetAlpha : 255;
    if (flags & FX_SRC_INVERTALPHA) alpha = 255 - alpha;
    rec->alpha = alpha;
    count = std::max(0, std::min(count, 256));
    if (pal) {
        if (sd <= 8 && (flags & FX_SRC_GREY)) {
            for (int i = 0; i < count; i++) {
                BYTE grey = (BYTE)((28 * pal[i].rgbBlue + 151 * pal[i].rgbGreen + 77 * pal[i].rgbRed) / 256);
                // A grey entry has the level in all three colours.
                rec->palette[i] = grey | (grey << 8) | (grey << 16);
                if (td <= 8) pal[i] = RGBQUAD{ grey, grey, grey, 0 };
            }
        } else if (flags & FX_SRC_MASK) {
            for (int i = 0; i < 256; i++) {
                rec->palette[i] = alpha * 0x01010101u;
                if (td <= 8 && i < count) pal[i] = RGBQUAD{ alpha, alpha, alpha, pal[i].rgbReserved };
            }
        } else {
            for (int i = 0; i < count; i++) rec->palette[i] = toWord(pal[i]);
        }
    }
    for (int i = 0; i < 256; i++) rec->palette[i] = (rec->palette[i] & 0xFFFFFFu) | ((uint32_t)alpha << 24);
    // A palette source's transparent colour keeps no alpha (inverted: full).
    if (sd <= 8 && s->transparent && s->transparent <= 256 && !(flags & FX_SRC_MASK))
        rec->palette[s->transparent - 1] = (rec->palette[s->transparent - 1] & 0xFFFFFFu) |
                                           ((flags & FX_SRC_INVERTALPHA) ? 0xFF000000u : 0u);

    int mode = (flags & FX_SRC_KEEPALPHA) ? 1 : (flags & FX_SRC_INVERTALPHA) ? 2 : 0;
    rec->mode = mode;
    int r = 0;
    bool deepTo8 = td == 8 && sd > 8;

    if (sd <= 8 && td == 16 && !scaling) {
        for (int i = 0; i < 256; i++) {
            uint32_t e = rec->palette[i];
            uint32_t v = ((e & 0x80000000u) ? 0 : 0x8000) | (((e >> 19) & 31) << 10) | (((e >> 11) & 31) << 5) |
                         ((e >> 3) & 31);
            rec->palette[i] = v;
        }
        rec->stage = plainStage;
        rec->plain = plainCell(mode, sd, td);
        if (!rec->plain) r = FX_E_UNSUPPORTED;
    } else if (scaling && (td > 8 || (sd <= 8 && td == 16))) {
        rec->to32 = sd == 32 ? nullptr : plainCell((flags & FX_SRC_KEEPALPHA) ? 1 : 0, sd, 32);
        rec->from32 = plainCell(mode, 32, td);
        if (sd != 32 && !rec->to32) r = FX_E_UNSUPPORTED;
        if (td != 32 && !rec->from32) r = FX_E_UNSUPPORTED;
        if (!r) {
            rec->scaleState = BeginScaleScanline((LONG)srcW, (LONG)srcH, (LONG)rec->placedWidth,
                                                 (LONG)rec->placedHeight);
            if (!rec->scaleState) r = FX_E_MEMORY;
        }
        if (!r && (flags & FX_SRC_BACKGROUND)) {
            rec->backgroundState = BeginBackgroundScanline((LONG)rec->placedWidth);
            if (!rec->backgroundState) r = FX_E_MEMORY;
        }
        if (!r) {
            size_t inBytes = rec->to32 ? (size_t)srcW * 4 : 0, outBytes = rec->from32 ? (size_t)rec->placedWidth * 4 : 0;
            if (inBytes + outBytes) {
                rec->rowBlock = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, inBytes + outBytes + 16);
                BYTE *p = rec->rowBlock ? (BYTE *)GlobalLock(rec->rowBlock) : nullptr;
                if (!p) r = FX_E_MEMORY;
                else {
                    rec->in32 = inBytes ? p : nullptr;
                    rec->out32 = outBytes ? p + inBytes : nullptr;
                }
            }
        }
        rec->stage = scaleStage;
        rec->stageEnd = scaleEnd;
    } else if (scaling) {
        // Palette target: nearest-neighbour resampling with step lists.
        rec->hSteps = (BYTE *)malloc(rec->placedWidth + 1);
        rec->vSteps = (BYTE *)malloc(rec->placedHeight + 1);
        rec->vSteps2 = rec->vSteps;
        rec->stageEnd = nearestEnd;
        if (!rec->hSteps || !rec->vSteps) {
            MessageBoxA(nullptr, "Out of memory!", "Error", MB_ICONEXCLAMATION);
            r = FX_E_MEMORY;   // a converter must never walk a missing step list
        } else {
            fxBuildSteps(rec->hSteps, rec->placedWidth, srcW);
            fxBuildSteps(rec->vSteps, rec->placedHeight, srcH);
        }
        if (!r && deepTo8) {
            if (flags & FX_SRC_MASK) { rec->resample = extractor(fxResampleAlphaTable, sd); if (pal) greyRamp(pal); }
            else if (flags & FX_SRC_GREY) { rec->resample = extractor(fxResampleGreyTable, sd); if (pal) greyRamp(pal); }
            else {
                r = pal ? startReduction(rec, s, pal) : FX_E_UNSUPPORTED;
                rec->resample = extractor(fxReduceResampleTable, sd);
            }
            if (pal) for (int i = 0; i < 256; i++) rec->palette[i] = toWord(pal[i]) | ((uint32_t)alpha << 24);
        } else if (!r) {
            rec->resample = resampleCell(mode, sd, td);
        }
        if (!r && !rec->resample) r = FX_E_UNSUPPORTED;
        rec->srcOwed = srcH;
        rec->dstOwed = rec->placedHeight;
        rec->prevWrote = 1;
        rec->stage = nearestStage;
    } else if (deepTo8) {
        if (flags & FX_SRC_MASK) { rec->plain = extractor(fxPlainAlphaTable, sd); if (pal) greyRamp(pal); }
        else if (flags & FX_SRC_GREY) { rec->plain = extractor(fxPlainGreyTable, sd); if (pal) greyRamp(pal); }
        else {
            r = pal ? startReduction(rec, s, pal) : FX_E_UNSUPPORTED;
            rec->plain = extractor(fxReducePlainTable, sd);
        }
        if (pal) for (int i = 0; i < 256; i++) rec->palette[i] = toWord(pal[i]) | ((uint32_t)alpha << 24);
        if (!r && !rec->plain) r = FX_E_UNSUPPORTED;
        rec->stage = plainStage;
    } else {
        rec->plain = plainCell(mode, sd, td);
        rec->stage = plainStage;
        // An empty cell copies the bytes, which is right only for equal depths.
        if (!rec->plain && sd != td) r = FX_E_UNSUPPORTED;
        // A byte copy of 1- or 4-bit rows starting inside a byte would shift
        // every pixel: realign them instead.
        if (!r && !rec->plain && sd < 8 && rec->startPhase && (rec->resample = resampleCell(mode, sd, td))) {
            rec->hSteps = (BYTE *)malloc(rec->placedWidth + 1);
            rec->stageEnd = nearestEnd;
            if (!rec->hSteps) r = FX_E_MEMORY;
            else {
                fxBuildSteps(rec->hSteps, rec->placedWidth, rec->placedWidth);
                rec->stage = realignStage;
            }
        }
    }
    if (r) {
        fxFreeConverter(rec);
        *result = r;
        return nullptr;
    }
    return rec;
}

}  // extern "C"

namespace {

// Repeats the converted segment across the whole target row.
void tileRow(BYTE *row, uint32_t rowBytes, uint32_t offset, uint32_t seg)
{
    if (seg == 0 || offset >= rowBytes) return;
    seg = std::min(seg, rowBytes - offset);
    for (uint64_t pos = (uint64_t)offset + seg; pos < rowBytes; pos += seg)
        memcpy(row + pos, row + offset, (size_t)std::min<uint64_t>(seg, rowBytes - pos));
    for (int64_t pos = (int64_t)offset - seg; pos > -(int64_t)seg; pos -= seg) {
        if (pos >= 0) memcpy(row + pos, row + offset, seg);
        else memcpy(row, row + offset - pos, (size_t)(seg + pos));
    }
}

bool topDown(uint16_t order, bool reversed)
{
    bool td = (order & FX_ROWS_TOPDOWN) != 0;
    return reversed ? !td : td;
}

int rowLoop(FxConverter *rec, ConvertSource *s, ConvertTarget *t, uint32_t frameH)
{
    const RECT &src = *rec->srcRect, &placed = *rec->placedRect;
    uint32_t sh = s->height;
    uint32_t srcSkip = topDown(s->rowOrder, s->readerState & 1) ? (uint32_t)src.top : sh - (uint32_t)src.bottom;
    uint32_t dstSkip = topDown(t->rowOrder, t->writerState & 1) ? (uint32_t)placed.top
                                                                 : frameH - (uint32_t)placed.bottom;
    uint32_t flags = rec->flags;
    int r;
    if (s->beginRows && (r = s->beginRows(s)) < 0) return r;
    if (t->beginRows && (r = t->beginRows(t)) < 0) return r;

    // A reader that states too short a row must not make the converter read
    // past the buffer.
    uint32_t srcBytes = std::max(s->bytesPerRow, fxRowBytes(s->width, s->depth)) + 16;
    uint32_t dstBytes = rec->targetRowBytes + 16;
    BYTE *srcBuf = (BYTE *)calloc(1, srcBytes);
    BYTE *srcBuf2 = (flags & FX_SRC_LINEDOUBLE) ? (BYTE *)calloc(1, srcBytes) : nullptr;
    BYTE *dstBuf = (BYTE *)calloc(1, dstBytes);
    if (!srcBuf || !dstBuf || ((flags & FX_SRC_LINEDOUBLE) && !srcBuf2)) {
        free(srcBuf); free(srcBuf2); free(dstBuf);
        return FX_E_MEMORY;
    }
    uint32_t frameW = (uint32_t)(rec->frameRect->right - rec->frameRect->left);
    bool fill = (flags & FX_SRC_FILL) != 0;
    bool tile = (flags & FX_SRC_TILE) != 0;
    // Rows outside the placed rectangle of a tiled image on a writer without
    // a skip routine are written with the fill colour rather than garbage.
    if (fill || tile)
        fxFillRows(dstBuf, frameW, 1, rec->dstDepth, dstBytes, rec->palette, t->fillColor);

    int result = 0;
    for (uint32_t i = 0; i < srcSkip && !result; i++) {
        if (s->skipRow) { LONG_PTR v = s->skipRow(s); if (v < 0 && v > -100) result = (int)v; }
        else if (s->readRow) result = s->readRow(s, srcBuf);
    }
    for (uint32_t i = 0; i < dstSkip && !result; i++) {
        if (t->skipRow && !fill) result = t->skipRow(t);
        else if (t->writeRow) result = t->writeRow(t, dstBuf);
    }

    uint32_t srcLeft = (uint32_t)height(src), dstLeft = rec->placedHeight;
    uint32_t rowsRead = 0;
    int last = 1;
    // Each turn reads a row, writes one or both; the bound only stops a
    // stage that would go on asking for rows that do not exist.
    uint64_t guard = 4ull * (srcLeft + dstLeft) + 16;
    while (!result && dstLeft && guard--) {
        if ((last & 1) && srcLeft) {
            srcLeft--;
            // Line doubling: a row read while an even number remains is
            // never converted, so each other row reaches the stage twice.
            BYTE *into = ((flags & FX_SRC_LINEDOUBLE) && (srcLeft % 2) == 0) ? srcBuf2 : srcBuf;
            if (s->readRow && (result = s->readRow(s, into)) != 0) break;
            rowsRead++;
        }
        last = rec->stage(rec, srcBuf + rec->srcByteOffset, dstBuf + rec->dstByteOffset, nullptr);
        if (last & 2) {
            if (tile) tileRow(dstBuf, rec->targetRowBytes, rec->dstByteOffset, rec->segmentBytes);
            if (s->callback) s->callback(s, 0, rowsRead);
            if (t->callback) t->callback(t, 1, (LONG_PTR)dstBuf);
            if (t->writeRow && (result = t->writeRow(t, dstBuf)) != 0) break;
            dstLeft--;
        }
    }
    // Rows a stage still owes when its input ran dry repeat the last row,
    // so that the output keeps the size its header states.
    while (!result && dstLeft) {
        if (t->writeRow && (result = t->writeRow(t, dstBuf)) != 0) break;
        dstLeft--;
    }

    if (!result && tile && t->formatId == FX_ID_MEMORY) {
        BYTE *pixels; uint32_t stride, rows;
        if (fxMemWriterBlock(t, &pixels, &stride, &rows) && rec->placedHeight) {
            uint32_t ph = rec->placedHeight;
            uint32_t start = (t->writerState & 1) ? rows - std::min(rows, dstSkip + ph) : dstSkip;
            uint32_t total = std::min(rows, frameH);
            for (uint32_t y = 0; y < total; y++) {
                if (y >= start && y < start + ph) continue;
                uint32_t from = start + (uint32_t)(((int64_t)y - start) % ph + ph) % ph;
                if (from < rows) memcpy(pixels + (size_t)y * stride, pixels + (size_t)from * stride, stride);
            }
        }
    } else if (!result && (fill || tile)) {
        uint32_t after = frameH > dstSkip + rec->placedHeight ? frameH - dstSkip - rec->placedHeight : 0;
        fxFillRows(dstBuf, frameW, 1, rec->dstDepth, dstBytes, rec->palette, t->fillColor);
        for (uint32_t i = 0; i < after && !result; i++)
            if (t->writeRow) result = t->writeRow(t, dstBuf);
    }
    free(srcBuf);
    free(srcBuf2);
    free(dstBuf);
    return result;
}

bool isFileStream(BufferedStream *s) { return s && s->file; }

}  // namespace

extern "C" int fxRunPipeline(ConvertSource *s, ConvertTarget *t)
{
    s->readerState &= ~1u;
    t->writerState &= ~1u;
    if (s->callback) s->callback(s, 0, 0);

    uint32_t sflags = s->flags;
    int td = t->depth, sd = s->depth;
    LONG tw = t->width, th = t->height;

    RECT frame = { 0, 0, tw, th };
    if (t->blockGeometry && t->blockGeometry->bytesPerRow && td) {
        frame.right = (LONG)((uint64_t)t->blockGeometry->bytesPerRow * 8 / td);
        frame.bottom = t->blockGeometry->height ? (LONG)t->blockGeometry->height : th;
    }
    if (t->frameSize) {
        frame.right = std::max<LONG>(0, t->frameSize->cx);
        frame.bottom = std::max<LONG>(0, t->frameSize->cy);
    }
    frame.right = std::min<LONG>(frame.right, 65535);
    frame.bottom = std::min<LONG>(frame.bottom, 65535);

    RECT clipped = { 0, 0, tw, th };
    if (t->clipRect) clipped = intersect(clipped, *t->clipRect);
    LONG dx = t->origin ? t->origin->x - clipped.left : -clipped.left;
    LONG dy = t->origin ? t->origin->y - clipped.top : -clipped.top;
    LONG fw = width(frame), fh = height(frame), cw = std::abs(width(clipped)), ch = std::abs(height(clipped));
    if (sflags & FX_SRC_LEFT) dx = -clipped.left;
    if (sflags & FX_SRC_RIGHT) dx = fw - cw;
    if (sflags & FX_SRC_TOP) dy = -clipped.top;
    if (sflags & FX_SRC_BOTTOM) dy = fh - ch;
    if (sflags & FX_SRC_HCENTRE) dx = std::abs(fw) / 2 - cw / 2 - clipped.left;
    if (sflags & FX_SRC_VCENTRE) dy = std::abs(fh) / 2 - ch / 2 - clipped.top;

    RECT placed = { clipped.left + dx, clipped.top + dy, clipped.right + dx, clipped.bottom + dy };
    placed = intersect(placed, frame);
    RECT visible = { placed.left - dx, placed.top - dy, placed.right - dx, placed.bottom - dy };
    RECT srcRect;
    RECT whole = { 0, 0, (LONG)s->width, (LONG)s->height };
    if (t->sourceRect) {
        srcRect = *t->sourceRect;
    } else {
        double sx = (double)s->width / (tw ? tw : 1), sy = (double)s->height / (th ? th : 1);
        srcRect.left = (LONG)(visible.left * sx + 0.5);
        srcRect.right = (LONG)(visible.right * sx + 0.5);
        srcRect.top = (LONG)(visible.top * sy + 0.5);
        srcRect.bottom = (LONG)(visible.bottom * sy + 0.5);
    }
    srcRect = intersect(srcRect, whole);
    t->width = (uint16_t)frame.right;
    t->height = (uint16_t)frame.bottom;

    int result = 0;
    BufferedStream *outStream = nullptr;
    bool callerBlock = false;
    HGLOBAL *outSlot = nullptr;

    // The whole source file in memory first, when asked.
    if (t->sourceCopy && isFileStream(s->stream)) {
        LONG pos = bfTell(s->stream);
        LONG len = bfFileLength(s->stream);
        HGLOBAL block = len > 0 ? GlobalAlloc(GMEM_MOVEABLE, (SIZE_T)len) : nullptr;
        BYTE *p = block ? (BYTE *)GlobalLock(block) : nullptr;
        if (p) {
            bfSeek(s->stream, 0, 0);
            LONG got = bfRead(s->stream, p, len);
            GlobalUnlock(block);
            BufferedStream *mem = got == len ? bfSetMemHandle(block, (uint32_t)len, (uint32_t)len, 0) : nullptr;
            if (mem) {
                bfDestroy(s->stream);
                s->stream = mem;
                bfSeek(mem, pos, 0);
                *t->sourceCopy = block;
                t->sourceCopyLength = (uint32_t)len;
            } else {
                bfSeek(s->stream, pos, 0);
                GlobalFree(block);
            }
        } else if (block) {
            GlobalFree(block);
        }
    }

    // Row orders.
    uint32_t sOrder = s->rowOrder & 0xF00;
    if ((t->caps & sOrder) == sOrder) {
        t->rowOrder = s->rowOrder;
    } else {
        t->rowOrder = (uint16_t)(t->caps & 0xF00);
        if (s->readerCaps & FX_CAN_REVERSE) s->readerState |= 1;
        else if (t->caps & FX_CAN_REVERSE) t->writerState |= 1;
    }

    if (s->prepare && (result = s->prepare(s)) < 0) goto done;

    if ((t->resultDib && t->formatId == FX_ID_BMP) || t->encodedOutput) {
        outSlot = t->encodedOutput ? t->encodedOutput : t->resultDib;
        callerBlock = *outSlot != nullptr;
        outStream = callerBlock ? bfSetMemHandle(*outSlot, 0, (uint32_t)GlobalSize(*outSlot), 0)
                                : bfSetMemHandle(nullptr, 0, 0, 64);
        if (!outStream) { result = FX_E_MEMORY; goto done; }
        if (callerBlock) bfSeek(outStream, 0, 0);
        outStream->length = 0;
        t->stream = outStream;
    }
    if (t->beginOutput && (result = t->beginOutput(t)) < 0) goto done;
    {
        RGBQUAD pal[256];
        memset(pal, 0, sizeof(pal));
        int count = 0;
        if (s->getPalette && s->paletteCount) {
            count = std::min<int>(s->paletteCount, 256);
            s->getPalette(s, pal, count);   // entries it does not fill stay black
        }
        if (s->readRow) {
            if (s->callback) s->callback(s, 0, 0);
            if (visible.left != frame.left || visible.top != frame.top || visible.right != frame.right ||
                visible.bottom != frame.bottom)
                sflags |= FX_SRC_FILL;
            s->flags = sflags;
            FxConverter *rec = fxBuildConverter(s, t, sd, td, &srcRect, &placed, &frame, pal, count, sflags,
                                                t->alpha, &result);
            if (!rec) goto done;
            if (t->setPalette && t->paletteCount) t->setPalette(t, pal, std::min<int>(t->paletteCount, 256));
            result = rowLoop(rec, s, t, (uint32_t)frame.bottom);
            fxFreeConverter(rec);
        } else if (s->readImage) {
            if (t->beginRows && (result = t->beginRows(t)) < 0) goto done;
            if (t->setPalette) t->setPalette(t, pal, 256);
            BYTE *pixels; uint32_t stride, rows;
            if (!fxMemWriterBlock(t, &pixels, &stride, &rows)) { result = FX_E_NOWRITER; goto done; }
            result = s->readImage(s, pixels, (LONG)stride);
        } else {
            result = FX_E_READ;
        }
    }

done:
    if (s->close) { FxReaderClose c = s->close; s->close = nullptr; c(s); }
    if (t->close) { FxWriterClose c = t->close; t->close = nullptr; c(t); }
    if (outStream) {
        if (result == 0 && !callerBlock) {
            HGLOBAL block = bfMemHandle(outStream);
            uint32_t len = (uint32_t)bfFileLength(outStream);
            bfDestroy(outStream);
            *outSlot = block;
            if (t->encodedOutput) t->encodedLength = len;
        } else {
            if (result == 0 && t->encodedOutput) t->encodedLength = (uint32_t)bfFileLength(outStream);
            if (result != 0 && !callerBlock) outStream->flags |= BS_FREEMEM;
            bfDestroy(outStream);
        }
        t->stream = nullptr;
    }
    return result;
}
