/*
 * The node protocol between a host and the effects library: nodes, data
 * requests, capability entries, frame descriptions.  Both sides are built
 * separately, so these records are binary interface: field order as the
 * protocol fixes it, 32-bit words, pointers at their natural width.
 */
#ifndef CUBBY_H
#define CUBBY_H

#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct CubbyNode;
/* notify(node being called, calling node, message, parameter, record). */
typedef INT_PTR(WINAPI *CubbyNotify)(struct CubbyNode *node, struct CubbyNode *peer, UINT message,
                                      WPARAM wparam, void *record);

enum {
    FXN_ATTACH = 2025,
    FXN_DETACH = 2026,
    FXN_REQUEST = 2036,
    FXN_STATE = 2223,
    FXN_EFFECT_CHANGED = 2228,
    FXN_SETTINGS_PATH = 2231,
    FXN_VIDEO_FORMAT = 2254
};

/* Phase bits of FXN_REQUEST; 42 and 43 are one-call requests (get, set). */
enum {
    FXP_RECEIVE = 0x1,
    FXP_SIZE = 0x2,
    FXP_PREPARE = 0x4,
    FXP_TRANSFER = 0x8,
    FXP_RELEASE = 0x10, /* free the block prepared for the transfer */
    FXP_FINISH = 0x20,
    FXP_DIRECT_GET = 42,
    FXP_DIRECT_SET = 43
};

enum {
    FXD_OBJECT_POSITION = 1,
    FXD_EFFECT_TEXT = 0x2C800001,
    FXD_EFFECT_BLOCK = 0x2C800002,
    FXD_OBJECT_DATA = 0x2C80000B,
    FXD_RENDER_FRAME = 0x2C80000C
};

/* One data code a node offers. */
typedef struct CubbyFormatEntry {
    uint32_t code;
    uint32_t media;       /* mask of medium bits */
    uint32_t flags;
    uint32_t source;      /* four 4-bit capability fields */
    uint32_t destination;
    uintptr_t description;
    uintptr_t extension;
    HMODULE module;
} CubbyFormatEntry;

/* What a node points at before attach: how the host chose the library. */
typedef struct CubbyPrivateData {
    uint32_t type;        /* registry value type: 3 bytes, 4 number */
    uintptr_t value;      /* the number, or a pointer to the bytes */
    uint32_t hostKind;
} CubbyPrivateData;

typedef struct CubbyNode {
    CubbyNotify notify;
    uint32_t flags;
    uint32_t reserved8, reserved12;
    uint32_t id;          /* kind of node */
    char name[64];
    HWND window;
    HWND toolWindow;
    uint32_t reserved92;
    HACCEL accelerators;
    HINSTANCE module;     /* the instance the node belongs to */
    HINSTANCE moduleCopy;
    HICON icon;
    uint32_t reserved112;
    void *privateData;
    uint32_t capCount;
    CubbyFormatEntry *caps;
    HMENU menu;
    uint32_t reserved132;
} CubbyNode;

/* A data request, current form: the marker's high half is 0xFFFF. */
typedef struct FxRequest {
    void *data;
    uint32_t marker;      /* 0xFFFF0038 */
    uint32_t code;
    uint32_t unit;        /* medium */
    uint32_t sourceFlags, destFlags; /* chosen by format matching */
    uint32_t flags;       /* bit 0: one call */
    uint32_t words[3];
    uintptr_t second;     /* size, packed pair or pointer */
    uintptr_t extra;
    uint32_t tail[2];
} FxRequest;

/* The older form: no marker, everything after the data one word lower. */
typedef struct FxRequestOld {
    void *data;
    uint32_t code;
    uint32_t unit;
    uint32_t sourceFlags, destFlags;
    uint32_t flags;
    uint32_t words[3];
    uintptr_t second;
    uintptr_t extra;
    uint32_t tail;
} FxRequestOld;

enum { FXR_MARKER = 0xFFFF0038u, FXR_MARKER_CONVERTED = 0xFFFF0034u };

static inline int FxIsCurrentForm(const void *request)
{
    return (((const FxRequest *)request)->marker >> 16) == 0xFFFF;
}
static inline void FxFromOld(FxRequest *to, const FxRequestOld *from)
{
    to->data = from->data;
    to->marker = FXR_MARKER_CONVERTED;
    to->code = from->code;
    to->unit = from->unit;
    to->sourceFlags = from->sourceFlags;
    to->destFlags = from->destFlags;
    to->flags = from->flags;
    to->words[0] = from->words[0];
    to->words[1] = from->words[1];
    to->words[2] = from->words[2];
    to->second = from->second;
    to->extra = from->extra;
    to->tail[0] = from->tail;
    to->tail[1] = 0;
}
static inline void FxToOld(FxRequestOld *to, const FxRequest *from)
{
    to->data = from->data;
    to->code = from->code;
    to->unit = from->unit;
    to->sourceFlags = from->sourceFlags;
    to->destFlags = from->destFlags;
    to->flags = from->flags;
    to->words[0] = from->words[0];
    to->words[1] = from->words[1];
    to->words[2] = from->words[2];
    to->second = from->second;
    to->extra = from->extra;
    to->tail = from->tail[0];
}

/* The frame a render request asks for. */
typedef struct FxFrameFormat {
    uint32_t size;        /* 40 */
    uint32_t format;      /* 0x2004 with byte and field bits */
    uint32_t width, height;
    uint32_t zero;
    uint32_t position, frames;
    uint32_t stride;
    uint32_t reserved[2];
} FxFrameFormat;

/* Video-format query (FXN_VIDEO_FORMAT): code 0 resets, 17 reads the
 * header (index 0) or an entry; form 0x2C0000F3 asks for the short entry. */
typedef struct FxVideoFormatQuery {
    uint32_t code;
    uint32_t form;
    uint32_t index;
    void *out;
} FxVideoFormatQuery;

typedef struct CuelinkVideoHeader {
    uint32_t size, count, entrySize, reserved[3];
} CuelinkVideoHeader;
/* One format: the effects library reads it field by field. */
typedef struct CuelinkVideoEntry {
    uint32_t size;        /* 88 */
    uint32_t view;        /* 0 */
    uint32_t fieldOrder;  /* 1: first field first */
    uint32_t word3;
    uint32_t flags;       /* 0x2: interlaced display */
    uint32_t word5;
    uint32_t frameRate, width, height, aspectX, aspectY;
    uint32_t further[4];
    uint32_t reserved[7];
} CuelinkVideoEntry;
/* The extension of a format (view 0x2C0000F3). */
typedef struct CuelinkVideoExtension {
    uint32_t size;        /* 28 */
    uint32_t view;
    uint32_t words[5];
} CuelinkVideoExtension;

#ifdef __cplusplus
}
static_assert(sizeof(FxFrameFormat) == 40, "frame format is 40 bytes");
static_assert(sizeof(CuelinkVideoHeader) == 24, "video format header is 24 bytes");
static_assert(sizeof(CuelinkVideoEntry) == 88, "video format entry is 22 words");
static_assert(offsetof(CuelinkVideoEntry, frameRate) == 24 && offsetof(CuelinkVideoEntry, aspectY) == 40,
              "frame rate, size and aspect follow the six leading words");
static_assert(sizeof(CuelinkVideoExtension) == 28, "video format extension is 7 words");
static_assert(offsetof(FxRequest, marker) == sizeof(void *), "marker follows the data pointer");
static_assert(offsetof(FxRequest, flags) == offsetof(FxRequestOld, flags) + 4, "old form is one word lower");
static_assert(offsetof(CubbyNode, id) == offsetof(CubbyNode, flags) + 12, "node id after the flags");
#endif

#endif
