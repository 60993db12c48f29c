// Tintwell's class identifier and its parameter interface.
//
// IHSLEffect sets the three offsets the filter adds to every pixel's hue
// (degrees), saturation (0..256 scale) and lightness (0..255 scale).  Both
// methods take the filter's lock and may be called from any thread while the
// graph runs; a change applies from the next sample on.
#pragma once
#include <windows.h>
#include <objbase.h>

// {DC8FE185-7122-484D-B823-2D0DBA2FE528}
static const GUID CLSID_TintwellFilter = {0xdc8fe185, 0x7122, 0x484d, {0xb8, 0x23, 0x2d, 0x0d, 0xba, 0x2f, 0xe5, 0x28}};
// {DAA3F1BB-4302-48D5-AD30-C725C26287F2}
static const GUID IID_IHSLEffect = {0xdaa3f1bb, 0x4302, 0x48d5, {0xad, 0x30, 0xc7, 0x25, 0xc2, 0x62, 0x87, 0xf2}};

struct IHSLEffect : public IUnknown {
    // E_POINTER (and nothing written) when any pointer is null.
    virtual HRESULT STDMETHODCALLTYPE GetHSL(int* hue, int* saturation, int* lightness) = 0;
    // Always S_OK; any integers are accepted (results are clamped per pixel).
    virtual HRESULT STDMETHODCALLTYPE SetHSL(int hue, int saturation, int lightness) = 0;
};
