/*
 * Device-control interface of the Murnak board device ("\\.\MURNAK").
 *
 * Every request is buffered (no overlapped I/O).  Inputs and outputs are
 * 32-bit words; where a request carries a pointer or a handle the field has
 * the natural pointer width and the layout below keeps the word order.
 * These records cross a process boundary: each size is fixed here.
 */
#ifndef QUADREL_MURNAK_IOCTL_H
#define QUADREL_MURNAK_IOCTL_H

#include <windef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define MURNAK_DEVICE_NAME "MURNAK"
#define MURNAK_REQUIRED_BUILD 345u

enum MurnakIoctl {
    IOCTL_MURNAK_BUILD           = 0x80002000,
    IOCTL_MURNAK_SUBMIT_LIST     = 0x80002004,
    IOCTL_MURNAK_FREE_LIST       = 0x80002008,
    IOCTL_MURNAK_BOARD_COUNT     = 0x8000200C,
    IOCTL_MURNAK_OPEN_BOARD      = 0x80002010,
    IOCTL_MURNAK_CLOSE_BOARD     = 0x80002014,
    IOCTL_MURNAK_FRAME_MEMORY    = 0x8000201C,
    IOCTL_MURNAK_EFFECT_CONTROL  = 0x80002020,
    IOCTL_MURNAK_STOP            = 0x80002024,
    IOCTL_MURNAK_PLAY_QUEUE      = 0x8000202C,
    IOCTL_MURNAK_QUEUE_FRAME     = 0x80002030,
    IOCTL_MURNAK_POSITION        = 0x80002034,
    IOCTL_MURNAK_ROLL            = 0x80002038,
    IOCTL_MURNAK_WINDOW          = 0x80002040,
    IOCTL_MURNAK_MOVIE_VALUE     = 0x80002048,
    IOCTL_MURNAK_MOVIE_RECORD    = 0x8000204C,
    IOCTL_MURNAK_MASTER_DVE      = 0x80002050,
    IOCTL_MURNAK_LIVE_DVE        = 0x80002054,
    IOCTL_MURNAK_MOVIE_QUERY     = 0x80002058,
    IOCTL_MURNAK_GRAB            = 0x80002070,
    IOCTL_MURNAK_CAPTURE_PARAM   = 0x80002078,
    IOCTL_MURNAK_EFFECT_QUERY    = 0x80002080,
    IOCTL_MURNAK_RC_ENABLE       = 0x80002084,
    IOCTL_MURNAK_RC_DISABLE      = 0x80002088,
    IOCTL_MURNAK_RC_SETUP        = 0x8000208C,
    IOCTL_MURNAK_PLAY_AT_TIME    = 0x80002090,
    IOCTL_MURNAK_ATTACH_HOST_LO  = 0x80002094,
    IOCTL_MURNAK_ATTACH_HOST_HI  = 0x80002098,
    IOCTL_MURNAK_DETACH_HOST_LO  = 0x8000209C,
    IOCTL_MURNAK_DETACH_HOST_HI  = 0x800020A0,
    IOCTL_MURNAK_HOST_UPDATE_LO  = 0x800020A4,
    IOCTL_MURNAK_HOST_UPDATE_HI  = 0x800020A8,
    IOCTL_MURNAK_HOST_ACCESS_LO  = 0x800020AC,
    IOCTL_MURNAK_HOST_ACCESS_HI  = 0x800020B0,
    IOCTL_MURNAK_CUT_CLEAR       = 0x800020C4,
    IOCTL_MURNAK_CUT_ADD         = 0x800020C8,
    IOCTL_MURNAK_CUT_PLAY        = 0x800020CC,
    IOCTL_MURNAK_EVENT_DONE      = 0x800020E4,
    IOCTL_MURNAK_EVENT_ROLL_READY = 0x800020E8,
    IOCTL_MURNAK_EVENT_ROLL_STEP = 0x800020EC,
    IOCTL_MURNAK_EVENT_EXTRA     = 0x800020F4,
    IOCTL_MURNAK_HOST_WINDOW     = 0x800020F8,
};

/* Requests to the video-effects device of a backplane. */
enum {
    IOCTL_EFFECTS_CAPTURE = 0x83002268,
    IOCTL_EFFECTS_FREEZE  = 0x83002274,
    IOCTL_EFFECTS_RELEASE = 0x83002278,
};

#include <pshpack4.h>

/* 0x80002004 in: the list lives in the caller's memory until it is freed. */
typedef struct MurnakSubmitList {
    const void *list;
    DWORD size;
    DWORD reserved;             /* 0 */
} MurnakSubmitList;

/* 0x80002010 out. */
typedef struct MurnakOpenBoard {
    LONG handle;                /* negative: no such board */
    DWORD width;
    DWORD height;
    DWORD keying;
    DWORD aspect;               /* x in the high 16 bits, y in the low 16 */
} MurnakOpenBoard;

/* 0x80002030 in, one frame record of a list. */
typedef struct MurnakQueueFrame {
    DWORD handle;
    DWORD list;
    DWORD offset;
} MurnakQueueFrame;

/* 0x80002030 in, a range (movie frames). */
typedef struct MurnakQueueRange {
    DWORD handle;
    DWORD list;
    DWORD first;
    DWORD count;
    DWORD flag;
} MurnakQueueRange;

/* 0x80002094 / 0x80002098 in. */
typedef struct MurnakAttachHost {
    DWORD backplane;
    DWORD reserved;
    void *pixels;
    DWORD bytes;
    DWORD reserved2;
} MurnakAttachHost;

/* 0x800020E4 .. 0x800020F4 in. */
typedef struct MurnakEvent {
    DWORD handle;
    DWORD reserved;
    HANDLE event;
} MurnakEvent;

/* 0x80002038 sub-command 1 in: start a roll. */
typedef struct MurnakRollStart {
    DWORD handle;
    DWORD sub;                  /* 1 */
    DWORD lineBytes;            /* bytes per line of the roll layers */
    DWORD remaining;            /* 8.24 fraction of the travel */
    DWORD start;
    DWORD rest;                 /* 1 - travel fraction, 8.24 */
    DWORD speed[4];
    DWORD mode;
    DWORD width;
    DWORD height;
    DWORD period;
    DWORD wrap;
    void *layer[2];
} MurnakRollStart;

#include <poppack.h>

#ifdef __cplusplus
static_assert(sizeof(MurnakSubmitList) == 8 + sizeof(void *), "submit list record");
static_assert(sizeof(MurnakOpenBoard) == 20, "open answer is 20 bytes");
static_assert(sizeof(MurnakQueueFrame) == 12, "queue frame record");
static_assert(sizeof(MurnakQueueRange) == 20, "queue range record");
static_assert(sizeof(MurnakAttachHost) == 16 + sizeof(void *), "attach record");
static_assert(sizeof(MurnakEvent) == 8 + sizeof(void *), "event record");
static_assert(sizeof(MurnakRollStart) == 60 + 2 * sizeof(void *), "roll start record");
#endif

/* Command-list tags. */
enum {
    CL_TAG_END        = 0,
    CL_TAG_RECTS      = 0xC0000002,
    CL_TAG_LEVELS     = 0xC0000003,
    CL_TAG_PAIR       = 0xC0000004, /* + k, k 0..3 */
    CL_TAG_MOVES      = 0xC0000008,
    CL_TAG_SLIDES     = 0xC0000009,
    CL_TAG_VALUE_E    = 0xC000000E, /* + v */
    CL_TAG_MOVES_PRE  = 0xC0000011,
    CL_TAG_CROP       = 0xC0000016, /* with payload; + v without */
    CL_TAG_IMAGE_KEY  = 0xC0000019,
    CL_TAG_PATTERN    = 0xC000001E,
    CL_TAG_CLOSE      = 0xC000001F,
    CL_TAG_CLASS_A    = 0xC0000020,
    CL_TAG_IMAGE      = 0xC0000025,
};

/* 8.24 fixed point. */
#define FIX24_ONE 0x1000000

#ifdef __cplusplus
}
#endif

#endif
