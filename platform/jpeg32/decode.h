// The libjpeg side of JPEG32, kept apart from the Windows headers (their
// `boolean` is not libjpeg's).  Plain calling conventions only.
#pragma once
#include <cstddef>
#include <cstdint>

namespace jpeg32 {

// Reads up to len bytes into buf; returns the count, 0 at the end.
typedef int (*ReadFn)(void *user, unsigned char *buf, int len);

struct Facts {
    uint32_t width, height, components, bitsPerPixel, flags, restartInterval, scans, warnings, rowsDone;
};

enum { kDone = 0, kNotJpeg = -5, kUnsupported = -6, kDamaged = -7, kNoMemory = -9 };
enum { kProgressive = 1, kRestarts = 2 };

// Header only.
int Info(ReadFn read, void *user, Facts &f);
// Whole picture into dest: rows of `stride` bytes (0: the picture's row
// padded to 4 bytes), at most maxRows of them (0: the picture's height);
// bottom-up unless topDown.  A picture that does not fit is refused before
// a row is written.
int Decode(ReadFn read, void *user, unsigned char *dest, size_t stride, uint32_t maxRows, bool topDown, Facts &f);

}  // namespace jpeg32
