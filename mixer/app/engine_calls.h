/*
 * The media engine as the mixer calls it: one table of the engine's
 * exports, filled with the real Corvengine.dll functions.  Tests replace
 * entries with recorders that log and forward, or with fakes.
 */
#ifndef CORV_MIXER_ENGINE_CALLS_H
#define CORV_MIXER_ENGINE_CALLS_H

#include <windows.h>

struct EngineCalls {
    void(WINAPI *InitEngine)(HWND);
    void(WINAPI *ReleaseEngine)(void);
    void(WINAPI *SetVideoSurfaceSize)(int, int);
    void *(WINAPI *SetMainVideoWnd)(HWND);
    int(WINAPI *SetPrevVideoWnd)(int, HWND);
    void(WINAPI *SetMainVideoSize)(int, int);
    void(WINAPI *SetPreviewVideoSize)(int, int);
    void(WINAPI *PreviewRepaint)(int, HDC);
    int(WINAPI *GetDeviceLists)(void);
    void(WINAPI *ReleaseDeviceLists)(void);
    const char *(WINAPI *GetVideoDeviceName)(int);
    const char *(WINAPI *GetAudioDeviceName)(int);
    BOOL(WINAPI *OpenSource)(WORD, const char *, const char *);
    int(WINAPI *MyGetDuration)(int);
    int(WINAPI *MyPlay)(WORD);
    int(WINAPI *MyStop)(WORD);
    int(WINAPI *MyPause)(WORD);
    int(WINAPI *MyRewind)(WORD);
    int(WINAPI *MyFastForward)(WORD);
    BOOL(WINAPI *SelectChannel)(WORD);
    void(WINAPI *HandleEvent)(int);
    int(WINAPI *GetWM9ConfigNumbers)(void);
    int(WINAPI *GetWM9ConfigInfo)(WORD, BYTE *, char *, char *, char *, INT16 *);
    int(WINAPI *CapVideoFormat)(void);
    int(WINAPI *CapVideoSource)(void);
    void *(WINAPI *StopTVOut)(void);
    int(WINAPI *SetTransEffect)(int, double);
    int(WINAPI *SetAutoTrans)(BOOL);
    int(WINAPI *SetTransPosition)(int);
    int(WINAPI *MySetPosition)(int, int);
    int(WINAPI *EncoderStart)(void);
    int(WINAPI *EncoderStop)(void);
    void(WINAPI *SetHSLEffect)(int, int, int);
    int(WINAPI *SetBackMusic)(BOOL);
    HANDLE(WINAPI *SetTVOutWnd)(HWND);
    BOOL(WINAPI *StartTVOut)(void);
    void(WINAPI *TitleApply)(BOOL, int, int);
    void(WINAPI *PreviewTitle)(HDC, BOOL);
    int(WINAPI *GetTransEffectNumbers)(void);
    const char *(WINAPI *GetTransEffectName)(int);
};

/* The table the mixer calls through (the real engine unless a test changed it). */
extern EngineCalls g_engine;
/* The real engine's table. */
const EngineCalls &RealEngine();

#endif
