/*
 * The engine's view of a 32-bit ARGB surface (channel, output and preview
 * surfaces).  One file knows how surfaces are made and locked, so the rest of
 * the engine only asks for a device-context lock or a pixel copy.
 *
 * Surfaces are reference counted; every function is safe from any thread.
 * Locks wait at most the given time-out in milliseconds (INFINITE allowed)
 * and fail with an HRESULT when it runs out.
 */
#ifndef CORVENGINE_SURFACE_ACCESS_H
#define CORVENGINE_SURFACE_ACCESS_H

#include <windows.h>

struct EngineSurface;

/* Create the surface factory the engine keeps (InitEngine step 2). */
HRESULT EngineCreateSurfaceFactory(IUnknown **factory);

/* A new ARGB32 surface of width x height from the factory; caps are the
 * capability bits the caller asks for. */
HRESULT EngineCreateSurface(IUnknown *factory, int width, int height, DWORD caps,
                            EngineSurface **out);
void EngineSurfaceAddRef(EngineSurface *s);
void EngineSurfaceRelease(EngineSurface *s);
void EngineSurfaceSize(EngineSurface *s, int *width, int *height);

/* The dxtrans surface behind it (borrowed; null in the built-in fallback). */
IUnknown *EngineSurfaceObject(EngineSurface *s);

/* Device-context lock: a GDI DC whose drawing lands in the surface pixels.
 * On success *token must be handed back to EngineSurfaceUnlockDC. */
HRESULT EngineSurfaceLockDC(EngineSurface *s, DWORD timeoutMs, BOOL readWrite,
                            HDC *dc, void **token);
void EngineSurfaceUnlockDC(void *token);

/* Copy the pixels (0xAARRGGBB words, rows top-down) into dst with the given
 * stride in bytes; and fill the whole surface with one value. */
HRESULT EngineSurfaceRead(EngineSurface *s, DWORD timeoutMs, DWORD *dst, int stride);
HRESULT EngineSurfaceFill(EngineSurface *s, DWORD timeoutMs, DWORD argb);

#endif
