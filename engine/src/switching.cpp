/*
 * The exports of switching and painting: channel selection, the transition
 * table and driver, the programme, channel and TV-out windows.  Host thread.
 */
#include "engine.h"
#include "corvengine.h"
#include "decoder.h"
#include "clock.h"
#include "painter.h"
#include "transitions.h"
#include "wine/debug.h"

WINE_DEFAULT_DEBUG_CHANNEL(corvengine);

#define EXPORT extern "C" __attribute__((visibility("default")))

/* ---- selection and transitions ---- */

EXPORT BOOL WINAPI SelectChannel(WORD channel)
{
    WINE_TRACE("(%u)\n", channel);
    if (g_transformer.routine.load()) return FALSE;
    CDecoder *s = EngineChannelSource(channel);
    if (!s || !s->surface) return FALSE;
    return g_transformer.Select(s->surface);
}

/* Names loaded from the string table in the user's language (ids 2..45);
 * GetTransEffectName serves the built-in names of the table. */
static char trans_names[kTransitionCount][40];

EXPORT int WINAPI GetTransEffectNumbers()
{
    for (int i = 0; i < kTransitionCount; i++)
        if (!LoadStringA(g_engineModule, kTransitionStringBase + i, trans_names[i], 40)) trans_names[i][0] = 0;
    int n = 0;
    for (const TransitionEffect *e = TransitionEffects; e->routine; e++) n++;
    WINE_TRACE("() -> %d\n", n);
    return n;
}

/* Entry n's name; null past the 44 entries.  (Read only while the host
 * calls these; the name buffer above is not served.) */
EXPORT const char *WINAPI GetTransEffectName(int n)
{
    if (n < 0 || n >= kTransitionCount) return nullptr;
    return TransitionEffects[n].name;
}

EXPORT const char *WINAPI GetTransEffectIconName(int n)
{
    if (n < 0 || n >= kTransitionCount) return nullptr;
    return TransitionEffects[n].iconName;
}

EXPORT int WINAPI SetTransEffect(int index, double seconds)
{
    WINE_TRACE("(%d, %f)\n", index, seconds);
    if (index < 0 || index >= kTransitionCount) {
        WINE_WARN("no transition %d\n", index);
        return 0;
    }
    if (g_engine.autoTrans) g_transformer.SetDuration(seconds);
    else g_transformer.SetDurationMs(1000);
    g_transformer.Choose(index);
    EngineSurface *prog = g_transformer.ProgrammeSurface(), *sel = g_transformer.SelectedSurface();
    for (int i = 0; i < ENGINE_CHANNELS; i++) {
        CDecoder *s = g_engine.channel[i];
        if (!s || !s->surface) continue;
        if (s->surface == prog) s->Play(0);
        if (s->surface == sel) {
            if (sel != prog) s->Play(0);
            if (g_engine.hue || g_engine.saturation || g_engine.lightness)
                s->ApplyHSL(g_engine.hue, g_engine.saturation, g_engine.lightness);
        }
    }
    return 0;
}

EXPORT int WINAPI SetTransPosition(int tenths)
{
    WINE_TRACE("(%d)\n", tenths);
    return g_transformer.SetPosition(tenths);
}

/* ---- windows and painting ---- */

EXPORT void *WINAPI SetMainVideoWnd(HWND wnd)
{
    WINE_TRACE("(%p)\n", wnd);
    if (!g_programmePainter) return nullptr;
    g_programmePainter->window = wnd;
    g_programmePainter->SetSurface(&g_engine.outputSurface);
    g_programmePainter->CreateEvent_();
    g_programmePainter->running = 1;
    return g_programmePainter;
}

EXPORT void WINAPI PreviewRepaint(int channel, HDC dc)
{
    if (channel < 0 || channel >= ENGINE_CHANNELS) return;
    if (EngineChannelSource(channel) && g_channelPainter[channel]) g_channelPainter[channel]->Paint(dc);
}

EXPORT int WINAPI MainVideoRepaint(HDC dc)
{
    return g_programmePainter ? g_programmePainter->Paint(dc) : 0;
}

EXPORT HANDLE WINAPI SetTVOutWnd(HWND wnd)
{
    WINE_TRACE("(%p)\n", wnd);
    if (!g_tvOutPainter) g_tvOutPainter = new CPreviewer(g_engine.width, g_engine.height);
    g_tvOutPainter->window = wnd;
    g_tvOutPainter->SetSurface(&g_engine.outputSurface);
    RECT rc = {};
    if (wnd) GetClientRect(wnd, &rc);
    g_tvOutPainter->SetSize(rc.right - rc.left, rc.bottom - rc.top);
    /* A second call gives the window to the thread that already runs. */
    g_tvOutPainter->CreateEvent_();
    return g_tvOutPainter->thread;
}

EXPORT BOOL WINAPI StartTVOut()
{
    WINE_TRACE("()\n");
    if (!g_tvOutPainter) return FALSE;
    if (g_programmePainter) g_programmePainter->running = 0;
    g_tvOutPainter->running = 1;
    g_tvOut = 1;
    return TRUE;
}

EXPORT void *WINAPI StopTVOut()
{
    WINE_TRACE("()\n");
    if (!g_tvOutPainter) return nullptr;
    g_tvOutPainter->running = 0;
    g_tvOut = 0;
    if (g_programmePainter) {
        g_programmePainter->SetSurface(&g_engine.outputSurface);
        g_programmePainter->running = 1;
    }
    return g_programmePainter;
}
