/*
 * quib.dll: the movie-thumbnail library the extra image filters load by the
 * name "quib.dll".  A movie file of this kind ("VEXA") holds named layers,
 * each stored as a container of the graphics core's block-transform codec
 * (coded tiles and alpha spans).
 *
 * File layout (little-endian):
 *   0   "QUIB"
 *   4   u32 version (1)
 *   8   u32 number of layers N (at most 256)
 *   12  N directory entries of 48 bytes: char name[32] (NUL-padded),
 *       u32 width, u32 height, u32 offset of the container, u32 its length
 *   then the containers.
 */
#ifndef QUIB_H
#define QUIB_H

#include <windows.h>
#include <stdint.h>

#include "pixmoor.h"

#ifdef __cplusplus
extern "C" {
#endif

#define QUIB_MAGIC 0x42495551u  /* "QUIB" */
#define QUIB_MAX_LAYERS 256
#define QUIB_MAX_SIDE 4096

typedef struct QuibEntry
{
    char     name[32];
    uint32_t width;
    uint32_t height;
    uint32_t offset;
    uint32_t length;
} QuibEntry;

typedef struct QuibFile QuibFile;

/* Opens a movie file by name (flags and reserved: 0); null when it cannot be
 * read or is not one. */
QuibFile *WINAPI quibOpen(DWORD flags, const char *name, DWORD reserved);
/* A new layer holding the named layer's pixels (the caller deletes it with
 * DeleteLayer); null when there is no such layer or its data is damaged.
 * index: 0 (the first layer of that name). */
Layer *WINAPI quibReadLayer(QuibFile *file, DWORD index, const char *name, DWORD reserved1, DWORD reserved2);
LONG WINAPI quibClose(QuibFile *file);

#ifdef __cplusplus
}
static_assert(sizeof(QuibEntry) == 48, "directory entry is 48 bytes");
#endif

#endif
