/* Quadrel internals: the process-wide state of the library, the board's
 * private block and the device-control helpers. */
#ifndef QUADREL_INTERNAL_H
#define QUADREL_INTERNAL_H

#include <windows.h>
#include "pixmoor.h"
#include "murnak_ioctl.h"
#include "cmdlist.h"

/* Process-wide state, written at attach (and the option tables by
 * EnableBoard); read by every operation. */
struct QuadrelGlobals {
    HANDLE device;                      /* INVALID_HANDLE_VALUE when absent */
    BOOL quadrel[4];                    /* backplane carries a Quadrel adapter */
    char adapter[4][256];               /* adapter string, upper case */
    const char *format[4];              /* build-message format */
    DWORD boards;
    DWORD build;
    BOOL optionA[16], optionB[16];
    HMODULE module;
};
extern QuadrelGlobals g_quadrel;

/* A buffered device control on the board device; FALSE when the device is
 * absent or the request failed. */
BOOL murnak_ioctl(DWORD code, const void *in, DWORD inLen, void *out, DWORD outLen);

typedef BYTE *(*ListGenerator)(FrameBufferRecord *record, struct BoardState *block, DWORD code, DWORD second,
                               DWORD duration, DWORD *size);

enum { PLAY_IDLE = 0, PLAY_TAKE = 1, PLAY_ROLL = 2, PLAY_MOVIE = 4 };

/* The board's private block (in the graphics core's memory). */
struct BoardState {
    FrameBufferRecord *record;
    LONG handle;
    BYTE *pendingList;
    DWORD pendingSize;
    Layer *memory[3];                   /* on-screen, off-screen, second off-screen */
    LONG x0, x1, width, y0, y1, height;
    Layer *view[3];                     /* on-screen, off-screen, third */
    Layer *rollLayer[2];
    Layer *rollView;
    LONG rollPeriod, rollCredits, rollFlags, rollWrap;
    MurnakRollStart rollRequest;
    HANDLE rollReady, rollStep;         /* manual reset */
    BYTE *movieList;
    LONG movieId;
    HANDLE done;                        /* manual reset */
    HANDLE trigger;                     /* the caller's, or null */
    HANDLE thread;
    LONG state;                         /* PLAY_* */
    LONG rollPosition;
    HANDLE quit, queue;                 /* auto reset */
    HANDLE extra;                       /* auto reset, handed to the driver */
    DWORD playTime;                     /* all ones: none */
    DWORD crop[4];
    BOOL cropSet;
    CRITICAL_SECTION lock;
    BOOL fieldMode;
    LONG keying;
    DWORD aspect;
    ListGenerator generator;
    DWORD submittedId;                  /* id of the list the thread holds */
    BYTE *heldList;
    LONG lastRollLine;
    /* the frame size of the open */
    LONG frameWidth, frameHeight;
};

BoardState *board_of(FrameBufferRecord *record);
DWORD backplane_of(FrameBufferRecord *record);
/* Waits until the board may be touched (the access-begin callback). */
void wait_layer_access(FrameBufferRecord *record, Layer *layer, bool offScreen);

/* Slots (graphics-core calling convention). */
extern "C" {
LONG PIXAPI DisableBoard(FrameBufferRecord *record);
LONG PIXAPI TakeBoard(FrameBufferRecord *record, LONG_PTR code, LONG_PTR value);
LONG PIXAPI TakeBoardEvent(FrameBufferRecord *record, LONG_PTR code, LONG_PTR value, LONG_PTR event);
LONG PIXAPI TakeBoardEventEx(FrameBufferRecord *record, LONG_PTR code, LONG_PTR second, LONG_PTR value,
                             LONG_PTR event);
LONG PIXAPI TakeBoardAtTime(FrameBufferRecord *record, LONG_PTR code, LONG_PTR second, LONG_PTR value,
                            LONG_PTR time);
LONG PIXAPI ControlEffectBoard(FrameBufferRecord *record, LONG_PTR type, LONG_PTR inout);
LONG PIXAPI RollBoard(FrameBufferRecord *record, LONG_PTR command, LONG_PTR arg);
Layer *PIXAPI RollBoardLayer(FrameBufferRecord *record, LONG_PTR position);
LONG PIXAPI VexaBoard(FrameBufferRecord *record, LONG_PTR command, LONG_PTR arg);
LONG PIXAPI GetNameOfBoard(FrameBufferRecord *record, LONG_PTR buffer, LONG_PTR size);
}

/* Play thread of one board (argument: the record). */
DWORD WINAPI board_play_thread(void *record);
/* List generators of the two board families. */
BYTE *board_transition_list(FrameBufferRecord *record, BoardState *b, DWORD code, DWORD second, DWORD duration,
                            DWORD *size);
BYTE *host_transition_list(FrameBufferRecord *record, BoardState *b, DWORD code, DWORD second, DWORD duration,
                           DWORD *size);

/* Video-effects device of a backplane (overlapped handle) or
 * INVALID_HANDLE_VALUE; one request with no data. */
HANDLE open_effects_device(DWORD backplane);
void effects_request(HANDLE device, DWORD code, void *in, DWORD inLen);

#endif
