/* remote_peer.exe: see remote_peer.h. */
#include "remote_peer.h"
#include "protocol/remote_protocol.h"
#include <cstdlib>
#include <vector>

namespace {
HWND g_listener, g_mixer;
std::vector<char> g_pending;   /* a descriptor to send: header + bytes */

LRESULT CALLBACK PeerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case remote::kMixerRemoteMessage:
        PostMessageA(g_listener, kPeerReply, wp, lp);
        return 0;
    case kPeerPost:
        PostMessageA(g_mixer, remote::kMixerRemoteMessage, wp, lp);
        return 0;
    case kPeerHello:
        PostMessageA(g_mixer, remote::kMixerRemoteMessage, remote::RC_HELLO, remote::WindowArg(w));
        return 0;
    case WM_COPYDATA: {
        auto *cds = reinterpret_cast<const COPYDATASTRUCT *>(lp);
        if (cds->dwData != kPeerForward || cds->cbData < sizeof(PeerDescriptor)) return 0;
        g_pending.assign(static_cast<const char *>(cds->lpData), static_cast<const char *>(cds->lpData) + cds->cbData);
        /* Sent from outside the test's own SendMessage, as a scheduler would. */
        PostMessageA(w, kPeerForwardNow, 0, 0);
        return 1;
    }
    case kPeerForwardNow: {
        PeerDescriptor head;
        memcpy(&head, g_pending.data(), sizeof head);
        std::vector<char> bytes(g_pending.begin() + sizeof head, g_pending.end());
        bytes.resize(head.cbData);
        COPYDATASTRUCT out = {static_cast<ULONG_PTR>(head.dwData), head.cbData, bytes.empty() ? nullptr : bytes.data()};
        LRESULT r = SendMessageA(g_mixer, WM_COPYDATA, reinterpret_cast<WPARAM>(w), reinterpret_cast<LPARAM>(&out));
        PostMessageA(g_listener, kPeerSent, static_cast<WPARAM>(r), 0);
        return 0;
    }
    case WM_TIMER:
    case WM_CLOSE:
        DestroyWindow(w);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}
} // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR cmdLine, int)
{
    char *end = nullptr;
    g_listener = reinterpret_cast<HWND>(strtoull(cmdLine, &end, 16));
    g_mixer = reinterpret_cast<HWND>(strtoull(end, nullptr, 16));
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PeerProc;
    wc.hInstance = inst;
    wc.lpszClassName = "RemotePeer";
    RegisterClassA(&wc);
    HWND w = CreateWindowA("RemotePeer", remote::kSchedulerWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                           nullptr, inst, nullptr);
    if (!w) return 1;
    SetTimer(w, 1, 120000, nullptr);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return 0;
}
