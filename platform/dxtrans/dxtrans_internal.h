/* Internals of the transform surfaces, shared with the tests. */
#ifndef CORV_PLATFORM_DXTRANS_INTERNAL_H
#define CORV_PLATFORM_DXTRANS_INTERNAL_H

#include <windows.h>

namespace dxtrans {

/* Largest surface side accepted by the surface factory. */
constexpr ULONG kMaxSide = 16384;

/* Reader/writer gate of one surface with time-outs.  Read locks share,
 * read-write locks exclude everything but further locks of the writing
 * thread, and the surface's single DC is held by one DC lock at a time. */
class SurfaceGate
{
public:
    SurfaceGate();
    ~SurfaceGate();
    SurfaceGate(const SurfaceGate &) = delete;
    SurfaceGate &operator=(const SurfaceGate &) = delete;
    /* Waits at most timeoutMs (INFINITE = no limit); false on time-out. */
    bool Acquire(bool write, bool dc, DWORD timeoutMs);
    void Release(bool write, bool dc);

private:
    bool CanTake(bool write, bool dc, DWORD self) const;
    CRITICAL_SECTION cs_;
    CONDITION_VARIABLE cv_;
    LONG readers_ = 0;
    DWORD writer_ = 0; /* thread id of the read-write holder, 0 = none */
    LONG writeDepth_ = 0;
    bool dcBusy_ = false;
};

/* One 0xAARRGGBB word: straight -> premultiplied, back, and premultiplied
 * over (dst := src + dst x (255 - src alpha) / 255, rounded, clamped). */
DWORD PremultiplyWord(DWORD s);
DWORD UnpremultiplyWord(DWORD s);
DWORD OverWord(DWORD dst, DWORD src);

} // namespace dxtrans

#endif
