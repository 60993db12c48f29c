/*
 * A hidden host for engine tests: the host window and five channel windows,
 * started the way the mixer starts the engine, and a message pump that
 * collects what the engine posts.
 */
#ifndef CORV_ENGINE_TEST_HOST_H
#define CORV_ENGINE_TEST_HOST_H

#include <windows.h>
#include <vector>
#include <functional>
#include "corvengine.h"
#include "engine.h"

struct EngineMsg { UINT msg; WPARAM wp; LPARAM lp; };

class EngineHost {
public:
    explicit EngineHost(int width = 320, int height = 240, bool init = true)
    {
        static bool registered = false;
        if (!registered) {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = DefWindowProcA;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = "CorvTestHost";
            RegisterClassA(&wc);
            registered = true;
        }
        g_engineModule = GetModuleHandleA(nullptr);
        host = CreateWindowA("CorvTestHost", "host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                             nullptr, nullptr, nullptr, nullptr);
        for (auto &w : channels)
            w = CreateWindowA("CorvTestHost", "channel", WS_OVERLAPPEDWINDOW, 0, 0, 160, 120,
                              nullptr, nullptr, nullptr, nullptr);
        SetVideoSurfaceSize(width, height);
        if (init) Start();
    }
    void Start()
    {
        InitEngine(host);
        for (int i = 0; i < 5; i++) SetPrevVideoWnd(i, channels[i]);
        started = true;
    }
    ~EngineHost()
    {
        if (started) ReleaseEngine();
        EngineLoadDefaults();
        for (auto w : channels) DestroyWindow(w);
        DestroyWindow(host);
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {}
    }

    /* Pump for up to ms milliseconds (or until stop says so), keeping the
     * engine's messages; 1037 is answered with HandleEvent as the mixer does. */
    void Pump(DWORD ms, const std::function<bool()> &stop = nullptr)
    {
        DWORD end = GetTickCount() + ms;
        while ((LONG)(end - GetTickCount()) > 0) {
            MSG m;
            while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
                if (m.hwnd == host && m.message >= 1037 && m.message <= 1349) {
                    msgs.push_back({m.message, m.wParam, m.lParam});
                    if (m.message == WM_ENGINE_GRAPHNOTIFY && answerEvents) HandleEvent((int)m.lParam);
                    continue;
                }
                if (m.message >= WM_ENGINE_SOURCESTATE && m.message <= WM_ENGINE_POSITION && IsChannel(m.hwnd)) {
                    /* The network source posts to its channel's window. */
                    channelMsgs.push_back({m.message, m.wParam, m.lParam});
                    continue;
                }
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
            if (stop && stop()) return;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
    }

    /* States (low word of 1345 with channel << 16) posted for a channel. */
    std::vector<int> States(int channel) const
    {
        std::vector<int> s;
        for (const auto &m : msgs)
            if (m.msg == WM_ENGINE_SOURCESTATE && (int)(m.wp >> 16) == channel && m.lp == 0)
                s.push_back((int)(m.wp & 0xFFFF));
        return s;
    }
    std::vector<LPARAM> Of(UINT msg, WPARAM wp) const
    {
        std::vector<LPARAM> v;
        for (const auto &m : msgs)
            if (m.msg == msg && m.wp == wp) v.push_back(m.lp);
        return v;
    }
    bool Has(UINT msg, WPARAM wp, LPARAM lp) const
    {
        for (const auto &m : msgs)
            if (m.msg == msg && m.wp == wp && m.lp == lp) return true;
        return false;
    }

    bool IsChannel(HWND w) const
    {
        for (auto c : channels)
            if (c == w) return true;
        return false;
    }

    HWND host = nullptr;
    HWND channels[5] = {};
    std::vector<EngineMsg> msgs;
    std::vector<EngineMsg> channelMsgs;   /* posted to the channel windows */
    bool answerEvents = true;
    bool started = false;
};

#endif
