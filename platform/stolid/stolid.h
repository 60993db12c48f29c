// The buffered-file library the effects library binds as "stolid.dll".
// A buffered file is an open file or a block of memory with a position, a
// stack of origins that positions are relative to, and an in-line read
// window at the front of its record that callers may read directly:
// while `left` is not 0, the next byte is *readPtr (take it, advance the
// pointer, decrease `left`); when it is 0, _bfGetc supplies the next byte
// and refills the window, or sets the end-of-file flag and answers -1.
#pragma once

#include <cstdint>

struct BfFile {
    uint32_t flags;       // bit 0 end of file; bits 2-3 open mode (4 = writing)
    uint8_t *readPtr;
    uint32_t left;
};

constexpr uint32_t BF_EOF = 0x1;
constexpr uint32_t BF_MODE_MASK = 0xC;
constexpr uint32_t BF_WRITE = 0x4;

extern "C" {
// Opens a file (a Windows path) for buffered reading; null when it cannot be read.
BfFile *__cdecl bfOpenFile(const char *name);
// A buffered file over the caller's block of `size` bytes (mode 4: for
// writing; data written beyond the block is cut).  With no block, the
// library keeps its own memory, growing as it is written.
BfFile *__cdecl bfSetMem(void *buffer, int size, int reserved, int mode);
// Bytes written at the position (fewer when a caller's block is full).
int __cdecl bfWrite(BfFile *file, const void *data, int length);
// Bytes read at the position.
int __cdecl bfRead(BfFile *file, void *buffer, int length);
// Origin 0 start, 1 current position, 2 end; the new position (relative to
// the innermost origin), kept within the data (or the block, when writing).
int __cdecl bfSeek(BfFile *file, int offset, int origin);
// Makes `position` (relative to the current origin) the new origin; 0 when
// the stack of 32 origins is full.
int __cdecl bfPushOrigin(BfFile *file, int position);
// Returns to the previous origin; 0 when there is none.
int __cdecl bfPopOrigin(BfFile *file);
void __cdecl bfDestroy(BfFile *file);
int __cdecl _bfGetc(BfFile *file);
}
