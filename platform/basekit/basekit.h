/* Basekit: the graphics maker's small utility library as the toolkit's
 * log printers use it: reference-counted objects, locks with a time-out
 * and interlocked counts.  Functions are imported by ordinal. */
#ifndef BASEKIT_H
#define BASEKIT_H

#include <windows.h>

#ifdef __cplusplus
/* A reference-counted object. */
struct IBasekitObject {
    virtual LONG WINAPI AddRef() = 0;
    virtual LONG WINAPI Release() = 0;
};
extern "C" {
#endif

typedef struct BASEKITLOCK__ *BASEKITLOCK;

#define BASEKIT_GOT  0
#define BASEKIT_BUSY 2

/* 13: a new lock, free; null without memory. */
BASEKITLOCK WINAPI basekitCreateLock(void);
/* 18: waits for the lock (milliseconds, -1 infinite, 0 poll): BASEKIT_GOT or BASEKIT_BUSY. */
int WINAPI basekitWait(BASEKITLOCK lock, LONG timeout);
/* 12: gives back a lock taken by basekitWait. */
BOOL WINAPI basekitRelease(BASEKITLOCK lock);
/* 14: nonzero for a lock made by basekitCreateLock and not yet closed. */
BOOL WINAPI basekitTest(BASEKITLOCK lock);
/* 15: frees the lock. */
BOOL WINAPI basekitClose(BASEKITLOCK lock);
/* 24, 25: interlocked increment and decrement; the new count. */
LONG WINAPI basekitIncrement(LONG volatile *count);
LONG WINAPI basekitDecrement(LONG volatile *count);

#ifdef __cplusplus
}
#endif

#endif
