/* The simulated board's picture path: what playing one frame record of a
 * command list does to the board's frame memory.  Plain code over memory,
 * shared by the device and its tests. */
#ifndef MURNAK_PLAYBACK_H
#define MURNAK_PLAYBACK_H

#include <windef.h>
#include <vector>

namespace murnak {

struct Plane {
    BYTE *pixels = nullptr;       /* pixel (0,0), 32-bit pixels */
    LONG width = 0, height = 0;
    LONG pitch = 0;               /* bytes between rows */
    DWORD *at(LONG x, LONG y) const { return (DWORD *)(pixels + (size_t)y * pitch) + x; }
};

/* What a frame record plays on: the visible frame it changes, the incoming
 * picture that rectangles, moves and slides reveal, and the visible frame
 * as it was when the list started (the mix's first source). */
struct Stage {
    Plane visible;
    Plane incoming;
    Plane old;
    DWORD crop[4] = { 0, 0, 0, 0 };
    DWORD lastPattern[3] = { 0, 0, 0 };   /* pattern, position, second of 0xC000001E */
    DWORD closeValue = 0;
    bool closed = false;
};

/* Checks one frame record at data[0..avail): size word, its complement, the
 * sub-records up to the end sub-record.  Returns the record's size, or 0
 * when it is malformed (the caller then plays nothing of it). */
DWORD check_frame_record(const BYTE *data, size_t avail);

/* Plays a checked frame record onto the stage.  Returns the number of
 * fields it stands for (1, or the field count of an image). */
int play_frame_record(const BYTE *data, DWORD size, Stage &stage);

} // namespace murnak

#endif
