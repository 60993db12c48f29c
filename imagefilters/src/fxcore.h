/*
 * fxcore.h - internal interface shared by the parts of Ferrix32.dll:
 * the buffered-file calls every filter reads and writes through, the
 * library lock and progress slot, the converter record of the row pipeline
 * and the converter and colour-reducer entry points it calls.
 *
 * Built-in filters: a filter file defines its enumerators
 * (XXXEnumReadFormats / XXXEnumWriteFormats, declared in ferrix.h) with
 * extern "C" linkage and lists them in exports/NN-name.spec; the registry
 * (registry.cpp) refers to all thirteen through weak references, so a filter
 * whose file is not linked in is simply absent.  Nothing else to register.
 */
#ifndef FXCORE_H
#define FXCORE_H

#include "ferrix.h"
#include "bufile.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------ library services */

/* The library's one recursive lock (created at load). */
void fxLock(void);
void fxUnlock(void);

/* Reports "work goes on" through the callback of the conversion in
 * progress (calls it with three zeros); does nothing outside a conversion. */
void fxProgress(void);

/* Module handle of the library (the module that holds this code). */
HINSTANCE fxModule(void);

/* Fills the common part of a FormatRecord: form, bounded name copy, id,
 * depth mask and the library's instance. */
void fxFillRecord(FormatRecord *record, const char *name, uint16_t formatId, uint16_t depthMask);
/* Copies a list of extensions ("BMP\0RLE\0") ended by an empty string into
 * a record's extension field of the given size, never past it. */
void fxSetExtensions(char *field, size_t size, const char *list);

/* Bytes of one row: ((width x depth + 31) / 32) x 4. */
static inline uint32_t fxRowBytes(uint32_t width, uint32_t depth)
{
    return (uint32_t)(((uint64_t)width * depth + 31) / 32 * 4);
}

/* Depth index of the converter tables: 1->0, 4->1, 8->2, 16->3, 24->4, 32->5;
 * -1 for any other depth. */
static inline int fxDepthIndex(int depth)
{
    switch (depth) { case 1: return 0; case 4: return 1; case 8: return 2;
                     case 16: return 3; case 24: return 4; case 32: return 5; }
    return -1;
}

/* ------------------------------------------------------ converter record */

/* One per pipeline run; the converters read its first fields. */
typedef struct FxConverter FxConverter;
typedef int (*FxStageFn)(FxConverter *rec, const BYTE *src, BYTE *dst, void *arg);
typedef void (*FxStageEndFn)(FxConverter *rec);

/* Plain converter: (record, source row, target row, pixel count) -> 3. */
typedef int (*FxPlainConv)(FxConverter *rec, const BYTE *src, BYTE *dst, int count);
/* Resampling converter: (record, source row, target row, pixel count,
 * step list: one byte per target pixel, source pixels to advance before
 * taking it) -> 1. */
typedef int (*FxResampleConv)(FxConverter *rec, const BYTE *src, BYTE *dst, int count, const BYTE *steps);

struct FxConverter
{
    uint32_t segmentBits;      /* source rectangle width x source depth */
    uint16_t startPhase;       /* (source left x depth) mod 8 */
    uint16_t endPhase;         /* (start phase + low byte of segmentBits) mod 8 */
    uint32_t srcByteOffset;    /* source left x depth / 8 */
    uint32_t dstByteOffset;    /* placed left x target depth / 8 */
    uint32_t segmentBytes;     /* placed width x target depth / 8, rounded up to whole bytes */
    uint32_t targetRowBytes;   /* (frame width x target depth + 31) / 32 x 4 */
    uint32_t placedWidth, placedHeight, sourceWidth, sourceHeight;
    const RECT *srcRect, *placedRect, *frameRect;
    BYTE    *hSteps, *vSteps, *vSteps2;
    uint32_t palette[256];     /* working palette, already in the target's form */
    uint8_t  alpha;            /* alpha byte of modes 1 and 2 */
    /* the rest belongs to the pipeline */
    FxStageFn      stage;
    FxPlainConv    plain;      /* row converter of a plain stage */
    FxResampleConv resample;   /* row converter of the nearest-neighbour stage */
    FxStageEndFn   stageEnd;
    uint32_t srcOwed, dstOwed, prevWrote;   /* nearest-neighbour counters */
    FxPlainConv to32, from32;               /* scaling stage */
    void    *scaleState, *backgroundState;
    HGLOBAL  rowBlock;
    BYTE    *in32, *out32;
    int      srcDepth, dstDepth, mode;
    uint32_t flags;            /* source flags of the run */
    int      reducer;          /* the colour reducer's tables are in use */
};

/* ---------------------------------------------- depth converters (tables) */
/* Defined by the depth-converter file.  Index [alpha mode][source depth
 * index][target depth index]; an empty cell is null. */
extern const FxPlainConv    fxPlainTable[3][6][6];
extern const FxResampleConv fxResampleTable[3][6][6];
/* 8-bit extractors indexed by bytes per pixel of the source (2, 3, 4). */
extern const FxPlainConv    fxPlainAlphaTable[5];
extern const FxPlainConv    fxPlainGreyTable[5];
extern const FxResampleConv fxResampleGreyTable[5];
extern const FxResampleConv fxResampleAlphaTable[5];

/* ----------------------------------------------------- colour reduction */
/* Defined by the colour-reduction file. */
int  fxReduceHistogram(ConvertSource *source);   /* 0 or -9 */
int  fxReduceBuildPalette(RGBQUAD palette[256]); /* 0 or -9 */
void fxReduceBuildInverseMap(void);
void fxReduceRelease(void);
/* Reducing converters from 16-, 24- and 32-bit rows to 8 bits, indexed by
 * bytes per pixel (2, 3, 4). */
extern const FxPlainConv    fxReducePlainTable[5];
extern const FxResampleConv fxReduceResampleTable[5];

#ifdef __cplusplus
}
#endif

#endif /* FXCORE_H */
