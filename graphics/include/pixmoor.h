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


/* ---- Frame-buffer dispatch to board driver libraries ----------------- */
/* A board driver is a library loaded by file name whose EnableBoard fills
 * the operation slots of a FrameBufferRecord the core allocated.  Every
 * forwarder export below calls one slot with the record first and its own
 * arguments after; a null slot means "not supported".  The record is a
 * contract between separately built libraries: 70 words in a fixed order,
 * words 0-2 and 4 32-bit, the library handle, the driver block and the
 * slots pointer-sized.  Any thread the driver allows. */
typedef struct FrameBufferParams {
    DWORD reserved;               /* 0 */
    DWORD size;                   /* 300 */
    CHAR  library[260];           /* driver library file name */
    DWORD flags;                  /* bit 0 geometry given; bits 1-6 board options */
    DWORD board;                  /* 0..31 */
    DWORD base;                   /* I/O base */
    LONG  x, y, width, height;    /* window */
    DWORD noinit;                 /* non-zero: open without initialising */
} FrameBufferParams;

#define FB_PARAMS_SIZE      300
#define FB_FLAG_GEOMETRY    0x1u

/* Word numbers of the record; slots are words 6..69. */
enum {
    FBW_CAPS = 0, FBW_WIDTH, FBW_HEIGHT, FBW_LIBRARY, FBW_BOARD, FBW_DRIVER,
    FBW_DISABLE = 6, FBW_ONSCREEN_LAYER, FBW_ONSCREEN_LINE, FBW_OFFSCREEN_LAYER, FBW_OFFSCREEN_LINE,
    FBW_TAKE = 11, FBW_ROLL = 12, FBW_VEXA = 14, FBW_GRAB = 15, FBW_ROLL_LAYER = 16,
    FBW_WINDOW = 18, FBW_TAKE_EVENT = 21, FBW_CONTROL_EFFECT = 22, FBW_MASTER_DVE = 23,
    FBW_LIVE_DVE = 24, FBW_ENCODE_VEXA = 25, FBW_GET_WINDOW_RECT = 26, FBW_CREATE_OFFSCREEN = 27,
    FBW_ASPECT = 28, FBW_KEYING = 29,
    FBW_MB_FIRST = 30,            /* MB_GetMotionBoardInfo .. MB_Command: 30..58 */
    FBW_MB_GETINFO = 30, FBW_MB_GETPOS, FBW_MB_AUDIOL, FBW_MB_AUDIOR, FBW_MB_PLAYSTATUS,
    FBW_MB_CREATECUTLIST, FBW_MB_ADDANIMATION, FBW_MB_ADDLAYER, FBW_MB_ADDRENDEREDFX,
    FBW_MB_GETREFERENCE, FBW_MB_CLEARCUTLIST, FBW_MB_RENDERCUTLIST, FBW_MB_DELETECUTLIST,
    FBW_MB_SETUP, FBW_MB_SCRUB, FBW_MB_SEEK, FBW_MB_PLAY, FBW_MB_PLAYFROMTO, FBW_MB_PAUSE,
    FBW_MB_SHUTTLE, FBW_MB_RECORD, FBW_MB_STOP, FBW_MB_CLIPINFO, FBW_MB_POSTAGESTAMP,
    FBW_MB_SPYDLG, FBW_MB_TESTDLG, FBW_MB_STATUSDLG, FBW_MB_CONFIGDLG, FBW_MB_COMMAND,
    FBW_TAKE_EVENT_EX = 59, FBW_TAKE_AT_TIME, FBW_GET_NAME, FBW_QUEUE_CONTROL,
    FBW_BOARD_MODE = 65, FBW_SDR_CREATE, FBW_SDR_DELETE, FBW_SDR_CONNECT, FBW_SDR_COMMIT,
    FBW_COUNT = 70
};

/* Board word bits built from the parameters. */
#define FB_BOARD_NOINIT     0x80000000u

typedef struct FrameBufferRecord {
    DWORD   caps;                 /* word 0, GetBoardCaps */
    LONG    frameWidth;           /* word 1 */
    LONG    frameHeight;          /* word 2 */
    HMODULE library;              /* word 3 */
    DWORD   board;                /* word 4 */
    void   *driver;               /* word 5, the driver's private block */
    void   *slots[FBW_COUNT - 6]; /* words 6..69 */
} FrameBufferRecord;

/* Remote control of a playback device: 9 words. */
enum {
    RCW_DISABLE = 3, RCW_SETUP, RCW_SETUP_AT_TIME, RCW_CLEAR_CUTLIST, RCW_ADD_CUTLIST,
    RCW_PLAY_CUTLIST, RCW_COUNT
};
typedef struct RemoteControlRecord {
    DWORD   reserved;             /* word 0 */
    HMODULE library;              /* word 1 */
    DWORD   device;               /* word 2 */
    void   *slots[RCW_COUNT - 3]; /* words 3..8 */
} RemoteControlRecord;

/* Slot of word n of a record (n >= 6 / n >= 3). */
#define FB_SLOT(rec, n) ((rec)->slots[(n) - 6])
#define RC_SLOT(rec, n) ((rec)->slots[(n) - 3])

/* Entry points a board driver library exports. */
typedef LONG (PIXAPI *EnableBoardProc)(FrameBufferRecord *record);
typedef LONG (PIXAPI *EnableControlProc)(RemoteControlRecord *record);
typedef LONG (PIXAPI *GetNumBoardsProc)(void);

LONG PIXAPI GetNumFrameBuffers(LPCSTR library);
FrameBufferParams *PIXAPI ParseFrameBufferParams(LPCSTR text);
LONG PIXAPI DeleteFrameBufferParams(FrameBufferParams *params);
FrameBufferRecord *PIXAPI EnableFrameBuffer(LPCSTR text);
FrameBufferRecord *PIXAPI EnableFrameBufferEx(FrameBufferParams *params);
LONG PIXAPI DisableFrameBuffer(FrameBufferRecord *record);
LONG PIXAPI GetBoardCaps(FrameBufferRecord *record);
RemoteControlRecord *PIXAPI EnableRemoteControl(LPCSTR text);
LONG PIXAPI DisableRemoteControl(RemoteControlRecord *record);
FrameBufferRecord *PIXAPI SDRCreateFrameBuffer(FrameBufferRecord *record, LONG_PTR a, LONG_PTR b, LONG_PTR c,
                                               LONG_PTR d, LONG_PTR e, LONG_PTR f);
LONG PIXAPI SDRDeleteFrameBuffer(FrameBufferRecord *record);
/* The forwarders: (record, n arguments) -> the slot's result.  Kinds:
 * FB frame-buffer (0 for a null record or empty slot), FBPTR the same for
 * the slots that answer a layer or a line address (pointer-sized results), MB motion board (-2
 * null record, -30 empty slot), MBZERO (0 and 0), MBCUT (-2 and 0), RC the
 * remote-control record (0 and 0), SDRCONNECT (0, also for a null first
 * argument).  Arguments are passed pointer-sized; their meaning is the
 * driver's. */
#define PIXMOOR_FRAMEBUFFER_FORWARDERS(X) \
    X(OnScreenFrameBufferLayer, FBW_ONSCREEN_LAYER, 0, FBPTR) \
    X(OffScreenFrameBufferLayer, FBW_OFFSCREEN_LAYER, 0, FBPTR) \
    X(GetKeyingFrameBuffer, FBW_KEYING, 0, FB) \
    X(MB_CreateCutList, FBW_MB_CREATECUTLIST, 0, MBCUT) \
    X(MB_SpyDlg, FBW_MB_SPYDLG, 0, MB) \
    X(MB_TestDlg, FBW_MB_TESTDLG, 0, MB) \
    X(MB_StatusDlg, FBW_MB_STATUSDLG, 0, MB) \
    X(MB_ConfigDlg, FBW_MB_CONFIGDLG, 0, MB) \
    X(SDRCommitFrameBuffer, FBW_SDR_COMMIT, 0, FB) \
    X(SetupRemoteControlClearCutlist, RCW_CLEAR_CUTLIST, 0, RC) \
    X(SetupRemoteControlPlayCutlist, RCW_PLAY_CUTLIST, 0, RC) \
    X(OnScreenFrameBufferLine, FBW_ONSCREEN_LINE, 1, FBPTR) \
    X(OffScreenFrameBufferLine, FBW_OFFSCREEN_LINE, 1, FBPTR) \
    X(RollFrameBufferLayer, FBW_ROLL_LAYER, 1, FB) \
    X(GrabFrameBuffer, FBW_GRAB, 1, FB) \
    X(GetWindowRectFrameBuffer, FBW_GET_WINDOW_RECT, 1, FB) \
    X(MB_GetMotionBoardInfo, FBW_MB_GETINFO, 1, MB) \
    X(MB_GetPos, FBW_MB_GETPOS, 1, MBZERO) \
    X(MB_GetAudioL, FBW_MB_AUDIOL, 1, MBZERO) \
    X(MB_GetAudioR, FBW_MB_AUDIOR, 1, MBZERO) \
    X(MB_GetPlayStatus, FBW_MB_PLAYSTATUS, 1, MB) \
    X(MB_ClearCutList, FBW_MB_CLEARCUTLIST, 1, MB) \
    X(MB_RenderCutList, FBW_MB_RENDERCUTLIST, 1, MB) \
    X(MB_DeleteCutList, FBW_MB_DELETECUTLIST, 1, MB) \
    X(MB_Stop, FBW_MB_STOP, 1, MB) \
    X(TakeFrameBuffer, FBW_TAKE, 2, FB) \
    X(RollFrameBuffer, FBW_ROLL, 2, FB) \
    X(VexaFrameBuffer, FBW_VEXA, 2, FB) \
    X(FrameBufferQueueControl, FBW_QUEUE_CONTROL, 2, FB) \
    X(ControlEffectFrameBuffer, FBW_CONTROL_EFFECT, 2, FB) \
    X(GetNameOfFrameBuffer, FBW_GET_NAME, 2, FB) \
    X(GetBoardMode, FBW_BOARD_MODE, 2, FB) \
    X(GetAspectRatioFrameBuffer, FBW_ASPECT, 2, FB) \
    X(CreateOffScreenFrameBufferLayer, FBW_CREATE_OFFSCREEN, 2, FBPTR) \
    X(MB_AddLayerToCutList, FBW_MB_ADDLAYER, 2, MBCUT) \
    X(MB_AddRenderedFXToCutList, FBW_MB_ADDRENDEREDFX, 2, MBCUT) \
    X(MB_GetReferenceFromCutList, FBW_MB_GETREFERENCE, 2, MBCUT) \
    X(MB_Setup, FBW_MB_SETUP, 2, MB) \
    X(MB_SetScrubMode, FBW_MB_SCRUB, 2, MB) \
    X(MB_Pause, FBW_MB_PAUSE, 2, MB) \
    X(MB_Record, FBW_MB_RECORD, 2, MB) \
    X(SDRConnectFrameBuffer, FBW_SDR_CONNECT, 2, SDRCONNECT) \
    X(SetupRemoteControl, RCW_SETUP, 2, RC) \
    X(TakeFrameBufferEvent, FBW_TAKE_EVENT, 3, FB) \
    X(MB_Command, FBW_MB_COMMAND, 3, MB) \
    X(MB_Seek, FBW_MB_SEEK, 3, MB) \
    X(MB_Play, FBW_MB_PLAY, 3, MB) \
    X(MB_GetClipFileInfo, FBW_MB_CLIPINFO, 3, MB) \
    X(SetupRemoteControlAtTime, RCW_SETUP_AT_TIME, 3, RC) \
    X(SetupRemoteControlAddCutlist, RCW_ADD_CUTLIST, 3, RC) \
    X(TakeFrameBufferEventEx, FBW_TAKE_EVENT_EX, 4, FB) \
    X(TakeFrameBufferAtTime, FBW_TAKE_AT_TIME, 4, FB) \
    X(WindowFrameBuffer, FBW_WINDOW, 4, FB) \
    X(MB_Shuttle, FBW_MB_SHUTTLE, 4, MB) \
    X(EncodeVexaFrameBuffer, FBW_ENCODE_VEXA, 5, FB) \
    X(MB_AddAnimationToCutList, FBW_MB_ADDANIMATION, 5, MBCUT) \
    X(MB_PlayFromTo, FBW_MB_PLAYFROMTO, 5, MB) \
    X(MB_GetClipFilePostageStamp, FBW_MB_POSTAGESTAMP, 7, MB) \
    X(MasterDVEFrameBuffer, FBW_MASTER_DVE, 8, FB) \
    X(LiveDVEFrameBuffer, FBW_LIVE_DVE, 8, FB)

#define PMFB_RECORD_FB         FrameBufferRecord
#define PMFB_RECORD_FBPTR      FrameBufferRecord
#define PMFB_RECORD_MB         FrameBufferRecord
#define PMFB_RECORD_MBZERO     FrameBufferRecord
#define PMFB_RECORD_MBCUT      FrameBufferRecord
#define PMFB_RECORD_SDRCONNECT FrameBufferRecord
#define PMFB_RECORD_RC         RemoteControlRecord
#define PMFB_PARAMS_0
#define PMFB_PARAMS_1 , LONG_PTR a1
#define PMFB_PARAMS_2 PMFB_PARAMS_1, LONG_PTR a2
#define PMFB_PARAMS_3 PMFB_PARAMS_2, LONG_PTR a3
#define PMFB_PARAMS_4 PMFB_PARAMS_3, LONG_PTR a4
#define PMFB_PARAMS_5 PMFB_PARAMS_4, LONG_PTR a5
#define PMFB_PARAMS_6 PMFB_PARAMS_5, LONG_PTR a6
#define PMFB_PARAMS_7 PMFB_PARAMS_6, LONG_PTR a7
#define PMFB_PARAMS_8 PMFB_PARAMS_7, LONG_PTR a8
#define PMFB_RESULT_FB         LONG
#define PMFB_RESULT_FBPTR      LONG_PTR
#define PMFB_RESULT_MB         LONG
#define PMFB_RESULT_MBZERO     LONG
#define PMFB_RESULT_MBCUT      LONG
#define PMFB_RESULT_SDRCONNECT LONG
#define PMFB_RESULT_RC         LONG
#define PMFB_DECLARE(name, word, n, kind) PMFB_RESULT_##kind PIXAPI name(PMFB_RECORD_##kind *record PMFB_PARAMS_##n);
PIXMOOR_FRAMEBUFFER_FORWARDERS(PMFB_DECLARE)
#undef PMFB_DECLARE
LONG PIXAPI _PlaceHolder1(void);
LONG PIXAPI _PlaceHolder2(void);


/* ---- Layouts ----------------------------------------------------------- */
/* A layout composes background, layers (top first), foreground and
 * punch-through layers into the caller's output layer, region by region,
 * whenever an attached layer is updated or the output refreshed (on
 * threads whose switches are on).  It is made of virtual layers attached
 * to the caller's layers; the caller's layers stay the caller's.  One
 * thread at a time. */
typedef struct LayoutEntry LayoutEntry;
struct LayoutEntry {
    Layer *layer;                 /* virtual layer; its partner is the caller's layer */
    LayoutEntry *prev;
    LayoutEntry *next;
    LONG highlight;               /* 0 or 1 */
    LONG alpha;                   /* 0..255, 255 when added */
};
typedef struct Layout {
    Layer *output;                /* virtual; refresh handler recomposes */
    Layer *background;            /* virtual; update handler recomposes */
    Layer *foreground;            /* virtual; likewise */
    Layer *auxOutput;             /* receives a copy of each recomposed region */
    LayoutEntry *first;           /* layers, top of the stacking order first */
    LayoutEntry *firstPunch;      /* punch-through layers */
} Layout;

Layout *PIXAPI CreateLayout(void);
LONG   PIXAPI DeleteLayout(Layout *layout);
LONG   PIXAPI AttachBackgroundLayout(Layout *layout, Layer *layer);
LONG   PIXAPI AttachForegroundLayout(Layout *layout, Layer *layer);
LONG   PIXAPI AttachOutputLayout(Layout *layout, Layer *layer);
LONG   PIXAPI AttachAuxOutLayout(Layout *layout, Layer *layer);
LONG   PIXAPI AddLayerLayout(Layout *layout, Layer *layer, LONG onTop);
LONG   PIXAPI DeleteLayerLayout(Layout *layout, Layer *layer);
LONG   PIXAPI GetLayerCountLayout(Layout *layout);
Layer *PIXAPI GetLayerLayout(Layout *layout, LONG index);
LONG   PIXAPI GetLayerOffsetLayout(Layout *layout, Layer *layer, LONG *x, LONG *y);
LONG   PIXAPI SetLayerOffsetLayout(Layout *layout, Layer *layer, LONG x, LONG y);
LONG   PIXAPI HighlightLayerLayout(Layout *layout, Layer *layer, LONG flag);
LONG   PIXAPI SetAlphaLayerLayout(Layout *layout, Layer *layer, LONG alpha);
LONG   PIXAPI GetAlphaLayerLayout(Layout *layout, Layer *layer);
Layer *PIXAPI GetLayerFromPointLayout(Layout *layout, LONG x, LONG y);
LONG   PIXAPI AddPunchThruLayout(Layout *layout, Layer *layer);
LONG   PIXAPI DeletePunchThruLayout(Layout *layout, Layer *layer);
LONG   PIXAPI GetPunchThruCountLayout(Layout *layout);
Layer *PIXAPI GetPunchThruLayout(Layout *layout, LONG index);
LONG   PIXAPI GetPunchThruOffsetLayout(Layout *layout, Layer *layer, LONG *x, LONG *y);
LONG   PIXAPI SetPunchThruOffsetLayout(Layout *layout, Layer *layer, LONG x, LONG y);


/* ---- Layers over Windows bitmaps -------------------------------------- */
/* CreateDIBLayer: a layer over a top-down 32-bit DIB section; the caller
 * deletes both.  The bitmap exports return a new GDI bitmap (alpha 0) of the
 * layer scaled to width by height over a background; the caller deletes
 * it. */
LONG    PIXAPI CreateDIBLayer(HBITMAP *bitmap, Layer **layer, LONG width, LONG height);
HBITMAP PIXAPI CreateBitmapLayer(Layer *layer, LONG width, LONG height);
HBITMAP PIXAPI CreateBitmapLayerBackground(Layer *layer, LONG width, LONG height, Layer *background);
HBITMAP PIXAPI CreateBitmapLayerEx(Layer *layer, LONG width, LONG height);
/* Test pictures read from fixed paths under c:\bitmaps (a zeroed layer, or
 * null for CreateTextImage, when the file is missing). */
Layer  *PIXAPI CreateFlower(void);
Layer  *PIXAPI CreateSuperGenius(void);
Layer  *PIXAPI CreateTextImage(void);

/* ---- Views -------------------------------------------------------------- */
/* A Zellview shows a layer in a window, fitted (zoom 0) or magnified 1..8
 * times with scroll bars, and repaints what UpdateLayer names on it.
 * Views live on the thread that owns their window; at most 64 at a time.
 * Window coordinates are client pixels, layer coordinates layer pixels. */
typedef struct Zellview Zellview;

#define ZV_REFRESH_ON_PAINT  0x01u
#define ZV_REPAINT_ON_UPDATE 0x02u
#define ZV_ALPHA_DISPLAY     0x04u
#define ZV_BITMAP_ENABLE     0x08u
#define ZV_FIELD_FIRST       0x10u
#define ZV_FIELD_SECOND      0x20u
#define ZV_NO_SCROLL_BARS    0x40u

/* Overlay kinds */
#define ZVR_FILLED   1
#define ZVR_FRAME    17
#define ZVR_OUTSIDE  33
#define ZVR_GRID     129
#define ZVR_HALF     0x40

typedef struct ViewRectangle {
    LONG left, top, right, bottom;   /* layer coordinates (grid: spacing, -, dash mask, -) */
    DWORD colour;                    /* device pixel value */
    DWORD kind;                      /* 0 = free entry */
} ViewRectangle;

typedef struct ViewSprite {
    LONG free;                       /* 1 free, 0 used */
    Layer *layer;
    LONG x, y;                       /* layer coordinates */
    LONG width, height;
    LONG drawnWidth, drawnHeight;
    BYTE *pixels;                    /* device pixels */
    BYTE *mask;                      /* one byte per pixel: alpha */
    LONG visible;
    LONG scaleWithView;
} ViewSprite;

Zellview *PIXAPI CreateZellview(LONG width, LONG height, LONG banded);
Zellview *PIXAPI CreateZellviewLayer(Layer *layer, LONG *width, LONG *height, LONG banded);
LONG   PIXAPI DeleteZellview(Zellview *view);
LONG   PIXAPI AttachWindowZellview(Zellview *view, HWND window);
Layer *PIXAPI GetInputLayerZellview(Zellview *view);
LONG   PIXAPI RefreshEnableZellview(Zellview *view, LONG on);
LONG   PIXAPI UpdateEnableZellview(Zellview *view, LONG on);
LONG   PIXAPI AlphaDisplayZellview(Zellview *view, LONG on);
LONG   PIXAPI BitmapEnableZellview(Zellview *view, LONG on);
LONG   PIXAPI NoScrollBarZellview(Zellview *view, LONG on);
LONG   PIXAPI SetFieldModeZellview(Zellview *view, LONG mode);
LONG   PIXAPI SetZoomfactorZellview(Zellview *view, LONG zoom);
LONG   PIXAPI GetZoomfactorZellview(Zellview *view);
LONG   PIXAPI SetOffsetZellview(Zellview *view, LONG x, LONG y);
LONG   PIXAPI GetOffsetZellview(Zellview *view, LONG *x, LONG *y);
LONG   PIXAPI GetMaxSizeZellview(Zellview *view, LONG *width, LONG *height);
LONG   PIXAPI SetZellviewBackgroundID(Zellview *view, LONG id);
LONG   PIXAPI UpdateZellview(Zellview *view, const RECT *rect);
LONG   PIXAPI ScrollZellview(Zellview *view, LONG dx, LONG dy);
LONG   PIXAPI ScrollMessageZellview(Zellview *view, LONG message, LONG code);
LONG   PIXAPI ScrollToPointZellview(Zellview *view, LONG x, LONG y);
LONG   PIXAPI ToZellviewPoint(Zellview *view, LONG *x, LONG *y);
LONG   PIXAPI FromZellviewPoint(Zellview *view, LONG *x, LONG *y);
LONG   PIXAPI ToZellviewRect(Zellview *view, RECT *rect);
LONG   PIXAPI FromZellviewRect(Zellview *view, RECT *rect);
LONG   PIXAPI ToZellviewSize(Zellview *view, LONG *width, LONG *height);
LONG   PIXAPI FromZellviewSize(Zellview *view, LONG *width, LONG *height);
LONG   PIXAPI AddRectangleZellview(Zellview *view, const RECT *rect, DWORD colour, LONG kind);
LONG   PIXAPI EditRectangleZellview(Zellview *view, LONG index, const RECT *rect);
LONG   PIXAPI AttrRectangleZellview(Zellview *view, LONG index, LONG kind);
LONG   PIXAPI ColorRectangleZellview(Zellview *view, LONG index, DWORD colour);
LONG   PIXAPI UpdateRectangleZellview(Zellview *view);
LONG   PIXAPI AddSpriteZellview(Zellview *view, Layer *sprite, LONG x, LONG y, LONG visible, LONG scaleWithView);
LONG   PIXAPI RefreshZellviewSprite(Zellview *view, LONG index);
LONG   PIXAPI ResizeAllSprites(Zellview *view);
LONG   PIXAPI EditZellviewSprite(Zellview *view, LONG index, LONG x, LONG y);
LONG   PIXAPI AttrZellviewSprite(Zellview *view, LONG index, LONG visible);
LONG   PIXAPI DeleteZellviewSprite(Zellview *view, LONG index);
LONG   PIXAPI DisplayLayerHDC(HDC dc, Layer *layer, LONG width, LONG height);
LONG   PIXAPI DisplayLayerHWND(HWND window, Layer *layer, LONG width, LONG height);
LONG   PIXAPI SetBackgroundBitmap(void *data);
LONG   PIXAPI SetBackgroundBitmapEx(void *data, LONG word1, LONG word2);
DWORD  PIXAPI GetChrominanceZellview(Zellview *view, LONG x, LONG y);
DWORD  PIXAPI GetLuminanceZellview(Zellview *view, LONG x, LONG y);


/* ---- Scroll strip of layers ------------------------------------------- */
/* A column of 4:3 thumbnails, one band per layer, as wide as the window,
 * held once in device pixels in a GDI bitmap.  The strip holds one
 * reference on each layer.  Window thread only. */
#define ZELLSCROLL_MAX_LAYERS 4736
typedef struct Zellscroll {
    HWND window;
    HBITMAP bitmap;               /* width by total height */
    BYTE *strip;                  /* total height rows of rowSize bytes */
    BYTE *plainLine;              /* one device row, grey */
    BYTE *selectedLine;           /* one device row, yellow */
    LONG rowSize;
    LONG width;
    LONG bandHeight;              /* width * 480 / 640 */
    LONG windowHeight;
    LONG totalHeight;             /* bandHeight * count */
    LONG scrollOffset;            /* first strip row at the window's top */
    LONG selected;                /* -1 when none */
    LONG count;
    Layer *layers[ZELLSCROLL_MAX_LAYERS];
} Zellscroll;

Zellscroll *PIXAPI CreateZellscroll(HWND window);
LONG   PIXAPI DeleteZellscroll(Zellscroll *strip);
LONG   PIXAPI AddLayerToZellscroll(Zellscroll *strip, Layer *layer);
LONG   PIXAPI GetNumLayerZellscroll(Zellscroll *strip);
Layer *PIXAPI GetLayerFromPointZellscroll(Zellscroll *strip, LONG y);
LONG   PIXAPI SelectLayerFromPointZellscroll(Zellscroll *strip, LONG y);
LONG   PIXAPI UpdateZellscroll(Zellscroll *strip, const RECT *rect);
LONG   PIXAPI ScrollZellscroll(Zellscroll *strip, LONG dy);

#ifdef __cplusplus
}
#endif

#endif /* PIXMOOR_H */
