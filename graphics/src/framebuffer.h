/* Internal: the pure parts of the frame-buffer dispatch, reachable by the
 * tests without a driver library. */
#ifndef PIXMOOR_FRAMEBUFFER_H
#define PIXMOOR_FRAMEBUFFER_H

#include <windows.h>
#include "pixmoor.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Longest token of a parameter string; a longer one ends the parsing. */
#define FB_TOKEN_MAX 259

/* Parses a parameter string into fp (which the caller zeroed). */
void  fb_parse_into(FrameBufferParams *fp, const char *text);
/* Board word of the record: board + base in bits 0-15, option flags 1-6 in
 * bits 30..25, noinit in bit 31. */
DWORD fb_board_word(const FrameBufferParams *fp);
/* The driver library's path: the name unchanged when it starts with a
 * backslash or a drive, else in the system directory.  0 when it does not
 * fit out. */
LONG  fb_library_path(const char *name, char *out, DWORD size);

#ifdef __cplusplus
}
#endif

#endif
