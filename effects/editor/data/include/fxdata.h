// The editor's effect data: the effect record (`FxEffect`), the effect
// data block that carries an effect to the host and the registry cards (a
// 112-byte header followed by the effect as FX script text), loading and
// saving an effect by mode, and the undo snapshots.
//
// Everything runs on the caller's thread (the editor's or the host's); an
// effect and its host record must not be used from two threads at once.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "cubby.h"
#include "fxeval.h"
#include "fxmodel.h"
#include "fxscript.h"

// ---------------------------------------------------------------- the block

// Header of an effect data block; the script text follows at textOffset.
// Little-endian, byte-exact: it is exchanged with the host and stored in
// registry cards.
struct FxEffectBlock {
    uint16_t size;            // header size, 112
    uint16_t version;         // 2 (written), 11 also read
    uint32_t flags;           // 0x4 changed since stored to the host; bit 31 DVE placement
    uint32_t textLength;      // script text length with its NUL
    uint32_t textOffset;      // from the start of the block; 112 when written here
    uint32_t dataLength;      // = textLength; 0 is refused
    uint8_t reserved20[8];
    uint32_t timeStamp;       // seconds since 1970 of the last change; -1 none
    uint32_t endFrame;        // the effect's length in frames
    uint32_t reserved36;
    uint16_t cardId;          // registry card the effect came from; 0xFFFF none
    uint16_t reserved42;
    char description[64];     // NUL-terminated
    uint16_t effectFlagsHigh; // the effect's flag word >> 16
    uint16_t currentFrame;    // the frame the editor showed
};
static_assert(sizeof(FxEffectBlock) == 112, "FxEffectBlock header is 112 bytes");
static_assert(offsetof(FxEffectBlock, timeStamp) == 28 && offsetof(FxEffectBlock, cardId) == 40 &&
                  offsetof(FxEffectBlock, description) == 44 && offsetof(FxEffectBlock, effectFlagsHigh) == 108,
              "FxEffectBlock field offsets");

constexpr uint16_t FXB_HEADER_SIZE = 112;
constexpr uint16_t FXB_VERSION = 2;           // every block made here
constexpr uint16_t FXB_VERSION_OLD = 11;      // also read
constexpr uint16_t FXB_NO_CARD = 0xFFFF;
constexpr uint32_t FXB_FLAG_UNSTORED = 0x4;
constexpr uint32_t FXB_FLAG_PLACEMENT = 0x80000000u;
// Longest script text a block may carry; larger lengths are refused as
// damaged rather than trusted.
constexpr uint32_t FXB_TEXT_MAX = 64u << 20;

// Why a block was refused (FxCheckBlock).
enum FxBlockError {
    FXB_OK = 0,
    FXB_ERR_NULL,            // no block
    FXB_ERR_TRUNCATED,       // shorter than its header
    FXB_ERR_VERSION,         // version neither 2 nor 11
    FXB_ERR_NO_DATA,         // dataLength 0
    FXB_ERR_LENGTH,          // textLength 0 or above FXB_TEXT_MAX
    FXB_ERR_OFFSET,          // text starts inside the header
    FXB_ERR_OUTSIDE,         // text runs past the block's end
    FXB_ERR_UNTERMINATED     // the text's last byte is not a NUL, or a NUL is missing
};
// English text of an error, for logs and message boxes.
const char *FxBlockErrorText(int error);

// Checks a block before its text is read.  `available` is the number of
// bytes known to be readable at `block` (SIZE_MAX when the giver did not
// say: the header's own lengths are then the only bounds).  On success the
// text is at block + textOffset, NUL-terminated within textLength bytes.
int FxCheckBlock(const void *block, size_t available);
// The text of a block that passed FxCheckBlock.
inline const char *FxBlockText(const FxEffectBlock *b)
{
    return reinterpret_cast<const char *>(b) + b->textOffset;
}

// A Tallyset data record of a card or template (type word 6): the block it
// points at and the card's number and name.  Pointer at natural width.
struct FxCardRecord {
    uint32_t word0;
    uint32_t type;            // 6
    uint16_t word8;
    uint16_t cardNumber;
    uint32_t blockSize;       // textLength + 112
    FxEffectBlock *block;
    char name[80];
};
static_assert(offsetof(FxCardRecord, type) == 4 && offsetof(FxCardRecord, cardNumber) == 10 &&
                  offsetof(FxCardRecord, blockSize) == 12 && offsetof(FxCardRecord, block) == 16,
              "FxCardRecord layout");
constexpr uint32_t FX_CARD_TYPE = 6;

// What the library sends with messages 2239 (get) and 2240 (put): 272 zero
// bytes, then the selector, the size and the pointer or value.
struct FxHostDataRecord {
    uint8_t zero[272];
    int32_t selector;
    uint32_t size;
    uintptr_t value;
};
static_assert(offsetof(FxHostDataRecord, selector) == 272, "FxHostDataRecord layout");

constexpr UINT FXN_GET_DATA = 2239;
constexpr UINT FXN_PUT_DATA = 2240;
constexpr UINT FXN_EFFECT_LOADED = 2242;
constexpr int32_t FX_HOST_ANIMATION_DATA = 9;   // selector of the animation-data record
constexpr int32_t FX_HOST_VERSION = -2;

// ---------------------------------------------------------------- the effect

// One undo snapshot: the whole effect as script text (no header), lying
// directly behind the node.
struct FxUndoNode {
    FxUndoNode *next;          // next older
    uint32_t length;           // text length with its NUL
    char *text;
    int32_t pathNumber;        // the current path's number (1-based), 0 none
    int32_t keyIndex;          // index of the current keyframe in its ring, -1 none
};

constexpr int FX_UNDO_LIMIT = 100;   // a push onto this many first cuts the list
constexpr int FX_UNDO_KEEP = 75;     // to this many

// Flag word bits of an effect kept by this layer.
enum : uint32_t {
    FXE_UNWRITTEN = 0x1,       // changed since the last script write
    FXE_UNCARDED = 0x2,        // changed since taken from or given to a card
    FXE_UNSTORED = 0x4,        // changed since stored to the host
    FXE_RENDER_STALE = 0x8,    // render information older than the effect
    FXE_UNSAVED = 0x10,        // changed since the last save of any kind
    FXE_FROM_HOST = 0x20,      // loaded from the host
    FXE_NO_REALTIME = 0x4000,
    FXE_NEW = 0xC008           // flag word of a new effect
};

struct FxEffectHost;

struct FxEffect {
    FxPath *first;
    FxPath *current;
    int32_t currentFrame;
    int32_t thumbnailFrame;       // -1 none
    int32_t endFrame;             // 0 not set
    uint32_t flags;
    char fileName[260];
    char renderFile[260];
    FxEffectBlock header;         // header copy; its two length fields stay 0
    int32_t animationRecord;
    int32_t virtualWidth, virtualHeight;  // the space its FX script gave (VirtualRes); 0 none
    int32_t renderTimeStamp;
    uint32_t timeStamp;           // (uint32_t)-1 none
    FxUndoNode *undo;             // newest first
    FxUndoNode *redo;
    int32_t undoCount;
    int32_t undoSuspended;
    FxView *view;
    FxEffectHost *host;
};

// ---------------------------------------------------------------- the host side

// What this layer needs of the library instance that holds the effect.  The
// instance fills it at attach and keeps it current; every hook may be null
// and is then skipped.
struct FxEffectHooks {
    // Makes the effect's view with the given flag word.
    FxView *(*createView)(FxEffectHost *host, uint32_t viewFlags);
    // Fits a loaded effect's frame range to the host's length.
    void (*fitRange)(FxEffectHost *host, FxEffect *effect);
    // Builds the effect's objects from the host's animation-data record.
    void (*addAnimationObjects)(FxEffectHost *host, FxEffect *effect, void *record, int option);
    // Registers (1) or unregisters (0) the effect's paths with an active
    // realtime renderer link.
    void (*rendererPaths)(FxEffectHost *host, FxEffect *effect, int registerPaths);
    // The mesh-effect switch.
    void (*enableMeshes)(FxEffectHost *host, int on);
    // The DVE placement pass of a freshly loaded effect.
    void (*placeDve)(FxEffectHost *host);
    // The store library's RegFreeData.
    void(__cdecl *regFreeData)(void *record);
    // The editor's scene drawing into view->dc (thumbnails).
    void (*drawScene)(FxEffectHost *host, FxView *view, FxPath *list, int frame);
};

struct FxEffectHost {
    CubbyNode *own;               // the library's node
    CubbyNode *peer;              // the host's node (its notify is called)
    int32_t personality;
    uint32_t hostKind;
    uint32_t options;             // editor option bits
    uint32_t fieldOption;         // bit 0: field rendering
    uint32_t personalityViewFlags;
    uint32_t dataType;            // the personality's data type word (8 or 20)
    int32_t hostLength;           // the host's length in frames, 0 none
    int32_t mergeOption;          // loads with FXL_MERGE append paths
    char product[16];             // caption of message boxes
    char objectName[32];          // "Reset %s?"
    char settingsFile[260];       // quillon.ini with its path
    HWND mainWindow;              // the editor's main window (refresh posts)
    HWND toolWindow;              // its buttons 3050/3051 follow the undo state
    HMENU menu;                   // the host menu's items 3050/3051 likewise
    FxEffect *effect;             // the current effect
    FxEffectHooks hooks;
};

constexpr uint32_t FX_HOST_KIND_PLAIN = 0x2C910000;
constexpr uint32_t FX_HOST_KIND_EMBED = 0x2C930000;

// Option bits of an instance that this layer reads.
constexpr uint32_t FXO_VIEW_BITS = 0xFB0;
constexpr uint32_t FXO_MESHES = 0x400000;

// The library-wide DVE placement flag.
extern int g_fxDvePlacement;

// Load modes (low 16 bits) and their option bits.
enum {
    FXL_NEW = 0, FXL_FILE = 1, FXL_CARD = 2, FXL_HOST = 3, FXL_RESET = 4, FXL_BLOCK = 5,
    FXL_BUFFERED = 6, FXL_TEXT = 7
};
constexpr uint32_t FXL_MERGE = 0x10000;
constexpr uint32_t FXL_FOREIGN = 0x20000;

// Save modes.
enum { FXSV_FILE = 1, FXSV_CARD = 2, FXSV_HOST = 3, FXSV_BLOCK = 5, FXSV_BUFFERED = 6, FXSV_TEXT = 7 };

// Messages and ids of the editor this layer touches.
// One definition whichever of the two headers comes first.
#ifndef FX_MSG_REFRESH_DEFINED
#define FX_MSG_REFRESH_DEFINED
constexpr UINT FX_MSG_REFRESH = 1034;
#endif
constexpr WPARAM FX_REFRESH_LOADED = 0x2803;
constexpr int FX_ID_UNDO = 3050, FX_ID_REDO = 3051;

// A zeroed effect with one default path; with `withView` non-zero also its
// view (through hooks.createView, skipped when absent).  Null when out of
// memory.
FxEffect *NewEffect(FxEffectHost *host, int withView);
// Frees the effect, its paths, view and snapshots.  Null is ignored.
void DeleteEffect(FxEffect *effect);

// Loads into host->effect by mode (see FXL_*); non-zero on success.  A
// failed load leaves the current effect as it was.
int LoadEffect(FxEffectHost *host, HWND owner, uint32_t mode, const void *source);
// Writes host->effect by mode (see FXSV_*); non-zero on success.  Mode 5's
// target must hold FxBlockSize() bytes.
int SaveEffect(FxEffectHost *host, HWND owner, uint32_t mode, void *target);

// The size of the block the effect makes (header + text with NUL); 0 when
// the effect writes no text.
uint32_t FxBlockSize(FxEffectHost *host, FxEffect *effect);
// Makes a block of the effect into a new heap block (free with free());
// `forHost` applies the host-only fields.  Null on failure.
FxEffectBlock *FxMakeBlock(FxEffectHost *host, FxEffect *effect, int forHost, uint32_t *size);

// Makes the effect's block into the caller's memory of `capacity` bytes
// (save mode 5 with a known size); 1 on success, 0 when it does not fit.
int FxSaveBlock(FxEffectHost *host, FxEffect *effect, void *target, uint32_t capacity);

// The host link.  0 when there is no host or no notify function.
INT_PTR CallHost(FxEffectHost *host, UINT message, WPARAM wparam, void *record);
uintptr_t GetHostData(FxEffectHost *host, int32_t selector);
INT_PTR PutHostData(FxEffectHost *host, int32_t selector, void *pointer, uint32_t size);

// A picture of a path list (as a rule parsed from a template) at `frame`:
// a new screen-compatible bitmap of width x height drawn through a
// temporary view (flags 0x548, the current view's 0x2 and 0x80, the field
// option) by hooks.drawScene.  While it draws, keyframe flag 0x100000 of
// the list's current keyframe is on the first keyframe instead, and for a
// positive frame the current view's renderer link is lent to it.  Null on
// bad sizes or when the bitmap cannot be made; the caller deletes it.
constexpr uint32_t FXK_THUMB_MARK = 0x100000;
HBITMAP RenderPathThumbnail(FxEffectHost *host, FxPath *list, int width, int height, int frame);

// Pushes a snapshot of host->effect: 1 pushed, 0 equal to the newest, -1
// no effect or no memory.
int PushUndoSnapshot(FxEffectHost *host, FxUndoNode **undo, FxUndoNode **redo, int32_t *count);
void FreeUndoList(FxUndoNode **list);
// One undo or redo step: moves the newest node of `from` onto `to` and
// makes the effect equal to a snapshot (with `applyMoved` the moved node,
// else the new newest of `from`).  Undo is (undo, redo, 0) and needs two
// undo nodes; redo is (redo, undo, 1).  1 done, 0 nothing to do or the
// snapshot could not be read (the lists and the effect then stay).
int StepUndo(FxEffectHost *host, FxUndoNode **from, FxUndoNode **to, int applyMoved);
// The editor refresh's part in undo: with the undoable-change bit in
// `mask`, or while the undo list is empty, a snapshot is pushed; an
// undoable change marks the effect changed (0x1-0x10; 0x8 not with
// FX_MASK_KEEP_RENDER).  The push's result, or -1 when none was tried.
constexpr uint32_t FX_MASK_UNDOABLE = 0x2000000;
constexpr uint32_t FX_MASK_KEEP_RENDER = 0x40000000;
int FxNoteUndoableChange(FxEffectHost *host, uint32_t mask);
// Enables the undo/redo menu items and tool buttons from the lists.
void UpdateUndoControls(FxEffectHost *host);
