// Frame records, the memory stream and the image and host transition lists.
#include "cmdlist.h"
#include <string.h>
#include <math.h>

ListBuilder::~ListBuilder()
{
    if (data) M32_free(data);
}

void ListBuilder::word(DWORD w)
{
    if (failed) return;
    if (used + 4 > capacity) {
        BYTE *grown = (BYTE *)M32_realloc(data, capacity + 0x10000);
        if (!grown) {
            failed = true;
            return;
        }
        data = grown;
        capacity += 0x10000;
    }
    memcpy(data + used, &w, 4);
    used += 4;
}

void ListBuilder::begin_frame()
{
    frameStart = used;
    word(0);
    word(0);
}

void ListBuilder::sub(DWORD tag, const DWORD *payload, DWORD count)
{
    word(8 + 4 * count);
    word(tag);
    for (DWORD i = 0; i < count; ++i) word(payload[i]);
}

void ListBuilder::end_frame()
{
    word(8);
    word(0);
    if (failed) return;
    DWORD size = used - frameStart, check = ~size;
    memcpy(data + frameStart, &size, 4);
    memcpy(data + frameStart + 4, &check, 4);
}

BYTE *ListBuilder::finish(DWORD *size)
{
    const float zero = 0.0f;     // the terminator is written as a float 0.0
    DWORD w;
    memcpy(&w, &zero, 4);
    word(w);
    if (failed) return nullptr;
    BYTE *list = data;
    data = nullptr;
    if (size) *size = used;
    return list;
}

DWORD fix24(double v)
{
    return (DWORD)(LONG)floor(v * FIX24_ONE + 0.5);
}

// ---- Memory stream --------------------------------------------------------

static BOOL ms_init(MemoryStream *s, DWORD flags)
{
    memset(s, 0, sizeof *s);
    s->flags = flags & ~MS_FULL;
    s->base = -1;
    return TRUE;
}

BOOL ms_open_buffer(MemoryStream *s, void *buffer, DWORD size, DWORD flags)
{
    if (!s) return FALSE;
    ms_init(s, flags & ~MS_GROW);
    if (!buffer || IsBadReadPtr(buffer, size)) return FALSE;
    s->start = (BYTE *)buffer;
    s->left = s->capacity = size;
    return TRUE;
}

BOOL ms_open_global(MemoryStream *s, DWORD size, DWORD flags)
{
    if (!s) return FALSE;
    ms_init(s, flags);
    if (!size) size = 0xFFFF;
    s->handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE, size);
    if (!s->handle) return FALSE;
    s->start = (BYTE *)GlobalLock(s->handle);
    if (!s->start) {
        GlobalFree(s->handle);
        s->handle = nullptr;
        return FALSE;
    }
    s->left = s->capacity = size;
    return TRUE;
}

DWORD ms_write(MemoryStream *s, const void *data, DWORD bytes)
{
    if (!s || !s->start) return 0;
    if (bytes > s->left && (s->flags & MS_GROW) && s->handle) {
        DWORD more = bytes > 0xFFFF ? bytes : 0xFFFF;
        GlobalUnlock(s->handle);
        HGLOBAL grown = GlobalReAlloc(s->handle, s->capacity + more, GMEM_MOVEABLE | GMEM_ZEROINIT);
        if (grown) {
            s->handle = grown;
            s->capacity += more;
            s->left += more;
        }
        s->start = (BYTE *)GlobalLock(s->handle);
    }
    DWORD n = bytes;
    if (n > s->left) {
        n = s->left;
        s->flags |= MS_FULL;
    }
    memcpy(s->start + s->position, data, n);
    s->position += n;
    s->left -= n;
    if (s->position > s->highWater) s->highWater = s->position;
    return n;
}

DWORD ms_read(MemoryStream *s, void *data, DWORD bytes)
{
    if (!s || !s->start) return 0;
    DWORD n = bytes < s->left ? bytes : s->left;
    memcpy(data, s->start + s->position, n);
    s->position += n;
    s->left -= n;
    return n;
}

LONG ms_seek(MemoryStream *s, LONG offset, int origin)
{
    if (!s) return -1;
    LONG from = origin == 0 ? (s->base < 0 ? 0 : s->base) : origin == 1 ? (LONG)s->position : (LONG)s->highWater;
    LONG to = from + offset;
    if (to < 0) to = 0;
    if ((DWORD)to > s->capacity) to = (LONG)s->capacity;
    s->position = (DWORD)to;
    s->left = s->capacity - s->position;
    if (s->position >= s->capacity) s->flags |= MS_FULL;
    else s->flags &= ~MS_FULL;
    return to;
}

void ms_begin_chunk(MemoryStream *s, DWORD kind)
{
    if (!s) return;
    DWORD head[2] = { 0, kind };
    ms_write(s, head, sizeof head);
    if (s->depth == s->stackSize) {
        LONG *grown = (LONG *)HeapReAlloc(GetProcessHeap(), 0, s->stack, (s->stackSize + 16) * sizeof(LONG));
        if (!s->stack) grown = (LONG *)HeapAlloc(GetProcessHeap(), 0, 16 * sizeof(LONG));
        if (!grown) return;
        s->stack = grown;
        s->stackSize += 16;
    }
    s->stack[s->depth++] = s->base;
    s->base = (LONG)s->position;
}

void ms_end_chunk(MemoryStream *s, DWORD tag)
{
    if (!s || !s->depth || s->base < 8) return;
    DWORD end = s->position;
    DWORD d = end - (DWORD)s->base;
    DWORD header = (DWORD)s->base - 8;
    s->base = s->stack[--s->depth];
    DWORD kind;
    memcpy(&kind, s->start + header + 4, 4);
    s->position = header;
    s->left = s->capacity - header;
    if (kind == 1) {
        DWORD words[2] = { d + 16, ~(d + 16) };
        ms_write(s, words, sizeof words);
        s->position = end;
        s->left = s->capacity - end;
        DWORD trailer[2] = { 8, tag ? 1u : 0u };
        ms_write(s, trailer, sizeof trailer);
    } else {
        DWORD words[2] = { d + 8, tag };
        ms_write(s, words, sizeof words);
        s->position = end;
        s->left = s->capacity - end;
    }
}

DWORD ms_close(MemoryStream *s)
{
    if (!s) return 0;
    if (s->flags & (MS_TERMINATE | MS_TERMINATE2)) {
        DWORD zero[2] = { 0, 0 };
        ms_seek(s, 0, 2);
        ms_write(s, zero, sizeof zero);
    }
    DWORD result = s->highWater;
    if (s->stack) HeapFree(GetProcessHeap(), 0, s->stack);
    s->stack = nullptr;
    if (s->handle) {
        GlobalUnlock(s->handle);
        GlobalFree(s->handle);
        s->handle = nullptr;
    }
    s->start = nullptr;
    return result;
}

// ---- Image take -------------------------------------------------------------

BYTE *BuildImageList(Layer *colour, DWORD code, Layer *key, DWORD duration, DWORD *size)
{
    if (size) *size = 0;
    const DWORD colourOnly = (code >> 8) & 0xFF;
    LayerAccess access;
    memset(&access, 0, sizeof access);
    if (!colour || !BeginLayerAccess(&access, colour, colourOnly ? nullptr : key)) return nullptr;
    const LONG w = access.width, h = access.height;
    const bool withKey = !colourOnly && access.secondPtr;
    const ULONGLONG plane = (ULONGLONG)w * h * 4;
    const ULONGLONG total = plane + 44 + (withKey ? plane : 0);
    BYTE *block = total < 0x7FFFFFFF ? (BYTE *)M32_alloc((DWORD)total) : nullptr;
    MemoryStream s;
    if (!block || !ms_open_buffer(&s, block, (DWORD)total, MS_TERMINATE)) {
        if (block) M32_free(block);
        EndLayerAccess(&access);
        return nullptr;
    }
    ms_begin_chunk(&s, 1);
    ms_begin_chunk(&s, 2);
    DWORD head[3] = { 0, 2 * duration, colourOnly ? 1u : 0u };
    ms_write(&s, head, sizeof head);
    for (LONG y = 0; y < h; ++y) ms_write(&s, access.firstPtr + (LONG_PTR)y * access.firstPitch, (DWORD)w * 4);
    if (withKey)
        for (LONG y = 0; y < h; ++y) ms_write(&s, access.secondPtr + (LONG_PTR)y * access.secondPitch, (DWORD)w * 4);
    ms_end_chunk(&s, withKey ? CL_TAG_IMAGE_KEY : CL_TAG_IMAGE);
    ms_end_chunk(&s, 0);
    ms_close(&s);
    EndLayerAccess(&access);
    DWORD first;
    memcpy(&first, block, 4);
    if (size) *size = first + 8;
    return block;
}

// ---- Host transition list ---------------------------------------------------

LONG host_pattern(DWORD wipe)
{
    static const struct { DWORD code; LONG pattern; } map[] = {
        { 1, 4 },   { 2, 1 },   { 3, 3 },   { 4, 2 },   { 5, 24 },  { 6, 13 },  { 8, 17 },
        { 9, 6 },   { 10, 8 },  { 11, 7 },  { 12, 5 },  { 13, 18 }, { 17, 11 }, { 18, 12 },
        { 19, 10 }, { 20, 9 },  { 29, 25 }, { 30, 14 }, { 0x40000, 0 }, { 0x50000, 0 },
    };
    for (const auto &m : map)
        if (m.code == wipe) return m.pattern;
    return -1;
}

BYTE *HostTransitionList(DWORD code, DWORD duration, DWORD *size)
{
    const DWORD second = (code >> 8) & 0xFF;
    if (((code >> 16) & 0xFF) < 0x0A && duration < 2) {
        code = (code & ~0xFFu) | 0xFF;
        duration = 2;
    }
    if (duration > 600) duration = 600;
    ListBuilder b;
    const DWORD wipe = code & 0xFF00FF;
    const LONG pattern = host_pattern(wipe);
    if (pattern >= 0) {
        for (DWORD i = 0; i <= duration; ++i) {
            DWORD p[3] = { (DWORD)pattern, fix24((double)i / duration), second };
            b.begin_frame();
            b.sub(CL_TAG_PATTERN, p, 3);
            b.end_frame();
        }
        b.begin_frame();
        b.sub(CL_TAG_CLOSE, &second, 1);
        b.end_frame();
    } else if (wipe >= 0xA0000 && wipe <= 0xA0003) {
        DWORD v = code & 0xFF;
        b.begin_frame();
        b.sub(CL_TAG_CLASS_A, &v, 1);
        b.end_frame();
    } else {
        DWORD p[3] = { 1, FIX24_ONE, second };
        b.begin_frame();
        b.sub(CL_TAG_PATTERN, p, 3);
        b.end_frame();
        b.begin_frame();
        b.sub(CL_TAG_CLOSE, &second, 1);
        b.end_frame();
    }
    return b.finish(size);
}
