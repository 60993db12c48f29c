/*
 * corvane_demo.exe: the mixer with five demo clips on its channels.
 *
 *   corvane_demo.exe FOLDER                 opens channel1.avi .. channel5.avi of FOLDER on
 *                                           channels 1..5, plays channel 1, and leaves the
 *                                           mixer to the operator
 *   corvane_demo.exe --shot FILE FOLDER     the same, then a screenshot of the window into
 *                                           FILE (.bmp) and the program ends; exit code 0
 *                                           only when every channel window showed a picture
 *
 * FOLDER may be a Unix path.  The work space is 320 by 240 without asking.
 */
#include "mixer_app.h"
#include "mixer_dlg.h"
#include "screen_shot.h"
#include <string>
#include <vector>

namespace {

class DemoApp : public CMixerApp {
public:
    BOOL InitInstance() override;
    int result = 1;
};
DemoApp theApp;

std::string DosPath(std::string p)
{
    if (!p.empty() && p[0] == '/') p = "Z:" + p;
    for (char &c : p)
        if (c == '/') c = '\\';
    if (!p.empty() && p.back() != '\\') p += '\\';
    return p;
}

std::vector<std::string> Words(const std::string &line)
{
    std::vector<std::string> w;
    std::string cur;
    bool quoted = false;
    for (char c : line) {
        if (c == '"') { quoted = !quoted; continue; }
        if (c == ' ' && !quoted) {
            if (!cur.empty()) w.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) w.push_back(cur);
    return w;
}

/* A channel window shows something other than the engine's empty grey. */
bool HasPicture(HWND wnd)
{
    ScreenShot s = ScreenShot::Window(wnd);
    unsigned a = s.At(s.w / 8, s.h / 4), b = s.At(s.w / 2, 3 * s.h / 4);
    return !ScreenShot::Near(a, b, 10) || ScreenShot::R(a) > 200;
}

struct Demo {
    CMixerDlg *dlg = nullptr;
    std::string folder, shot;
    int step = 0;
    DWORD shotAt = 0;
    int *result = nullptr;
};
Demo g_demo;

void CALLBACK DemoTick(HWND, UINT, UINT_PTR id, DWORD)
{
    Demo &d = g_demo;
    CMixerDlg &m = *d.dlg;
    /* Wait for the start-up to finish: the engine runs and the window's own loop is up. */
    if (!m.m_hWnd || !m.EngineStarted() || !m.IsModalRunning()) return;
    if (d.step == 0) {
        d.step = 1;
        for (int n = 1; n <= CHANNELS; ++n)
            m.OpenFileOnChannel(n - 1, d.folder + cl::Format("channel%d.avi", n));
        m.deck.OnPlay(1);
        m.deck.OnPlay(3);
        d.shotAt = GetTickCount() + 3000;
        if (d.shot.empty()) KillTimer(nullptr, id);
        return;
    }
    if (d.step == 1 && (int)(GetTickCount() - d.shotAt) >= 0) {
        d.step = 2;
        KillTimer(nullptr, id);
        bool all = true;
        for (int n = 1; n <= CHANNELS; ++n) all = all && HasPicture(m.ChannelWindow(n));
        ScreenShot s = ScreenShot::Window(m.m_hWnd);
        std::string path = s.SaveAs(d.shot);
        *d.result = (all && !path.empty()) ? 0 : 1;
        m.deck.remoteMode = 0;
        m.PostMessage(WM_CLOSE);
    }
}

BOOL DemoApp::InitInstance()
{
    auto words = Words(m_lpCmdLine);
    std::string shot, folder;
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i] == "--shot" && i + 1 < words.size()) shot = words[++i];
        else folder = words[i];
    }
    if (folder.empty()) {
        MessageBoxA(nullptr, "usage: corvane_demo.exe [--shot FILE] FOLDER", "Corvane demo", MB_OK);
        return FALSE;
    }
    CMixerDlg dlg;
    m_lpCmdLine.clear();
    Prepare(dlg);
    dlg.askWorkSpace = [](int *c) { *c = 0; return true; };
    g_demo.dlg = &dlg;
    g_demo.folder = DosPath(folder);
    g_demo.result = &result;
    if (!shot.empty()) {
        g_demo.shot = shot;
    } else {
        result = 0;
    }
    SetTimer(nullptr, 0, 500, DemoTick);
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int)
{
    theApp.RunApp(instance, cmdLine);
    /* The engine was released with the window; end here with the demonstration's result. */
    TerminateProcess(GetCurrentProcess(), (UINT)theApp.result);
    return theApp.result;
}
