/*
 * bufile.h - buffered-file calls through which the image filters read and
 * write every file and in-memory file image (bf* interface), and the
 * buffered stream underneath them (bs* interface).
 *
 * Streams belong to their creator and are freed by bfDestroy / bsClose.
 * Positions are byte offsets relative to the stream's origin (base offset).
 * All calls run on the caller's thread; a stream is not shared by threads.
 * The bf* calls are the library's own code over Win32 file calls; nothing
 * outside Ferrix32 is loaded for them.
 */
#ifndef FERRIX_BUFILE_H
#define FERRIX_BUFILE_H

#include <windows.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct BufferedStream BufferedStream;

/* Stream flags (first word of the stream record). */
enum
{
    BS_END        = 0x01,   /* a read or refill came short */
    BS_CLOSEFILE  = 0x02,   /* close the file handle at close */
    BS_CREATE     = 0x04,   /* create the file (by name) / start empty (over a handle) */
    BS_DELETE     = 0x10,   /* delete the file at close */
    BS_FREEMEM    = 0x20,   /* free the memory block at close */
    BS_GROW       = 0x40    /* the block may grow; shrunk to the written length at close */
};

struct BufferedStream
{
    uint32_t flags;          /* BS_*; callers may set BS_DELETE / BS_FREEMEM before closing */
    uint32_t length;         /* file length (grows with writes) or memory data size */
    uint32_t capacity;       /* memory: bytes that may be written */
    uint32_t highest;        /* memory: largest position written */
    HANDLE   file;           /* 0 for memory streams */
    HGLOBAL  block;          /* memory block, or none */
    BYTE    *data;           /* memory start, or none for file streams */
    uint32_t memPos;         /* memory: current position */
    uint32_t memLeft;        /* memory: bytes after it */
    BYTE    *buffer;         /* file: read buffer of min(length, 64000) bytes */
    uint32_t bufSize;
    uint32_t winPos;         /* read window: offset inside the buffer */
    uint32_t winCount;       /* bytes in the window */
    uint64_t filePos;        /* file: position of the byte after the buffered bytes */
    uint32_t base;           /* base offset of seeks */
    uint32_t chunk;          /* refill size */
    char    *path;           /* kept for delete at close */
    int      ownsBlock;      /* the block was allocated by the stream */
    int      locked;         /* the block is locked by the stream */
};

/* -------------------------------------------------------- buffered stream */

/* Open by name; null for an empty name, one holding '*', '?' or ';', a file
 * part "con" (any case) or of 128 characters or more, or an open failure. */
BufferedStream *bsOpenName(const char *name, uint32_t flags);
/* Over an open file handle; without BS_CREATE the length is found by
 * seeking to the end and the file is rewound. */
BufferedStream *bsOpenHandle(HANDLE file, uint32_t flags);
/* Over a global-memory block (none: a new block of length bytes, 65535 when
 * 0); length 0 = the block's size. */
BufferedStream *bsOpenMemory(HGLOBAL block, uint32_t length, uint32_t flags);
/* Over a plain buffer (none: a new global block); null for data with length 0. */
BufferedStream *bsOpenBuffer(void *data, uint32_t length, uint32_t flags);
void     bsClose(BufferedStream *s);
uint32_t bsLength(BufferedStream *s);
/* Pointer to at least n bytes at the current position (position: when not
 * null, a pointer inside the current window that becomes the position);
 * null when fewer than n are available or on a file error (BS_END set). */
BYTE    *bsWindow(BufferedStream *s, const BYTE *position, uint32_t n);
LONG     bsRead(BufferedStream *s, void *dst, uint32_t n);      /* bytes delivered, -1 on a file error */
LONG     bsReadLarge(BufferedStream *s, void *dst, uint32_t n);
LONG     bsWrite(BufferedStream *s, const void *src, uint32_t n);
LONG     bsWriteLarge(BufferedStream *s, const void *src, uint32_t n);
LONG     bsSeek(BufferedStream *s, LONG offset, int origin);  /* new position, -1 on a file error */
LONG     bsTell(BufferedStream *s);
void     bsTruncate(BufferedStream *s);
uint32_t bsSetBase(BufferedStream *s, uint32_t base);          /* previous base */
uint32_t bsGetBase(BufferedStream *s);
void     bsSetChunk(BufferedStream *s, uint32_t size);
int      bsReadByte(BufferedStream *s);     /* 0xFF and BS_END at the end */
int      bsRead16(BufferedStream *s);       /* 255 and BS_END when fewer than 2 bytes */

/* ------------------------------------------------ buffered-file interface */

/* mode 0 read, 4 write (create or replace), 8 write appending; null when
 * the file cannot be opened. */
BufferedStream *bfOpenFile(const char *path, int mode);
/* A stream over a caller's memory (length bytes readable, capacity writable). */
BufferedStream *bfSetMem(void *data, uint32_t length, uint32_t capacity, uint32_t option);
/* A stream over a global block; option 64 with no handle makes a new block
 * that grows as it is written. */
BufferedStream *bfSetMemHandle(HGLOBAL block, uint32_t length, uint32_t capacity, uint32_t option);
void     bfSetCacheBlockSize(BufferedStream *s, uint32_t size);   /* 0 = cache off */
LONG     bfRead(BufferedStream *s, void *dst, LONG count);       /* bytes read; fewer = read error */
int      bfGetw(BufferedStream *s);           /* next little-endian word; -1 at the end */
int      bfGetc(BufferedStream *s);           /* next byte; -1 at the end */
LONG     bfWrite(BufferedStream *s, const void *src, LONG count); /* bytes written; fewer = write error */
LONG     bfSeek(BufferedStream *s, LONG offset, int origin);      /* 0 start, 1 current, 2 end */
LONG     bfTell(BufferedStream *s);
void     bfSetOrigin(BufferedStream *s, LONG position);
LONG     bfFileLength(BufferedStream *s);
/* Pointer to at least length bytes at the read position; bytes consumed
 * from the previous window (previous = the end of what the caller used in
 * it, or null) count as read.  Null when fewer bytes remain. */
BYTE    *bfBuffer(BufferedStream *s, const BYTE *previous, LONG length);
/* The global block of a memory stream (null for files / caller memory). */
HGLOBAL  bfMemHandle(BufferedStream *s);
void     bfDestroy(BufferedStream *s);

#ifdef __cplusplus
}
#endif

#endif /* FERRIX_BUFILE_H */
