// The effects library's host link: the node protocol seen from the library
// (messages, personalities, the per-node instance, capability entries), the
// settings it reads and the data requests it answers.
//
// The node and request records are the binary interface shared with the
// host (cubby.h); everything here runs on the host's calling thread.  Two
// process-wide locks exist: the attach lock (use count, shared block,
// attach-time binding) and the editor lock (editor count, editor classes).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "cubby.h"
#include "fxbind.h"
#include "fxdata.h"
#include "fxwin32.h"
#include "fxmodel.h"
#include "fxscript.h"

// Messages of the node protocol that cubby.h does not name.
enum : UINT {
    FXN_PREPARE_EDITOR = 2027,
    FXN_CLOSE = 2028,
    FXN_DEACTIVATE = 2029,
    FXN_ACTIVATE = 2030,
    FXN_STORE_EFFECT = 2033,
    FXN_LOAD_EFFECT = 2034,
    FXN_ENABLE = 2035,
    FXN_OFFER = 2037,
    FXN_RELOAD_EFFECT = 2044,
    FXN_COMMAND = 2074,
    FXN_CREATE_EDITOR = 2076,
    FXN_ADD_PAGE = 2227,
    FXN_CHANGED = 2228,
    FXN_GET_FILE = 2231,
    FXN_GET_WINDOW = 2249,
    FXN_WINDOW_MESSAGE = 2624,
    FXN_SET_HOST_DATA = 2625
};

// Data codes beyond those cubby.h names.
enum : uint32_t {
    FXD_WIREFRAME = 0x2C800003,
    FXD_MOVIE = 0x2C800005,
    FXD_THUMBNAIL = 0x2C800007,
    FXD_EXPORT = 0x2C800008,
    FXD_IMAGE_SEQUENCE = 0x2C800009,
    FXD_EFFECT_LOAD = 0x2C80000A,
    FXD_REALTIME_PARAMS = 0x2C80000D,
    FXD_REALTIME_PARAMS_2D = 0x2C80000E,
    FXD_OBJECT_IMAGE = 0x2C80000F,
    FXD_FRAME_EXPORT = 0x2C800010,
    FXD_EFFECT_SCRIPT = 0x2C800011,
    FXD_FRAME_EXPORT_2 = 0x2C800012,
    FXD_THUMBNAIL_PACKED = 0x2C800013,
    FXD_PREVIEW_FRAME = 0x2C800070
};

// Media of a request.
enum : uint32_t {
    FXM_MEMORY = 0x2,
    FXM_FILE = 0x4,
    FXM_TEXT = 0x8,
    FXM_WIDE = 0x10,  // wide text, or a layer
    FXM_PARAMS = 0x100,
    FXM_FILE_OPTIONS = 0x8000
};

// Node ids and host kinds.
enum : uint32_t {
    FX_NODE_ID = 0x2C800000,
    FX_SELECT_ID = 0x2C800030,
    FX_HOST_EMBEDDED = 0x2C930000,  // the host embeds the editor; no node flag
    FX_HOST_KIND_94 = 0x2C940000,
    FX_HOST_KIND_95 = 0x2C950000,
    FX_VIEW_EXTENSION = 0x2C0000F3
};

constexpr int FX_PERSONALITIES = 8;

// How a host picks a personality (private data of registry type 3).  Only
// the first 32 bytes are read.
struct FxPersonalitySelect {
    uint32_t size;
    uint32_t id;  // FX_SELECT_ID, else the record is ignored
    uint32_t features;
    uint32_t words[2];
    uint32_t word;
    uint32_t index;
    uint32_t hostKind;
};
static_assert(sizeof(FxPersonalitySelect) == 32, "the select record is 32 bytes");

struct FxCapPair {
    uint32_t code, extraFlags;
};

struct FxPersonality {
    uint32_t initialFlags;
    uint32_t features;
    uint32_t kind;       // 0x18 animation, 0x16 DVE
    uint32_t blockKind;  // data type of blocks given to the host
    uint16_t templateType;
    int capCount;
    const FxCapPair *caps;
    const char *product;
    const char *mode;
    const char *iniName;
    const char *bindClass;
    int accelId, menuId, iconId;
    uint32_t attachLibraries;
    uint32_t editorLibraries;
};
const FxPersonality &FxPersonalityRow(int index);  // index 0..7

// The host's video format (FXN_VIDEO_FORMAT code 17, index 1, view 0).
struct FxVideoFormat {
    uint32_t size;  // 88
    uint32_t view;  // 0
    uint32_t fieldOrder;  // 1: first field first
    uint32_t word3;
    uint32_t flags;  // 0x2: interlaced display
    uint32_t word5;
    uint32_t frameRate;
    uint32_t width, height;
    uint32_t aspectX, aspectY;
    uint32_t further[4];
    uint32_t reserved[7];
};
static_assert(sizeof(FxVideoFormat) == 88, "the video format is 88 bytes");

// Its extension (same code and index, view FX_VIEW_EXTENSION).
struct FxVideoFormatExt {
    uint32_t size;  // 28
    uint32_t view;
    uint32_t words[5];  // the third to fifth are used
};
static_assert(sizeof(FxVideoFormatExt) == 28, "the format extension is 28 bytes");

// Names and ids given to the objects (FXN_STATE 32): the record is
// {a word, count, array of count entries}.
struct FxObjectName {
    uint32_t word0;
    uint32_t id;
    char name[64];
    uint8_t rest[96];
};
static_assert(sizeof(FxObjectName) == 168, "an object name entry is 168 bytes");
struct FxObjectNames {
    uint32_t word0;
    uint32_t count;
    const FxObjectName *entries;
};

// The editor's drawing defaults, set with the host format.
struct FxEditorDefaults {
    COLORREF colours[3];
    int32_t frameRate;
    double offsets[2];
    double grid[2];
    float scales[3];
    int32_t step;
    int32_t word;
};

// The effect's count-fixed flag, cleared when the host sets the count.
constexpr uint32_t FXE_COUNT_FIXED = 0x4000;

// Bits of the instance's first word and display flags.
enum : uint32_t {
    FXI_INTERLACED = 0x1,
    FXI_RENDER_4 = 0x4,
    FXI_RENDER_8 = 0x8,
    FXI_ACTIVE = 0x10,
    FXDF_SQUARE_PIXELS = 0x1,
    FXDF_INSERT_AFTER = 0x2,
    FXDF_INSERT_AT = 0x4,
    FXDF_INVERT_FIELDS = 0x8
};

constexpr int FX_EDITOR_SLOTS = 18;
constexpr int FX_PENS = 13;

// The library's state for one attached node.
struct FxInstance {
    uint32_t flags;
    int32_t personality;
    uint32_t hostKind;
    int32_t fieldOrder;  // 5 or 6
    uint32_t kind;
    uint32_t features, featuresCopy;
    uint32_t editorOptions;
    uint32_t viewSettings;
    uint32_t displayFlags;
    CubbyNode *own, *peer;
    char product[16];
    char mode[16];
    char iniPath[260];
    uint32_t undoWords[3];
    HWND hostWindow;
    HMENU menu;
    HWND mainWindow, bindWindow, barDialog;
    void *hostData;
    HWND editorWindows[FX_EDITOR_SLOTS];
    FxEffectHost host;  // the effect (host.effect) and what its data layer needs
    HBRUSH brush;
    void *textEffects;
    HPEN pens[FX_PENS];
    int32_t frameWidth, frameHeight;
    int32_t aspectX, aspectY;
    int32_t frameRate;
    uint32_t formatWords[4];
    uint32_t extensionWords[3];
    char templateName[64];
    int32_t lastFrameSent;
    void *progress;
    int32_t hostDuration;
    uint32_t viewFlags;  // the view's flag word until the editor's view exists
    FxEditorDefaults defaults;
    int32_t cropMode;
    double crop[4];  // left, top, bottom, right
    uint32_t changeMask;  // changes the editor has not applied yet
    uintptr_t objectOptions;  // the option word state code 14 gave every object
    char lastImageName[MAX_PATH];  // the image relay 881 last named
};

inline FxEffect *FxCurrentEffect(FxInstance *inst)
{
    return inst ? inst->host.effect : nullptr;
}

// Library-wide state (library.cpp).  Start and stop run from the library
// entry (process attach and detach).
void FxLibraryStart(HINSTANCE module);
void FxLibraryStop();
void *FxAlloc(size_t size);
void FxFree(void *p);
void FxLockAttach();
void FxUnlockAttach();
void FxLockEditor();
void FxUnlockEditor();
int FxUseCount();
bool FxSharedBlockExists();

// Calls the host through the peer node; 0 when there is none.
INT_PTR FxCallHost(FxInstance *inst, UINT message, WPARAM wparam, void *record);
// FXN_GET_DATA with a selector: the answer word (the size word for -3).
uintptr_t FxGetHostData(FxInstance *inst, int32_t selector);

// Attach and detach (attach.cpp).
// The instance of an attached node; null for a node that is not attached
// (before attach its private field points at the host's data).
FxInstance *FxInstanceOf(CubbyNode *node);
INT_PTR FxAttach(CubbyNode *own, CubbyNode *peer);
INT_PTR FxDetach(CubbyNode *own);
// Merges a host feature mask into a personality's.
uint32_t FxMergeFeatures(uint32_t row, uint32_t select);
// Builds the capability entries of a personality; null when none.
CubbyFormatEntry *FxBuildCaps(int personality, uint32_t *count);

// Settings (settings.cpp).
// Boolean text: a leading number is the value, else "FALSE" (any case) is 0
// and every other text 1.
int FxParseBool(const char *text);
// "DefaultInsert": a number as given, "Before" -1, "After" 1, else 0.
int FxParseInsert(const char *text);
// Settings 1 to 14 of the host section; unknown numbers give 0.
int FxReadSetting(const FxInstance *inst, int number);
double FxReadDouble(const FxInstance *inst, const char *section, const char *key);
int FxReadBoolKey(const FxInstance *inst, const char *section, const char *key, const char *def);
// The cached booleans ("FXRDoesRealtime", ...), read once per process.
enum FxCached { FXC_REALTIME, FXC_MESHES, FXC_MESH_TAB, FXC_MESH_IDS, FXC_COUNT };
int FxCachedBool(FxInstance *inst, FxCached which);
void FxResetCachedBools();
// Reads the host format and the editor defaults (at attach, relay 894).
void FxReadHostFormat(FxInstance *inst);

// The instance's effect (effect.cpp), kept by the data layer (fxdata).
// Copies the instance's fields that the data layer reads into its record.
void FxSyncEffectHost(FxInstance *inst);
// Length of the effect's FX script text with its NUL; 0 when it writes
// nothing.
uint32_t FxEffectTextSize(FxInstance *inst);
// Writes the text into `out` of `capacity` bytes; 0 when it does not fit.
int FxWriteEffectText(FxInstance *inst, char *out, size_t capacity);
void FxMarkChange(FxInstance *inst, uint32_t mask);
// Fills the data layer's hooks that the engine serves (hooks.cpp).
void FxInstallEffectHooks(FxEffectHost *host);

// Data requests (request.cpp).
INT_PTR FxRequestEntry(FxInstance *inst, WPARAM phase, void *record);
// Frame requests (render.cpp): the host's frame description is behind the
// size word; the preview is frame 15 of 25 at width x height; the export
// renders a frame (below 1: the current one) into the host's layer.  1
// when rendered.
INT_PTR FxRenderFrameRequest(FxInstance *inst, FxRequest &r);
INT_PTR FxRenderPreview(FxInstance *inst, FxRequest &r, int width, int height);
INT_PTR FxRenderToLayer(FxInstance *inst, Layer *layer, int width, int height, int frame = 0);
// Whether the host's memory [p, p + bytes) may be read (and, with
// `writable`, written), asked of the memory manager.
bool FxHostMemory(void *p, size_t bytes, bool writable);
// FXD_OBJECT_DATA (objects.cpp): the objects of an animation-data record
// (read through the animation-data library; `size` bounds it, 0 its own
// header) give the effect's paths their pictures in order, and objects
// beyond the effect's paths become new paths.  1 when taken.
INT_PTR FxAddObjectData(FxInstance *inst, const void *data, size_t size);
// The effect's paths made from an animation-data record's objects (one
// path per object, standing where the record puts it, with its picture,
// name and outline).  No record: the host's (data selector 9), cast in
// memory, and the host is told FXN_EFFECT_LOADED with it.  Options: 0x2
// the record lies in memory (else it names a file); 0x8 rebuild even for
// the effect's own record number; 16 the rebuild after an undo step.  The
// same record again (without 0x8) and 16 keep the paths and give them back
// their pictures.  1 when the paths were replaced.
int AddAnimationObjects(FxInstance *inst, void *record, FxEffect *effect, uint32_t options);
// Frees a block an instance prepared and never released (at detach).
void FxForgetRequests(FxInstance *inst);
// Output requests (outputs.cpp), transfer phase: the wireframe dump of
// every frame into the file the data names (text medium); a realtime DVE
// description into the host's storage (parameter medium), matrix for
// FXD_REALTIME_PARAMS, layered for FXD_REALTIME_PARAMS_2D.  1 when done.
INT_PTR FxWireframeRequest(FxInstance *inst, FxRequest &r);
INT_PTR FxRealtimeParamsRequest(FxInstance *inst, FxRequest &r);

// FXD_FRAME_EXPORT (realtime description of the size word's frames into
// the caller's RtParamBlock; the size query answers the bytes it needs)
// and FXD_MOVIE (file name, or a movie handle with options).  1 when done.
INT_PTR FxFrameExportRequest(FxInstance *inst, WPARAM phase, FxRequest &r);
INT_PTR FxMovieRequest(FxInstance *inst, FxRequest &r);
// The effect's frames up to lastFrame (0: its end frame or the host's
// length) into a new movie file, or into the movie library's handle, with
// the progress box and the host section's "NormSettings".  True when the
// render completed.
bool FxExportMovieFile(FxInstance *inst, HWND window, const char *fileName, LONG_PTR movie, int lastFrame,
                       uint32_t flags);
// The render and take commands and what a take hands the host: after its
// service codes 1 (first value 14) and 6, this record with codes 10 and 12
// (the record in the service query's data word).
enum { FX_CMD_RENDER = 3087, FX_CMD_RENDER_TAKE = 3090 };
constexpr int FX_TAKE_NAME = 272;
struct FxTakeRecord {
    uint32_t size;     // 624
    uint32_t flags;    // 0x8000
    uint32_t kind;     // 14
    int32_t frames;    // the effect's end frame, else the host's length, else its last frame
    char fileName[FX_TAKE_NAME];
    uint8_t reserved[336];
};
static_assert(sizeof(FxTakeRecord) == 624, "the take record is 624 bytes");
// The render and take commands of a CG link host: 3087 renders the
// effect into the file the host names, 3090 renders when the effect must
// be rendered again and hands the file to the host.  1 when carried out.
int FxRenderAndTake(FxInstance *inst, HWND window, int command);
// FXD_THUMBNAIL (transfer, wide medium): the effect's thumbnail frame (else
// its current frame) rendered at width x height and converted by the image
// filters into the caller's conversion target (the data).  1 when done.
INT_PTR FxThumbnailRequest(FxInstance *inst, FxRequest &r, int width, int height);
// FXD_EFFECT_SCRIPT (templates.cpp, text medium).  Get: a size query takes
// the template chosen in the templates page's list (else the one the
// instance last named), keeps its name (blanks as "-"), points the extra
// word at it and answers the text's size; a transfer writes the template
// the extra word names (else the kept one) as FX script text into the
// data (the size word bounds it) and answers its length.  Set: the text
// is stored as the template the extra word names, replacing one of the
// same name.  Templates live in the store under the personality's kind.
INT_PTR FxTemplateGive(FxInstance *inst, WPARAM phase, FxRequest &r);
INT_PTR FxTemplateReceive(FxInstance *inst, FxRequest &r);
// FXD_IMAGE_SEQUENCE (size query): the directory and export-type dialog
// over the host window, then every frame at the host's frame size written
// there as fx000001.ext, ...  1 when written; 0 when cancelled.
INT_PTR FxImageSequenceRequest(FxInstance *inst);
// The realtime renders of a host request: the frames from its size word's
// low half to its high half as field pairs (matrix samples into the
// block's memory), or one still frame (over the block's entry list).
// Without an output only the size word is answered, with the bytes needed.
struct RtParamBlock;
bool RenderRealtimeSequence(HWND window, FxInstance *inst, FxEffect *e, FxRequest &r, RtParamBlock *output,
                            uint32_t flags);
bool RenderRealtimeStill(HWND window, FxInstance *inst, FxEffect *e, FxRequest &r, RtParamBlock *output,
                         uint32_t flags);
// An image for the effect (FXD_OBJECT_IMAGE, FXD_OBJECT_POSITION): the
// first path takes the 32-bit pixels, or a new path when it has an image.
INT_PTR FxAddImageObject(FxInstance *inst, const void *pixels, int width, int height);

// Relay codes answered by the library's own operations (relays.cpp):
// 183/184 the movie of a changed animation for the host, 878 the
// clip-length question, 879 the gap question over the host's record, 881
// an image file by name, 992 the host's render request.  False for other
// codes.
bool FxRelayCode(FxInstance *inst, const uintptr_t *words, INT_PTR *result);

// State codes of FXN_STATE (notify.cpp).
INT_PTR FxStateCode(FxInstance *inst, WPARAM code, void *record);

extern "C" INT_PTR WINAPI FXNotify(CubbyNode *own, CubbyNode *peer, UINT message, WPARAM wparam, void *record);

// Render progress (progress_link.cpp): the progress callback every render
// the editor starts hands to the frame renderer; it shows the instance's
// progress box (or its pressed "Go!" button) and polls for a cancel.  The
// record behind it lives in the instance's progress field and goes with
// FxFreeRenderProgress.
typedef int (*FxRenderCallback)(int step, struct FxRenderJob *job);
FxRenderCallback FxEditorRenderProgress();
FxRenderCallback FxEditorRenderCancel();
void FxFreeRenderProgress(FxInstance *inst);
