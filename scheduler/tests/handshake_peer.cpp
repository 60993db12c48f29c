/*
 * A stand-in mixer for the handshake test: a window titled "Corvane" in its
 * own process that answers the scheduler's requests as the mixer's remote
 * handler does (hello, play, descriptors) and, on RC_SCHEDULER_CLOSING,
 * says it has exited and ends.  Started with the word "ANNOUNCE" it posts
 * RC_ANNOUNCE to the scheduler first.  It ends by itself after 60 s at the latest.
 */
#include "protocol/remote_protocol.h"

using namespace remote;

static HWND g_scheduler;

static HWND Scheduler()
{
    if (!g_scheduler)
        g_scheduler = FindWindowA(nullptr, kSchedulerWindowTitle);
    return g_scheduler;
}

static LRESULT CALLBACK PeerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case kMixerRemoteMessage:
        switch (static_cast<int>(wp)) {
        case RC_HELLO:
            g_scheduler = ArgWindow(lp);
            if (g_scheduler)
                PostMessageA(g_scheduler, kMixerRemoteMessage, RC_HELLO_ACK, WindowArg(w));
            break;
        case RC_PLAY_CHANNEL:
            PostMessageA(Scheduler(), kMixerRemoteMessage, RC_PLAY_CHANNEL_DONE, lp);
            break;
        case RC_SEEK_CHANNEL:
            PostMessageA(Scheduler(), kMixerRemoteMessage, RC_SEEK_CHANNEL_DONE, lp);
            break;
        case RC_SCHEDULER_CLOSING:
            PostMessageA(Scheduler(), kMixerRemoteMessage, RC_MIXER_EXITED, WindowArg(w));
            DestroyWindow(w);
            break;
        }
        return 0;
    case WM_COPYDATA: {
        ParsedDescriptor d;
        if (!ParseDescriptor(reinterpret_cast<const COPYDATASTRUCT *>(lp), d))
            return 0;
        if (d.kind == kDescriptorSource)
            PostMessageA(Scheduler(), kMixerRemoteMessage, d.number ? RC_SOURCE_LOADED_ITEM : RC_SOURCE_LOADED,
                         d.number ? ((d.upper << 16) | d.number) : d.upper);
        else
            PostMessageA(Scheduler(), kMixerRemoteMessage, RC_TITLE_LOADED, d.upper);
        /* The answer says what arrived: the length of the text read. */
        return 1 + static_cast<LRESULT>(d.kind == kDescriptorSource ? d.video.size() + d.audio.size() : d.path.size());
    }
    case WM_TIMER:
        DestroyWindow(w);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR cmdLine, int)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PeerProc;
    wc.hInstance = inst;
    wc.lpszClassName = "HandshakePeer";
    RegisterClassA(&wc);
    HWND w = CreateWindowA("HandshakePeer", kMixerWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                           nullptr, inst, nullptr);
    if (!w)
        return 1;
    SetTimer(w, 1, 60000, nullptr);
    /* Started with "ANNOUNCE": introduce itself to the scheduler. */
    if (cmdLine && strstr(cmdLine, "ANNOUNCE"))
        PostMessageA(Scheduler(), kMixerRemoteMessage, RC_ANNOUNCE, WindowArg(w));
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return 0;
}
