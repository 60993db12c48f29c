#include "engine_calls.h"
#include "corvengine.h"

const EngineCalls &RealEngine()
{
    static const EngineCalls real = {
        InitEngine, ReleaseEngine, SetVideoSurfaceSize, SetMainVideoWnd, SetPrevVideoWnd, SetMainVideoSize,
        SetPreviewVideoSize, PreviewRepaint, GetDeviceLists, ReleaseDeviceLists, GetVideoDeviceName,
        GetAudioDeviceName, OpenSource, MyGetDuration, MyPlay, MyStop, MyPause, MyRewind, MyFastForward,
        SelectChannel, HandleEvent, GetWM9ConfigNumbers, GetWM9ConfigInfo, CapVideoFormat, CapVideoSource,
        StopTVOut, SetTransEffect, SetAutoTrans, SetTransPosition,
        MySetPosition, EncoderStart, EncoderStop,
        SetHSLEffect, SetBackMusic, SetTVOutWnd, StartTVOut,
        TitleApply, PreviewTitle, GetTransEffectNumbers, GetTransEffectName,
    };
    return real;
}

EngineCalls g_engine = RealEngine();
