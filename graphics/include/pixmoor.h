/*
 * Pixmoor.dll - the graphics core: reference-counted 32-bit ARGB layers,
 * block memory, compositing and pixel operations.
 *
 * Pixels are 32-bit words 0xAARRGGBB (bytes in memory: blue, green, red,
 * alpha) with straight, not premultiplied, colour.  Every export returns a
 * 32-bit integer or a pointer; 0 or null means failure.  Records are
 * allocated zero-filled with M32_alloc and freed with M32_free, so that the
 * core and the libraries that hand layers to it share one heap.
 *
 * Threads: layers are not locked; a layer and its family are used by one
 * thread at a time.  The refresh and update switches are per thread and off
 * until the thread turns them on (RefreshEnable / UpdateEnable).  The stock
 * store takes its own critical section.
 *
 * This header is shared by every area of the library; other areas add their
 * own declarations in their own headers beside this one.
 */
#ifndef PIXMOOR_H
#define PIXMOOR_H

#include <windef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Calling convention of every export and of every callback the core calls. */
#define PIXAPI WINAPI

typedef struct Layer Layer;
typedef struct LayerHandler LayerHandler;

/* Begin-access, end-access and destroy callbacks: (layer, second).  The
 * core calls begin as (root, 0), end as (root, accessed layer), destroy as
 * (layer, 0).  A zero result from the end callback fails EndLayerAccess. */
typedef LONG (PIXAPI *LayerCallback)(Layer *layer, Layer *other);

/* A handler is called as proc(notified layer, handler record); non-zero is
 * success. */
typedef LONG (PIXAPI *LayerHandlerProc)(Layer *layer, LayerHandler *handler);

struct LayerHandler {
    LayerHandlerProc proc;
    Layer *first;
    Layer *second;
};

/* Optional operations of whoever supplies a layer's pixel memory (a board's
 * frame memory, for instance).  Read on the root layer only; each returns
 * non-zero when it did the work itself. */
typedef struct LayerStoreOps {
    void *reserved1;
    void *reserved2;
    LONG (PIXAPI *clear)(Layer *layer);
    LONG (PIXAPI *fill)(Layer *layer, DWORD pixel);
    LONG (PIXAPI *copy)(Layer *destination, Layer *source);
} LayerStoreOps;

/* Kind word: bits 0-1 the kind, bit 4 owns-pixels. */
#define LAYER_KIND_PLAIN     0u
#define LAYER_KIND_VIRTUAL   1u
#define LAYER_KIND_CLIPPED   2u
#define LAYER_KIND_TEMPORARY 3u
#define LAYER_KIND_MASK      3u
#define LAYER_OWNS_PIXELS    0x10u

/* Size of a virtual layer and of its position rectangle. */
#define LAYER_VIRTUAL_EXTENT 2147483647

struct Layer {
    BYTE *pixels;                 /* pixel (0,0); null for a virtual layer */
    LONG width;                   /* clipped: width of the effective rect */
    LONG height;
    LONG pitch;                   /* signed byte distance between rows */
    const LayerStoreOps *store;   /* pixel-store operations or null */
    LayerCallback beginAccess;
    LayerCallback endAccess;
    LayerCallback destroy;
    LayerHandler *refreshHandler;
    LayerHandler *updateHandler;
    LONG refCount;
    DWORD kind;                   /* LAYER_KIND_* | LAYER_OWNS_PIXELS */
    LONG accessCount;             /* open accesses, kept on roots */
    Layer *root;
    Layer *parent;
    Layer *firstChild;            /* most recently made clipped layer */
    Layer *prevSibling;
    Layer *nextSibling;
    Layer *partner;               /* virtual <-> actual link */
    LONG partnerX, partnerY;      /* actual layer's place inside the virtual */
    RECT visible;                 /* effective rect relative to own position */
    RECT position;                /* in root coordinates */
    RECT clip;                    /* relative to the parent's position */
    RECT effective;               /* in root coordinates */
};

/* A caller-owned window on one or two layers' pixels.  The window is given
 * in coordinates relative to each layer's own origin; the window pointers
 * address its top-left pixel in each layer.  Second base and second window
 * pointer are null when no second layer was given or the two do not
 * overlap. */
typedef struct LayerAccess {
    LONG width;
    LONG height;
    RECT window;
    Layer *first;
    BYTE *firstBase;
    BYTE *firstPtr;
    LONG firstPitch;
    RECT firstVisible;
    Layer *second;
    BYTE *secondBase;
    BYTE *secondPtr;
    LONG secondPitch;
    RECT secondVisible;
} LayerAccess;

/* Element of the list given to CompositMany. */
typedef struct CompositManyEntry {
    Layer *layer;
    LONG opacity;                 /* 0..255 in the low byte */
} CompositManyEntry;

/* ---- Block memory (process heap) ------------------------------------ */
/* Sizes in bytes unless named in 16-bit (imemset) or 32-bit (lmemset)
 * units.  A fill or copy without a destination allocates the block, which
 * the caller frees with M32_free.  M32_memcmp compares aligned units as
 * little-endian words: -1, 0 or 1.  M32_ddbcopy and M32_ddbflip take signed
 * pitches (bottom-up images have a negative one). */
void *PIXAPI M32_alloc(DWORD size);
void *PIXAPI M32_realloc(void *block, DWORD size);
LONG  PIXAPI M32_free(void *block);
void *PIXAPI M32_memcpy(void *dst, const void *src, DWORD size);
void *PIXAPI M32_memset(void *dst, LONG value, DWORD count);
void *PIXAPI M32_imemset(void *dst, LONG value, DWORD count);
void *PIXAPI M32_lmemset(void *dst, DWORD value, DWORD count);
LONG  PIXAPI M32_memcmp(const void *a, const void *b, DWORD length);
LONG  PIXAPI M32_memswap(void *a, void *b, DWORD length);
LONG  PIXAPI M32_ddbcopy(void *dst, LONG dx, LONG dy, LONG dpitch,
                         const void *src, LONG sx, LONG sy, LONG spitch,
                         LONG rowBytes, LONG rows, LONG bytesPerPixel);
LONG  PIXAPI M32_ddbflip(void *image, LONG pitch, LONG rows);

/* ---- Layers ---------------------------------------------------------- */
/* Every create returns a layer holding one reference, released with
 * DeleteLayer (1 when that destroyed it).  CreateLayer owns its pixels;
 * CreateCompatibleLayer borrows the caller's.  A clipped layer holds its
 * root alive; its clip rectangle is relative to its parent.  Accesses
 * place a second layer in the first layer's coordinates (origins
 * coincide); every successful BeginLayerAccess needs its EndLayerAccess.
 * RefreshLayer/UpdateLayer call the nearest handler up the parents, only
 * on threads that switched them on. */
Layer *PIXAPI CreateLayer(LONG width, LONG height, LONG count);
Layer *PIXAPI CreateCompatibleLayer(void *pixels, LONG width, LONG height, LONG pitch);
Layer *PIXAPI CreateVirtualLayer(void);
Layer *PIXAPI CreateClippedLayer(Layer *layer);
LONG   PIXAPI ClipLayer(Layer *layer, const RECT *rect);
LONG   PIXAPI ClipLayerXYWH(Layer *layer, LONG x, LONG y, LONG w, LONG h);
Layer *PIXAPI ClipToAlphaLayerEx(Layer *layer, LONG *x, LONG *y, LONG *w, LONG *h);
LONG   PIXAPI AddRefCountLayer(Layer *layer);
LONG   PIXAPI DeleteLayer(Layer *layer);
LONG   PIXAPI AttachActualLayer(Layer *virt, Layer *actual, LONG direction);
LONG   PIXAPI DetachActualLayer(Layer *virt);
LONG   PIXAPI GetUnionRectRef(Layer *a, Layer *b, RECT *out);
LONG   PIXAPI BeginLayerAccess(LayerAccess *access, Layer *layer, Layer *second);
LONG   PIXAPI EndLayerAccess(LayerAccess *access);
LONG   PIXAPI RefreshLayer(Layer *layer);
LONG   PIXAPI UpdateLayer(Layer *layer);
LONG   PIXAPI RefreshLayerEx(Layer *layer);
LONG   PIXAPI UpdateLayerEx(Layer *layer);
LONG   PIXAPI RefreshEnable(LONG value);
LONG   PIXAPI UpdateEnable(LONG value);

/* ---- Start-up and processor probes ----------------------------------- */
/* PixmoorAreYouThere is 1 once the library finished loading.  P5_Time is
 * time-stamp counter ticks since P5_Reset (low 32 bits). */
LONG PIXAPI PixmoorAreYouThere(void);
LONG PIXAPI P5_MMX(void);
LONG PIXAPI P5_Reset(void);
LONG PIXAPI P5_Time(void);
LONG PIXAPI the_old_ftol(double value);

/* ---- Pixel-array compositing (over operator) ------------------------- */
/* top over bottom on straight-alpha pixels; arrays may be the same array.
 * CompositPelsNonMMX is the exact table arithmetic, CompositPelsMMXOnly the
 * fast one for every pixel, CompositPels the fast one for top alpha 5..127
 * when the processor has it.  Counts are pixels. */
DWORD PIXAPI CompositPel(DWORD top, DWORD bottom);
LONG  PIXAPI CompositPels(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count);
LONG  PIXAPI CompositPelsNonMMX(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count);
LONG  PIXAPI CompositPelsMMXOnly(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count);
LONG  PIXAPI ClockCompositThreePels(const DWORD *top, const DWORD *shadow, DWORD *dst, LONG count);
LONG  PIXAPI CompositOnTop(DWORD *top, const DWORD *bottom, LONG count);
LONG  PIXAPI CompositOnBottom(const DWORD *top, DWORD *bottom, LONG count);
LONG  PIXAPI CompositAgainstBlack(DWORD *pixels, LONG count);
DWORD PIXAPI TestComposit1(void);
DWORD PIXAPI TestComposit2(void);

/* ---- Layer compositing ----------------------------------------------- */
/* Opacities are 0..255 (low byte); layers that do not overlap are not an
 * error: nothing is drawn and the result is 1. */
LONG PIXAPI CompositOnTopLayer(Layer *first, Layer *second);
LONG PIXAPI CompositOnTopLayerCorrect(Layer *first, Layer *second);
LONG PIXAPI CompositOnBottomLayer(Layer *first, Layer *second);
LONG PIXAPI CompositOnBottomLayerCorrect(Layer *first, Layer *second);
LONG PIXAPI CompositOnTopLayerEx(Layer *first, Layer *second, LONG opacity);
LONG PIXAPI CompositOnBottomLayerEx(Layer *first, Layer *second, LONG opacity);
LONG PIXAPI PunchThruLayer(Layer *layer, Layer *mask);
LONG PIXAPI CompositOnOutputLayer(Layer *top, Layer *bottom, Layer *output);
LONG PIXAPI CompositOnOutputLayerCorrect(Layer *top, Layer *bottom, Layer *output);
LONG PIXAPI TwoLayerComposit(Layer *destination, Layer *first, Layer *second);
LONG PIXAPI ThreeLayerComposit(Layer *destination, Layer *bottom, Layer *middle, Layer *top, LONG opacity);
LONG PIXAPI CompositMany(Layer *destination, const CompositManyEntry *entries, LONG count);
LONG PIXAPI PaintEngineCompositLayer(Layer *destination, Layer *paint, Layer *canvas, Layer *selection, LONG clear);
LONG PIXAPI PaintEngineMixerLayer(Layer *destination, Layer *paint, Layer *canvas, Layer *selection, LONG clear);
LONG PIXAPI PaintEngineSelectionLayer(Layer *destination, Layer *source, Layer *selection);
LONG PIXAPI PaintEngineCutLayer(Layer *destination, Layer *source, Layer *selection);
LONG PIXAPI PaintEnginePasteLayer(Layer *clip, Layer *target, Layer *selection, LONG percent);

/* ---- Layer pixel operations ------------------------------------------ */
LONG  PIXAPI ClearLayer(Layer *layer);
LONG  PIXAPI SetLayer(Layer *layer, DWORD pixel);
LONG  PIXAPI SetAlphaLayer(Layer *layer, LONG alpha);
DWORD PIXAPI GetPelInLayer(Layer *layer, LONG x, LONG y);
LONG  PIXAPI SetPelInLayer(Layer *layer, LONG x, LONG y, DWORD pixel);
LONG  PIXAPI CopyLayer(Layer *destination, Layer *source);
LONG  PIXAPI CopyWithOpacityLayer(Layer *destination, Layer *source, LONG opacity);
LONG  PIXAPI SwapLayer(Layer *first, Layer *second);
LONG  PIXAPI BlackBackground(Layer *destination, Layer *source);
LONG  PIXAPI VMPBackground(Layer *destination, Layer *source);
LONG  PIXAPI ReverseCompositLayer(Layer *layer);
LONG  PIXAPI FlipHorzLayer(Layer *layer);
LONG  PIXAPI FlipVertLayer(Layer *layer);
LONG  PIXAPI InterlaceLayer(Layer *destination, Layer *even, Layer *odd);
LONG  PIXAPI CenterLayer(Layer *destination, Layer *source);
LONG  PIXAPI ClipToAlphaLayer(Layer *layer);
/* Host buffers: a DWORD capacity in bytes, then rows padded to 4 bytes.
 * format: high byte first channel, low byte last (0 red, 1 green, 2 blue). */
void *PIXAPI HostCopyLayer(Layer *layer, void *buffer, const RECT *rect, LONG format, LONG *rowBytes);
void *PIXAPI HostPasteLayer(Layer *layer, void *buffer, const RECT *rect, LONG format, LONG *rowBytes);
LONG  PIXAPI TestMMXLayer(Layer *first, Layer *second, LONG weight);

/* ---- Field operations (interlaced frames) ---------------------------- */
LONG PIXAPI FieldAverageLayer(Layer *layer, LONG field);
LONG PIXAPI FieldRepeatLayer(Layer *layer, LONG field);
LONG PIXAPI FieldInterpolateLayer(Layer *layer, LONG field);
LONG PIXAPI FieldAdaptiveLayer(Layer *layer, LONG field);

/* ---- Stock-layer store ----------------------------------------------- */
/* The store owns its layers; GetStockLayer lends one (falling back to id 0,
 * then to the checkerboard background).  SetStockLayer stores a copy, or
 * removes the id for a null layer.  All four take one lock. */
Layer *PIXAPI GetDefaultBackground(void);
Layer *PIXAPI GetStockLayer(LONG id);
LONG   PIXAPI ExistsStockLayer(LONG id);
void   PIXAPI SetStockLayer(LONG id, Layer *layer);
LONG   PIXAPI UpdateAllZellviews(void);

#ifdef __cplusplus
}
#endif

#endif /* PIXMOOR_H */
