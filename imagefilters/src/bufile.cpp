// Buffered-file calls of the image filters, over the buffered stream.
#include "bufile.h"
#include <string.h>

extern "C" {

BufferedStream *bfOpenFile(const char *path, int mode)
{
    if (mode == 4) return bsOpenName(path, BS_CREATE);
    if (mode == 8) {
        // Append: open (or create) for writing and start at the end.
        if (!path || !*path) return NULL;
        UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
        SetErrorMode(oldMode);
        if (h == INVALID_HANDLE_VALUE) return NULL;
        BufferedStream *s = bsOpenHandle(h, BS_CLOSEFILE);
        if (!s) { CloseHandle(h); return NULL; }
        s->path = strdup(path);
        bsSeek(s, 0, 2);
        s->flags &= ~BS_END;
        return s;
    }
    return bsOpenName(path, 0);
}

BufferedStream *bfSetMem(void *data, uint32_t length, uint32_t capacity, uint32_t option)
{
    (void)option;
    if (!data) return NULL;
    uint32_t size = capacity > length ? capacity : length;
    BufferedStream *s = bsOpenBuffer(data, size, 0);
    if (s) s->length = length;
    return s;
}

BufferedStream *bfSetMemHandle(HGLOBAL block, uint32_t length, uint32_t capacity, uint32_t option)
{
    if (!block) {
        if (!(option & 64)) return NULL;
        return bsOpenMemory(NULL, capacity, BS_CREATE | BS_GROW);
    }
    BufferedStream *s = bsOpenMemory(block, 0, (option & 64) ? BS_GROW : 0);
    if (s && length < s->capacity) s->length = length;
    return s;
}

void bfSetCacheBlockSize(BufferedStream *s, uint32_t size)
{
    if (s && size) bsSetChunk(s, size);
}

LONG bfRead(BufferedStream *s, void *dst, LONG count)
{
    if (!s || count < 0) return 0;
    LONG n = bsRead(s, dst, (uint32_t)count);
    return n < 0 ? 0 : n;
}

int bfGetw(BufferedStream *s)
{
    BYTE b[2];
    if (bfRead(s, b, 2) != 2) return -1;
    return b[0] | (b[1] << 8);
}

int bfGetc(BufferedStream *s)
{
    BYTE b;
    if (bfRead(s, &b, 1) != 1) return -1;
    return b;
}

LONG bfWrite(BufferedStream *s, const void *src, LONG count)
{
    if (!s || count < 0) return 0;
    LONG n = bsWrite(s, src, (uint32_t)count);
    return n < 0 ? 0 : n;
}

LONG bfSeek(BufferedStream *s, LONG offset, int origin) { return bsSeek(s, offset, origin); }
LONG bfTell(BufferedStream *s) { return bsTell(s); }

void bfSetOrigin(BufferedStream *s, LONG position)
{
    if (!s || position < 0) return;
    uint32_t abs = bsGetBase(s) + (uint32_t)position;
    bsSetBase(s, abs);
}

LONG bfFileLength(BufferedStream *s)
{
    if (!s) return 0;
    uint32_t len = bsLength(s);
    return len > s->base ? (LONG)(len - s->base) : 0;
}

BYTE *bfBuffer(BufferedStream *s, const BYTE *previous, LONG length)
{
    if (!s || length < 0) return NULL;
    return bsWindow(s, previous, (uint32_t)length);
}

HGLOBAL bfMemHandle(BufferedStream *s) { return s ? s->block : NULL; }

void bfDestroy(BufferedStream *s) { bsClose(s); }

}  // extern "C"
