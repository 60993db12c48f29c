/*
 * The engine's transition table: "Cut", 35 transitions and 8 picture-in-
 * picture layouts, each a routine that draws one output frame from the
 * outgoing picture A (programme) and the incoming picture B (selected) at a
 * given progress.  Plain C++ over 32-bit ARGB rows (0xAARRGGBB words, blue
 * byte first), so the frame clock calls the routines on the row pointers of
 * its locked surfaces and tests and benchmarks call them on plain buffers.
 *
 * Threads: a routine only reads A and B and writes the output; it keeps no
 * state between calls.  The frame clock calls it on its own thread.
 */
#ifndef CORV_ENGINE_TRANSITIONS_H
#define CORV_ENGINE_TRANSITIONS_H

#include <cstddef>
#include <cstdint>

/* One frame's job.  Pitches are in bytes between the starts of two rows
 * (may differ per picture); every picture has width x height pixels. */
struct TransitionFrame
{
    const uint8_t *a;     /* outgoing picture (programme source) */
    ptrdiff_t aPitch;
    const uint8_t *b;     /* incoming picture (selected source) */
    ptrdiff_t bPitch;
    uint8_t *out;         /* output picture, written row 0 to height - 1 */
    ptrdiff_t outPitch;
    uint32_t elapsed;     /* milliseconds since the transition was chosen */
    int32_t duration;     /* milliseconds; 0 or less counts as finished */
    int32_t width;
    int32_t height;
    int32_t autoTransition; /* non-zero: picture-in-picture insets at a third */
    /* The driver's composing flag: the soft wipes stop drawing rows (and
     * leave the rest untouched) once it reads 0.  Null: never stop. */
    const volatile int32_t *composing;
};

typedef void (*TransitionRoutine)(const TransitionFrame &frame);

/* One table entry.  Names are NUL-terminated within their 40 characters. */
struct TransitionEffect
{
    TransitionRoutine routine;
    char name[40];
    char iconName[40];
};

enum
{
    kTransitionCount = 44,   /* entries with a routine */
    kTransitionFirstPip = 36, /* 36..43 are picture-in-picture layouts */
    kTransitionLastPip = 43,
    kTransitionStringBase = 2 /* string id of entry i is i + 2 */
};

/* The 44 entries followed by the entry with an empty name and no routine. */
extern const TransitionEffect TransitionEffects[kTransitionCount + 1];

inline bool IsPipTransition(int index) { return index >= kTransitionFirstPip && index <= kTransitionLastPip; }

/* Windows-style MulDiv for non-negative operands: x * y / d rounded to
 * nearest (halves up); -1 when d is 0. */
int32_t TransitionMulDiv(int64_t x, int64_t y, int64_t d);

#endif
