/* Command lists for the board: frame records of tagged sub-records, the
 * memory stream that writes the image form, the image take, the transition
 * list of host-buffer boards and the per-field record builder of the
 * on-board pattern generator.  Plain code over memory (the lists live in the
 * graphics core's M32 memory). */
#ifndef QUADREL_CMDLIST_H
#define QUADREL_CMDLIST_H

#include <windows.h>
#include "pixmoor.h"
#include "murnak_ioctl.h"

/* A list under construction, grown in steps of 0x10000 bytes. */
struct ListBuilder {
    BYTE *data = nullptr;
    DWORD used = 0;
    DWORD capacity = 0;
    bool failed = false;
    DWORD frameStart = 0;

    ~ListBuilder();
    void word(DWORD w);
    void begin_frame();                 /* size and check words follow on end */
    void sub(DWORD tag, const DWORD *payload, DWORD count);
    void end_frame();                   /* end sub-record, then the size words */
    /* Appends the terminator word and hands the list over (size through
     * the pointer); null when memory ran out. */
    BYTE *finish(DWORD *size);
};

/* 8.24 of a double, rounded to nearest. */
DWORD fix24(double v);

/* ---- Memory stream ---------------------------------------------------- */
enum {
    MS_FULL = 0x01,
    MS_TERMINATE = 0x04,
    MS_TERMINATE2 = 0x08,
    MS_GROW = 0x40,
};

struct MemoryStream {
    DWORD flags;
    DWORD highWater;
    LONG base;                          /* current base offset, -1 at the top */
    LONG *stack;                        /* saved bases */
    LONG depth, stackSize;
    HGLOBAL handle;                     /* null over a caller's buffer */
    BYTE *start;
    DWORD position;
    DWORD left;
    DWORD capacity;
};

/* Over a caller's buffer (null when it cannot be read) or over a fresh
 * global block (size 0: 0xFFFF). */
BOOL  ms_open_buffer(MemoryStream *s, void *buffer, DWORD size, DWORD flags);
BOOL  ms_open_global(MemoryStream *s, DWORD size, DWORD flags);
DWORD ms_write(MemoryStream *s, const void *data, DWORD bytes);
DWORD ms_read(MemoryStream *s, void *data, DWORD bytes);
LONG  ms_seek(MemoryStream *s, LONG offset, int origin);
void  ms_begin_chunk(MemoryStream *s, DWORD kind);
void  ms_end_chunk(MemoryStream *s, DWORD tag);
/* The high-water mark; frees the stack and an owned block. */
DWORD ms_close(MemoryStream *s);

/* ---- Lists ------------------------------------------------------------- */
/* Image take: the colour plane of colour and, unless colour-only (code bits
 * 8-15), the key plane of key, in one image record.  Null when the layers
 * cannot be accessed or memory runs out. */
BYTE *BuildImageList(Layer *colour, DWORD code, Layer *key, DWORD duration, DWORD *size);

/* Transition list of host-buffer and placeholder boards. */
BYTE *HostTransitionList(DWORD code, DWORD duration, DWORD *size);

/* The board's pattern number for a wipe code (code & 0xFF00FF), -1 when the
 * code has none. */
LONG host_pattern(DWORD wipe);

/* ---- Pattern generator (on-board boards) -------------------------------- */
struct PatternWindow {
    LONG x0, y0, width, height;
    DWORD crop[4];
    bool cropSet;
};

/* Draws a transition as field records.  Window and crop from the board; the
 * crop flag is the caller's to clear.  seed feeds the random dissolve. */
BYTE *BoardTransitionList(const PatternWindow &window, DWORD code, DWORD second, DWORD duration, DWORD *size,
                          unsigned seed);

/* Batch size of a code (class << 16 | wipe) over n fields of a frame. */
LONG pattern_batch(DWORD code, LONG n, LONG width, LONG height, LONG blocks);

#endif
