// mobra.dll: the animation-data library.  An animation-data record holds the
// objects of an animated title: per object its frame range, its box on a
// virtual page, its picture (32-bit, blue, green, red, alpha; rows top
// down) and an optional outline.  The record is read from a file
// (`mobraOpen`) or taken where it lies in memory (`mobraCast`); the library
// offers no close: file records stay cached by name, cast records are the
// caller's memory.
//
// Record layout, little-endian, no padding:
//   MobraHeader (32 bytes)
//   MobraObject x count (128 bytes each)
//   pictures and outlines anywhere after the object table, each reached
//   through its object's offsets (from the record's start)
#pragma once

#include <windows.h>

#include <cstdint>

constexpr uint32_t MOBRA_MAGIC = 0x52424F4D;  // "MOBR"
constexpr uint32_t MOBRA_MAX_OBJECTS = 4096;
constexpr int32_t MOBRA_MAX_SIDE = 8192;

struct MobraHeader {
    uint32_t magic;
    uint32_t size;           // bytes of the whole record
    uint32_t count;          // objects
    int32_t width, height;   // virtual page
    int32_t number;          // record number
    uint32_t flags;
    uint32_t reserved;
};
static_assert(sizeof(MobraHeader) == 32, "MobraHeader is 32 bytes");

// An object's box: what `mobraGetBox` fills.
struct MobraBox {
    int32_t start, end, delay, loop;   // frames
    int32_t x, y;                      // top-left on the virtual page
    int32_t width, height;             // picture size
    int32_t width2, height2;           // second size (0: none)
    int32_t points;                    // outline points (8 bytes each)
    int32_t word1, word2;              // kept with the object
};
static_assert(sizeof(MobraBox) == 52, "MobraBox is 52 bytes");

struct MobraObject {
    MobraBox box;
    uint32_t pixelOffset;    // width x height x 4 bytes
    uint32_t pointOffset;    // points x 8 bytes (0 with no points)
    uint32_t reserved;
    char name[64];
};
static_assert(sizeof(MobraObject) == 128, "MobraObject is 128 bytes");

// What `mobraGetInfo` fills.
struct MobraInfo {
    int32_t count;
    int32_t width, height;
    int32_t number;
    uint32_t flags;
};
static_assert(sizeof(MobraInfo) == 20, "MobraInfo is 20 bytes");

#ifdef __cplusplus
extern "C" {
#endif
// A handle of the record in the named file, 0 when it is not one.
LONG_PTR WINAPI mobraOpen(LPCSTR name);
// A handle of the record at `data`; `size` bounds it (0: the header's size,
// checked as readable memory).  0 when it is not a whole, sound record.
LONG_PTR WINAPI mobraCast(LONG_PTR data, LONG_PTR size);
LONG_PTR WINAPI mobraGetInfo(LONG_PTR record, void *info);
// Object n's box into a MobraBox.  1 / 0.
LONG_PTR WINAPI mobraGetBox(LONG_PTR record, LONG_PTR n, void *box);
// Object n's pixels (width x height x 4 bytes) into `pixels`.  1 / 0.
LONG_PTR WINAPI mobraGetBmp(LONG_PTR record, LONG_PTR n, void *pixels);
// Object n's outline points into `points`.  1 / 0.
LONG_PTR WINAPI mobraGetPts(LONG_PTR record, LONG_PTR n, void *points);
// Object n's name (64 bytes, NUL-terminated) into `name`.  1 / 0.
LONG_PTR WINAPI mobraGetName(LONG_PTR record, LONG_PTR n, char *name);
#ifdef __cplusplus
}
#endif
