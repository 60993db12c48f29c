// Buffered files over memory: an opened file is read whole into memory;
// a memory file works on the caller's block or on memory of its own.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "stolid.h"

namespace {

constexpr int MAX_ORIGINS = 32;

struct File {
    BfFile pub;             // first: callers read the window in line
    uint8_t *base;
    uint32_t size;          // bytes of data
    uint32_t capacity;      // bytes of the block
    bool ownsBlock;
    bool fixedBlock;        // the caller's block: never grows
    uint32_t origins[MAX_ORIGINS];
    int depth;
};

File *Of(BfFile *f)
{
    return reinterpret_cast<File *>(f);
}

uint32_t Pos(const File *f)
{
    return uint32_t(f->pub.readPtr - f->base);
}

uint32_t Origin(const File *f)
{
    return f->depth ? f->origins[f->depth - 1] : 0;
}

// The read window always runs from the position to the end of the data.
void SetPos(File *f, uint32_t pos)
{
    f->pub.readPtr = f->base + pos;
    f->pub.left = pos < f->size ? f->size - pos : 0;
}

File *Make()
{
    File *f = static_cast<File *>(calloc(1, sizeof(File)));
    return f;
}

bool Grow(File *f, uint64_t need)
{
    if (need <= f->capacity)
        return true;
    if (f->fixedBlock || need > 0x7FFFFFFF)
        return false;
    uint64_t cap = f->capacity ? f->capacity : 256;
    while (cap < need)
        cap *= 2;
    if (cap > 0x7FFFFFFF)
        cap = 0x7FFFFFFF;
    uint32_t pos = Pos(f);
    uint8_t *b = static_cast<uint8_t *>(realloc(f->ownsBlock ? f->base : nullptr, size_t(cap)));
    if (!b)
        return false;
    f->base = b;
    f->capacity = uint32_t(cap);
    f->ownsBlock = true;
    SetPos(f, pos);
    return true;
}

} // namespace

extern "C" BfFile *__cdecl bfOpenFile(const char *name)
{
    if (!name)
        return nullptr;
    HANDLE h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return nullptr;
    File *f = nullptr;
    LARGE_INTEGER size;
    if (GetFileSizeEx(h, &size) && size.QuadPart < 0x7FFFFFFF && (f = Make())) {
        uint32_t n = uint32_t(size.QuadPart);
        f->base = static_cast<uint8_t *>(malloc(n ? n : 1));
        DWORD got = 0;
        if (f->base && (n == 0 || (ReadFile(h, f->base, n, &got, nullptr) && got == n))) {
            f->ownsBlock = true;
            f->size = f->capacity = n;
            SetPos(f, 0);
        } else {
            free(f->base);
            free(f);
            f = nullptr;
        }
    }
    CloseHandle(h);
    return f ? &f->pub : nullptr;
}

extern "C" BfFile *__cdecl bfSetMem(void *buffer, int size, int, int mode)
{
    if (size < 0)
        return nullptr;
    File *f = Make();
    if (!f)
        return nullptr;
    f->pub.flags = uint32_t(mode) & BF_MODE_MASK;
    if (buffer) {
        f->base = static_cast<uint8_t *>(buffer);
        f->capacity = uint32_t(size);
        f->fixedBlock = true;
        // A block handed over for reading holds its data already.
        f->size = (f->pub.flags & BF_WRITE) ? 0 : uint32_t(size);
    } else if (!Grow(f, uint64_t(size ? size : 256))) {
        free(f);
        return nullptr;
    }
    SetPos(f, 0);
    return &f->pub;
}

extern "C" int __cdecl bfWrite(BfFile *file, const void *data, int length)
{
    if (!file || !data || length <= 0)
        return 0;
    File *f = Of(file);
    uint32_t pos = Pos(f);
    uint64_t end = uint64_t(pos) + uint32_t(length);
    if (!Grow(f, end))
        end = f->capacity;   // a full block takes what fits
    uint32_t n = uint32_t(end - pos);
    memcpy(f->base + pos, data, n);
    if (pos + n > f->size)
        f->size = pos + n;
    SetPos(f, pos + n);
    return int(n);
}

extern "C" int __cdecl bfRead(BfFile *file, void *buffer, int length)
{
    if (!file || !buffer || length <= 0)
        return 0;
    File *f = Of(file);
    uint32_t pos = Pos(f);
    uint32_t n = pos < f->size ? f->size - pos : 0;
    if (n > uint32_t(length))
        n = uint32_t(length);
    memcpy(buffer, f->base + pos, n);
    SetPos(f, pos + n);
    if (n < uint32_t(length))
        f->pub.flags |= BF_EOF;
    return int(n);
}

extern "C" int __cdecl bfSeek(BfFile *file, int offset, int origin)
{
    if (!file)
        return 0;
    File *f = Of(file);
    int64_t o = Origin(f);
    int64_t at = origin == 0 ? o + offset : origin == 1 ? int64_t(Pos(f)) + offset : int64_t(f->size) + offset;
    bool writing = (f->pub.flags & BF_WRITE) != 0;
    if (at < o)
        at = o;
    if (writing && at > f->capacity)
        Grow(f, uint64_t(at));   // a fixed or failed block keeps its size
    int64_t limit = writing ? f->capacity : f->size;
    if (at > limit)
        at = limit;
    if (uint32_t(at) > f->size && (f->pub.flags & BF_WRITE)) {
        memset(f->base + f->size, 0, size_t(uint32_t(at) - f->size));
        f->size = uint32_t(at);
    }
    f->pub.flags &= ~BF_EOF;
    SetPos(f, uint32_t(at));
    return int(at - o);
}

extern "C" int __cdecl bfPushOrigin(BfFile *file, int position)
{
    if (!file)
        return 0;
    File *f = Of(file);
    if (f->depth == MAX_ORIGINS)
        return 0;
    int64_t at = int64_t(Origin(f)) + position;
    if (at < 0)
        at = 0;
    f->origins[f->depth++] = uint32_t(at);
    return 1;
}

extern "C" int __cdecl bfPopOrigin(BfFile *file)
{
    if (!file || Of(file)->depth == 0)
        return 0;
    --Of(file)->depth;
    return 1;
}

extern "C" void __cdecl bfDestroy(BfFile *file)
{
    if (!file)
        return;
    File *f = Of(file);
    if (f->ownsBlock)
        free(f->base);
    free(f);
}

extern "C" int __cdecl _bfGetc(BfFile *file)
{
    if (!file)
        return -1;
    File *f = Of(file);
    uint32_t pos = Pos(f);
    if (pos >= f->size) {
        f->pub.flags |= BF_EOF;
        f->pub.left = 0;
        return -1;
    }
    int c = f->base[pos];
    SetPos(f, pos + 1);
    return c;
}
