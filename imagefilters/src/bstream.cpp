// Buffered stream: one byte stream over a file (by name or handle), a
// global-memory block or a plain buffer, with a read window so that readers
// can decode bytes in place.
#include "bufile.h"
#include <string.h>
#include <stdlib.h>
#include <algorithm>

namespace {

const uint32_t kMaxBuffer = 64000;
const uint32_t kGrowStep = 65535;

bool isFile(const BufferedStream *s) { return s->file != 0; }

// Absolute position of the next byte to read or write.
uint64_t absPos(const BufferedStream *s)
{
    if (isFile(s)) return s->filePos - s->winCount;
    return s->memPos;
}

// End of the readable data of a memory stream.
uint32_t memEnd(const BufferedStream *s) { return std::max(s->length, s->highest); }

bool fileSeekTo(BufferedStream *s, uint64_t pos)
{
    LARGE_INTEGER li, out;
    li.QuadPart = (LONGLONG)pos;
    if (!SetFilePointerEx(s->file, li, &out, FILE_BEGIN)) return false;
    s->filePos = pos;
    s->winPos = s->winCount = 0;
    return true;
}

// Makes the OS file position agree with the logical position (before a
// write, or a direct read that bypasses the window).
bool fileSync(BufferedStream *s)
{
    if (s->winCount == 0) return true;
    return fileSeekTo(s, absPos(s));
}

bool ensureBuffer(BufferedStream *s, uint32_t want)
{
    if (s->buffer && s->bufSize >= want) return true;
    uint32_t size = std::max(want, s->bufSize);
    BYTE *b = (BYTE *)realloc(s->buffer, size);
    if (!b) return false;
    s->buffer = b;
    s->bufSize = size;
    if (s->chunk == 0 || s->chunk > size) s->chunk = size;
    return true;
}

// Moves the unread bytes to the buffer's start and reads the rest of the
// buffer.  Returns false on a file error.
bool refill(BufferedStream *s)
{
    if (!s->buffer || s->bufSize == 0) return true;
    if (s->winCount && s->winPos) memmove(s->buffer, s->buffer + s->winPos, s->winCount);
    s->winPos = 0;
    DWORD got = 0;
    DWORD want = s->bufSize - s->winCount;
    if (want == 0) return true;
    if (!ReadFile(s->file, s->buffer + s->winCount, want, &got, NULL)) return false;
    s->winCount += got;
    s->filePos += got;
    if (got < want) s->flags |= BS_END;
    return true;
}

BufferedStream *newStream(uint32_t flags)
{
    BufferedStream *s = (BufferedStream *)calloc(1, sizeof(BufferedStream));
    if (s) s->flags = flags & ~BS_END;
    return s;
}

bool badName(const char *name)
{
    if (!name || !*name) return true;
    if (strpbrk(name, "*?;")) return true;
    const char *file = name;
    for (const char *p = name; *p; p++)
        if (*p == '\\' || *p == '/' || *p == ':') file = p + 1;
    const char *dot = strrchr(file, '.');
    size_t len = dot ? (size_t)(dot - file) : strlen(file);
    if (len >= 128) return true;
    if (len == 3 && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, file, 3, "con", 3) == CSTR_EQUAL) return true;
    return false;
}

}  // namespace

extern "C" {

BufferedStream *bsOpenHandle(HANDLE file, uint32_t flags)
{
    if (!file || file == INVALID_HANDLE_VALUE) return NULL;
    BufferedStream *s = newStream(flags);
    if (!s) return NULL;
    s->file = file;
    if (!(flags & BS_CREATE)) {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(file, &size) || size.QuadPart > 0x7FFFFFFF) { free(s); return NULL; }
        s->length = (uint32_t)size.QuadPart;
        LARGE_INTEGER zero; zero.QuadPart = 0;
        SetFilePointerEx(file, zero, NULL, FILE_BEGIN);
    }
    if (s->length) {
        if (!ensureBuffer(s, std::min(s->length, kMaxBuffer))) { free(s); return NULL; }
    }
    s->chunk = s->bufSize;
    return s;
}

BufferedStream *bsOpenName(const char *name, uint32_t flags)
{
    if (badName(name)) return NULL;
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HANDLE h;
    if (flags & BS_CREATE)
        h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, NULL);
    else
        h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    SetErrorMode(oldMode);
    if (h == INVALID_HANDLE_VALUE) return NULL;
    BufferedStream *s = bsOpenHandle(h, flags | BS_CLOSEFILE);
    if (!s) { CloseHandle(h); return NULL; }
    s->path = strdup(name);
    return s;
}

BufferedStream *bsOpenMemory(HGLOBAL block, uint32_t length, uint32_t flags)
{
    BufferedStream *s = newStream(flags);
    if (!s) return NULL;
    if (!block) {
        SIZE_T size = length ? length : kGrowStep;
        block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
        if (!block) { free(s); return NULL; }
        s->ownsBlock = 1;
        s->capacity = (uint32_t)size;
        s->length = (flags & BS_CREATE) ? 0 : length;
    } else {
        SIZE_T size = GlobalSize(block);
        if (size > 0xFFFFFFFFu) size = 0xFFFFFFFFu;
        if (length == 0 || length > size) length = (uint32_t)size;
        s->capacity = (uint32_t)size;
        s->length = (flags & BS_CREATE) ? 0 : length;
    }
    s->data = (BYTE *)GlobalLock(block);
    if (!s->data) {
        if (s->ownsBlock) GlobalFree(block);
        free(s);
        return NULL;
    }
    s->block = block;
    s->locked = 1;
    return s;
}

BufferedStream *bsOpenBuffer(void *data, uint32_t length, uint32_t flags)
{
    if (!data) return bsOpenMemory(NULL, length, flags | BS_FREEMEM);
    if (length == 0) return NULL;
    BufferedStream *s = newStream(flags);
    if (!s) return NULL;
    s->data = (BYTE *)data;
    s->length = (flags & BS_CREATE) ? 0 : length;
    s->capacity = length;
    return s;
}

void bsClose(BufferedStream *s)
{
    if (!s) return;
    if (s->file && (s->flags & BS_CLOSEFILE)) CloseHandle(s->file);
    if (s->path && (s->flags & BS_DELETE)) DeleteFileA(s->path);
    free(s->path);
    free(s->buffer);
    if (s->block) {
        if (s->locked) GlobalUnlock(s->block);
        if (s->flags & BS_FREEMEM) {
            GlobalFree(s->block);
        } else if (s->flags & BS_GROW) {
            HGLOBAL h = GlobalReAlloc(s->block, std::max<uint32_t>(memEnd(s), 1), GMEM_MOVEABLE);
            (void)h;   // a block that cannot shrink stays as it is
        }
    }
    free(s);
}

uint32_t bsLength(BufferedStream *s)
{
    if (!s) return 0;
    if (s->highest) return std::max(s->highest, isFile(s) ? s->length : 0u);
    return s->length;
}

BYTE *bsWindow(BufferedStream *s, const BYTE *position, uint32_t n)
{
    if (!s) return NULL;
    if (!isFile(s)) {
        if (position && position >= s->data && position <= s->data + memEnd(s))
            s->memPos = (uint32_t)(position - s->data);
        uint32_t end = memEnd(s);
        uint32_t avail = s->memPos < end ? end - s->memPos : 0;
        if (avail < n) { s->flags |= BS_END; return NULL; }
        return s->data + s->memPos;
    }
    if (position && s->buffer && position >= s->buffer + s->winPos &&
        position <= s->buffer + s->winPos + s->winCount) {
        uint32_t used = (uint32_t)(position - (s->buffer + s->winPos));
        s->winPos += used;
        s->winCount -= used;
    }
    if (s->winCount >= n) return s->buffer + s->winPos;
    if (!ensureBuffer(s, std::max(n, std::min(std::max(s->length, 1u), kMaxBuffer)))) return NULL;
    if (!refill(s)) return NULL;
    if (s->winCount < n) { s->flags |= BS_END; return NULL; }
    return s->buffer + s->winPos;
}

static LONG readImpl(BufferedStream *s, void *dst, uint32_t n, bool large)
{
    if (!s || !dst) return -1;
    BYTE *out = (BYTE *)dst;
    if (!isFile(s)) {
        uint32_t end = memEnd(s);
        uint32_t avail = s->memPos < end ? end - s->memPos : 0;
        uint32_t take = std::min(n, avail);
        memcpy(out, s->data + s->memPos, take);
        s->memPos += take;
        if (take < n) s->flags |= BS_END;
        return (LONG)take;
    }
    uint32_t done = std::min(n, s->winCount);
    if (done && s->buffer) memcpy(out, s->buffer + s->winPos, done);
    s->winPos += done;
    s->winCount -= done;
    uint32_t rest = n - done;
    if (rest == 0) return (LONG)done;
    uint32_t chunk = s->chunk ? s->chunk : std::max(s->bufSize, 512u);
    if (large || rest >= chunk || !s->buffer) {
        uint32_t direct = large || !s->buffer ? rest : rest - rest % chunk;
        DWORD got = 0;
        if (!ReadFile(s->file, out + done, direct, &got, NULL)) return -1;
        s->filePos += got;
        done += got;
        rest -= got;
        if (got < direct) { s->flags |= BS_END; return (LONG)done; }
    }
    if (rest) {
        s->winPos = 0;
        DWORD got = 0;
        DWORD want = std::min(chunk, s->bufSize);
        if (!ReadFile(s->file, s->buffer, want, &got, NULL)) return -1;
        s->filePos += got;
        s->winCount = got;
        if (got < want) s->flags |= BS_END;
        uint32_t take = std::min(rest, (uint32_t)got);
        memcpy(out + done, s->buffer, take);
        s->winPos = take;
        s->winCount -= take;
        done += take;
        if (take < rest) s->flags |= BS_END;
    }
    return (LONG)done;
}

LONG bsRead(BufferedStream *s, void *dst, uint32_t n) { return readImpl(s, dst, n, false); }
LONG bsReadLarge(BufferedStream *s, void *dst, uint32_t n) { return readImpl(s, dst, n, true); }

LONG bsWrite(BufferedStream *s, const void *src, uint32_t n)
{
    if (!s || (!src && n)) return -1;
    if (isFile(s)) {
        if (!fileSync(s)) return -1;
        DWORD put = 0;
        if (n && !WriteFile(s->file, src, n, &put, NULL)) return -1;
        s->filePos += put;
        if (s->filePos > s->length) s->length = (uint32_t)std::min<uint64_t>(s->filePos, 0xFFFFFFFFu);
        if (s->filePos > s->highest) s->highest = (uint32_t)std::min<uint64_t>(s->filePos, 0xFFFFFFFFu);
        return (LONG)put;
    }
    uint64_t want = (uint64_t)s->memPos + n;
    if (want > s->capacity && s->block && (s->flags & BS_GROW) && want <= 0x7FFFFFFF) {
        uint32_t newCap = (uint32_t)std::max<uint64_t>(want, (uint64_t)s->capacity + std::max(n, kGrowStep));
        if (s->locked) GlobalUnlock(s->block);
        HGLOBAL h = GlobalReAlloc(s->block, newCap, GMEM_MOVEABLE | GMEM_ZEROINIT);
        if (h) { s->block = h; s->capacity = newCap; }
        s->data = (BYTE *)GlobalLock(s->block);
        if (!s->data) { s->locked = 0; return -1; }
    }
    uint32_t room = s->memPos < s->capacity ? s->capacity - s->memPos : 0;
    uint32_t put = std::min(n, room);
    if (put) memcpy(s->data + s->memPos, src, put);
    s->memPos += put;
    if (s->memPos > s->highest) s->highest = s->memPos;
    if (put < n) s->flags |= BS_END;
    return (LONG)put;
}

LONG bsWriteLarge(BufferedStream *s, const void *src, uint32_t n) { return bsWrite(s, src, n); }

LONG bsSeek(BufferedStream *s, LONG offset, int origin)
{
    if (!s) return -1;
    int64_t cur = (int64_t)absPos(s) - s->base;
    int64_t end = (int64_t)(isFile(s) ? std::max(s->length, s->highest) : memEnd(s)) - s->base;
    int64_t target = origin == 1 ? cur + offset : origin == 2 ? end + offset : (int64_t)offset;
    if (target < 0) target = 0;
    uint64_t abs = (uint64_t)target + s->base;
    if (isFile(s)) {
        uint64_t bufStart = s->filePos - s->winCount - s->winPos;
        if (s->buffer && abs >= bufStart && abs <= s->filePos) {
            uint32_t inBuf = (uint32_t)(abs - bufStart);
            uint32_t filled = s->winPos + s->winCount;
            s->winPos = inBuf;
            s->winCount = filled - inBuf;
        } else if (!fileSeekTo(s, abs)) {
            return -1;
        }
    } else {
        s->memPos = (uint32_t)std::min<uint64_t>(abs, 0xFFFFFFFFu);
    }
    if (target >= end) s->flags |= BS_END; else s->flags &= ~BS_END;
    return (LONG)target;
}

LONG bsTell(BufferedStream *s)
{
    if (!s) return -1;
    return (LONG)((int64_t)absPos(s) - s->base);
}

void bsTruncate(BufferedStream *s)
{
    if (!s) return;
    if (isFile(s)) {
        uint64_t pos = absPos(s);
        if (fileSeekTo(s, pos) && SetEndOfFile(s->file)) {
            s->length = (uint32_t)pos;
            if (s->highest > pos) s->highest = (uint32_t)pos;
        }
    } else {
        if (s->highest > s->memPos) s->highest = s->memPos;
        if (s->length > s->memPos) s->length = s->memPos;
    }
}

uint32_t bsSetBase(BufferedStream *s, uint32_t base)
{
    if (!s) return 0;
    uint32_t old = s->base;
    s->base = base;
    return old;
}

uint32_t bsGetBase(BufferedStream *s) { return s ? s->base : 0; }

void bsSetChunk(BufferedStream *s, uint32_t size)
{
    if (!s) return;
    uint32_t top = std::min(kMaxBuffer, s->bufSize);
    if (top < 512) top = 512;
    s->chunk = std::min(std::max(size, 512u), top);
}

int bsReadByte(BufferedStream *s)
{
    BYTE b;
    if (bsRead(s, &b, 1) != 1) { if (s) s->flags |= BS_END; return 0xFF; }
    return b;
}

int bsRead16(BufferedStream *s)
{
    BYTE b[2];
    if (bsRead(s, b, 2) != 2) { if (s) s->flags |= BS_END; return 255; }
    return b[0] | (b[1] << 8);
}

}  // extern "C"
