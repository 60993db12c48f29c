#include "app.h"
#include <ole2.h>

namespace cl {

namespace {
CWinApp *g_app = nullptr;
}

CWinApp::CWinApp(const char *appName) : m_pszAppName(appName ? appName : "")
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    /* OLE is not shut down here: at process exit its threads are gone already. */
    if (g_app == this) g_app = nullptr;
}

CWinApp *CWinApp::Current()
{
    return g_app;
}

BOOL CWinApp::PreTranslateChain(MSG *msg)
{
    for (HWND w = msg->hwnd; w; w = ::GetParent(w)) {
        if (CWnd *obj = CWnd::FromHandle(w))
            if (obj->PreTranslateMessage(msg)) return TRUE;
        if (!(GetWindowLongPtrA(w, GWL_STYLE) & WS_CHILD)) break;
    }
    return FALSE;
}

BOOL CWinApp::ProcessMessageFilter(int, MSG *msg)
{
    return PreTranslateChain(msg);
}

BOOL CWinApp::FilterMessage(int code, MSG *msg)
{
    if (g_app) return g_app->ProcessMessageFilter(code, msg);
    return PreTranslateChain(msg);
}

int CWinApp::RunApp(HINSTANCE instance, const char *cmdLine)
{
    m_hInstance = instance;
    m_lpCmdLine = cmdLine ? cmdLine : "";
    if (InitInstance()) {
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            if (FilterMessage(MSGF_USER, &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    int code = ExitInstance();
    if (oleStarted_) {
        OleUninitialize();
        oleStarted_ = false;
    }
    return code;
}

BOOL CWinApp::AfxEnableControlContainer()
{
    if (oleStarted_) return TRUE;
    oleStarted_ = SUCCEEDED(OleInitialize(nullptr));
    return oleStarted_;
}

BOOL TranslateAcceleratorKey(HWND wnd, HACCEL table, MSG *msg)
{
    if (!wnd || !table) return FALSE;
    if (msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST) return FALSE;
    return TranslateAcceleratorA(wnd, table, msg) != 0;
}

} // namespace cl
