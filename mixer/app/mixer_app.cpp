#include "mixer_app.h"
#include "engine_calls.h"
#include "mixer_dlg.h"
#include "resource.h"
#include <cstdio>
#include <cstdlib>
#include <string>

HACCEL g_hAccelTable = nullptr;

bool IsRemoteCommandLine(const std::string &line)
{
    return line == "TARNELL";
}

void CMixerApp::Prepare(CMixerDlg &dlg)
{
    AfxEnableControlContainer();
    g_hAccelTable = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MIXER_KEYS));
    std::string line = cl::Format("%s", m_lpCmdLine.c_str());
    m_pMainWnd = &dlg;
    if (IsRemoteCommandLine(line)) dlg.m_bRemoteMode = 1;
}

BOOL CMixerApp::InitInstance()
{
    char trace[MAX_PATH] = {};
    if (GetEnvironmentVariableA("CORVANE_ENGINE_TRACE", trace, sizeof(trace))) TraceEngineCalls(trace);
    CMixerDlg dlg;
    Prepare(dlg);
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}

BOOL CMixerApp::ProcessMessageFilter(int code, MSG *msg)
{
    if (code < 0) CWinApp::ProcessMessageFilter(code, msg);
    if (m_pMainWnd && m_pMainWnd->m_hWnd && g_hAccelTable &&
        cl::TranslateAcceleratorKey(m_pMainWnd->m_hWnd, g_hAccelTable, msg))
        return TRUE;
    return CWinApp::ProcessMessageFilter(code, msg);
}

/* ---- engine-call trace ---- */

namespace {
std::string g_tracePath;
EngineCalls g_traced;

void Note(const char *name)
{
    HANDLE f = CreateFileA(g_tracePath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    std::string line = std::string(name) + "\r\n";
    DWORD written = 0;
    WriteFile(f, line.data(), (DWORD)line.size(), &written, nullptr);
    CloseHandle(f);
}

#define TRACE0(R, name) R WINAPI T_##name() { Note(#name); return g_traced.name(); }
#define TRACE1(R, name, A) R WINAPI T_##name(A a) { Note(#name); return g_traced.name(a); }
#define TRACE2(R, name, A, B) R WINAPI T_##name(A a, B b) { Note(#name); return g_traced.name(a, b); }
TRACE1(void, InitEngine, HWND)
TRACE0(void, ReleaseEngine)
TRACE2(void, SetVideoSurfaceSize, int, int)
TRACE1(void *, SetMainVideoWnd, HWND)
TRACE2(int, SetPrevVideoWnd, int, HWND)
TRACE2(void, SetMainVideoSize, int, int)
TRACE2(void, SetPreviewVideoSize, int, int)
TRACE0(int, GetDeviceLists)
TRACE0(void, ReleaseDeviceLists)
TRACE0(int, GetWM9ConfigNumbers)
TRACE0(void *, StopTVOut)
int WINAPI T_GetWM9ConfigInfo(WORD n, BYTE *k, char *i, char *f, char *nm, INT16 *d)
{
    Note("GetWM9ConfigInfo");
    return g_traced.GetWM9ConfigInfo(n, k, i, f, nm, d);
}
BOOL WINAPI T_OpenSource(WORD c, const char *v, const char *a)
{
    Note("OpenSource");
    return g_traced.OpenSource(c, v, a);
}
} // namespace

void TraceEngineCalls(const char *path)
{
    g_tracePath = path;
    if (g_engine.InitEngine == T_InitEngine) return;   /* already traced: only the file changes */
    g_traced = g_engine;
    g_engine.InitEngine = T_InitEngine;
    g_engine.ReleaseEngine = T_ReleaseEngine;
    g_engine.SetVideoSurfaceSize = T_SetVideoSurfaceSize;
    g_engine.SetMainVideoWnd = T_SetMainVideoWnd;
    g_engine.SetPrevVideoWnd = T_SetPrevVideoWnd;
    g_engine.SetMainVideoSize = T_SetMainVideoSize;
    g_engine.SetPreviewVideoSize = T_SetPreviewVideoSize;
    g_engine.GetDeviceLists = T_GetDeviceLists;
    g_engine.ReleaseDeviceLists = T_ReleaseDeviceLists;
    g_engine.GetWM9ConfigNumbers = T_GetWM9ConfigNumbers;
    g_engine.GetWM9ConfigInfo = T_GetWM9ConfigInfo;
    g_engine.StopTVOut = T_StopTVOut;
    g_engine.OpenSource = T_OpenSource;
}
