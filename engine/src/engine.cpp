/*
 * Engine state, the warning box and the small shared routines.
 */
#include "engine.h"
#include <stdio.h>
#include <stdarg.h>
#include <new>
#include <uuids.h>

EngineState g_engine;
HINSTANCE g_engineModule;

void EngineLoadDefaults()
{
    EngineState &e = g_engine;
    e.hostWindow = nullptr;
    for (int i = 0; i < ENGINE_CHANNELS; i++) {
        e.channel[i] = nullptr;
        e.mediaKind[i] = 0;
        e.channelWindow[i] = nullptr;
    }
    e.onAirChannel = 0;
    e.framePeriod = 33;
    e.encoderKind = ENCODER_WM;
    e.wmfVersion = 1;
    e.width = 320; e.height = 240;
    e.pixels = 320 * 240; e.rgbBytes = 3 * e.pixels; e.argbBytes = 4 * e.pixels;
    e.rowBytes = e.rowBytes2 = 4 * 320;
    e.autoTrans = 1;
    e.hue = 0; e.saturation = 0; e.lightness = 0;
    e.encodeMode = 0;
    e.backMusic = 0;
    e.titleOn = 0; e.titlePreview = 0;
    e.dateAndTime = 0;
    e.saveFileW[0] = 0; e.saveFileA[0] = 0; e.pushTarget[0] = 0; e.copyFrom[0] = 0;
    e.autoRemove = 0;
    e.broadcastPort = 8080;
    e.profileIndex = 9;
    e.indexAfterWriting = 0;
    e.drm = 0;
    e.applyFilter = 0;
    memset(&e.flv, 0, sizeof(e.flv));
}

void EngineWarning(const char *fmt, ...)
{
    char text[ENGINE_TEXT];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof(text), fmt, ap);
    va_end(ap);
    HWND focus = GetFocus();
    MessageBoxA(focus, text, nullptr, MB_ICONWARNING);
    if (focus) SetFocus(focus);
}

void EngineExplainError(long code)
{
    char *sys = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                             FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, (DWORD)code, 0,
                             reinterpret_cast<char *>(&sys), 0, nullptr);
    EngineWarning("%s:  %ld.\n\n\n%s:\n\n%s", "This is the error code", code,
                  "This is the system's explanation", (n && sys) ? sys : "<unknown>");
    if (sys) LocalFree(sys);
}

HRESULT EngineWideCopy(const char *text, WCHAR **out)
{
    *out = nullptr;
    if (!text) return E_INVALIDARG;
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (!n) return HRESULT_FROM_WIN32(GetLastError());
    WCHAR *w = new (std::nothrow) WCHAR[n];
    if (!w) return E_OUTOFMEMORY;
    if (!MultiByteToWideChar(CP_ACP, 0, text, -1, w, n)) {
        HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        delete[] w;
        return hr;
    }
    *out = w;
    return S_OK;
}

HRESULT EngineNarrowCopy(const char *text, char **out)
{
    *out = nullptr;
    if (!text) return E_INVALIDARG;
    size_t n = strlen(text) + 1;
    char *c = new (std::nothrow) char[n];
    if (!c) return E_OUTOFMEMORY;
    memcpy(c, text, n);
    *out = c;
    return S_OK;
}

void EnginePost(UINT msg, WPARAM wp, LPARAM lp)
{
    HWND w = g_engine.hostWindow;
    if (w) PostMessageA(w, msg, wp, lp);
}

static IReferenceClock *shared_clock;

IReferenceClock *EngineSharedClock()
{
    if (!shared_clock)
        CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock,
                         (void **)&shared_clock);
    return shared_clock;
}

void EngineReleaseSharedClock()
{
    if (shared_clock) shared_clock->Release();
    shared_clock = nullptr;
}
