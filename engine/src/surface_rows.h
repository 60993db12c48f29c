/*
 * Row access to an engine surface for the frame clock: the first byte and the
 * pitch of the locked pixels (32-bit ARGB words, blue byte first, rows top
 * down), so a transition routine or a row copy runs on them directly.
 *
 * A lock waits at most timeoutMs (INFINITE allowed) and fails with the
 * surface's HRESULT when the time runs out.  Read locks of one surface may be
 * held together; a read-write lock excludes every other lock.  Any thread.
 */
#ifndef CORVENGINE_SURFACE_ROWS_H
#define CORVENGINE_SURFACE_ROWS_H

#include <windows.h>
#include <cstddef>
#include <cstdint>
#include "surface_access.h"

struct EngineRows {
    uint8_t *first = nullptr;
    ptrdiff_t pitch = 0;
    int width = 0, height = 0;
    IUnknown *token = nullptr;   /* the lock; null when not locked */
};

/* E_POINTER for a null surface; the lock's error when it fails. */
HRESULT EngineLockRows(EngineSurface *s, DWORD timeoutMs, BOOL readWrite, EngineRows *rows);
/* Release a lock taken by EngineLockRows (a no-op for an empty record). */
void EngineUnlockRows(EngineRows *rows);

/* One surface row (32-bit words: blue, green, red, unused) into w blue, green,
 * red byte triples.  With SSSE3, four pixels per shuffle: each 16-byte store
 * carries 12 bytes and 4 that the next store overwrites, so dst needs 4
 * bytes beyond the row's last triple. */
void EngineRowTo24(uint8_t *dst, const uint32_t *src, int w);

#endif
