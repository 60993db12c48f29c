/* Internal: a copy of a source window for operations whose destination
 * shares memory with their source.  A neighbourhood filter, or a per-pixel
 * conversion between two shifted windows of one layer, would otherwise read
 * pixels it has already written. */
#ifndef PIXMOOR_SOURCE_SNAPSHOT_H
#define PIXMOOR_SOURCE_SNAPSHOT_H

#include <windows.h>

#include <cstddef>
#include <cstring>

#include "pixmoor.h"

/* True when two w x h windows of 32-bit pixels (rows pitch bytes apart,
 * pitches may be negative) share any byte. */
static inline bool pm_windows_overlap(const BYTE *a, LONG pa, const BYTE *b, LONG pb, LONG w, LONG h)
{
    if (w <= 0 || h <= 0) return false;
    const BYTE *alast = a + (ptrdiff_t)(h - 1) * pa, *blast = b + (ptrdiff_t)(h - 1) * pb;
    const BYTE *alo = pa >= 0 ? a : alast, *ahi = (pa >= 0 ? alast : a) + (size_t)w * 4;
    const BYTE *blo = pb >= 0 ? b : blast, *bhi = (pb >= 0 ? blast : b) + (size_t)w * 4;
    return alo < bhi && blo < ahi;
}

/* Takes a copy of the source window when it overlaps the destination.
 * After construction src/srcPitch address the pixels to read; ok is false
 * when a needed copy could not be allocated (the caller then draws
 * nothing). */
struct SourceSnapshot {
    const BYTE *src;
    LONG srcPitch;
    bool ok = true;
    BYTE *copy = nullptr;

    SourceSnapshot(const BYTE *dst, LONG dstPitch, const BYTE *source, LONG sourcePitch, LONG w, LONG h,
                   bool identicalIsSafe)
        : src(source), srcPitch(sourcePitch)
    {
        if (!pm_windows_overlap(dst, dstPitch, source, sourcePitch, w, h)) return;
        if (identicalIsSafe && dst == source && dstPitch == sourcePitch) return;
        const size_t rowBytes = (size_t)w * 4;
        if (rowBytes * (size_t)h > 0x7FFFFFFF || !(copy = (BYTE *)M32_alloc((DWORD)(rowBytes * (size_t)h)))) {
            ok = false;
            return;
        }
        for (LONG y = 0; y < h; y++) memcpy(copy + (size_t)y * rowBytes, source + (ptrdiff_t)y * sourcePitch, rowBytes);
        src = copy;
        srcPitch = (LONG)rowBytes;
    }
    ~SourceSnapshot()
    {
        if (copy) M32_free(copy);
    }
    SourceSnapshot(const SourceSnapshot &) = delete;
    SourceSnapshot &operator=(const SourceSnapshot &) = delete;
};

#endif
