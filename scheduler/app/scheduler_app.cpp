#include "scheduler_app.h"

#include <commctrl.h>
#include <ole2.h>

#include "resource.h"

BOOL SchedulerApp::InitInstance()
{
    AfxEnableControlContainer();
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    CoInitialize(nullptr);
    SchedulerMainWindow window;
    Attach(&window);
    m_pMainWnd = &window;
    const INT_PTR r = window.DoModal();
    exitCode = window.ExitCode() ? window.ExitCode() : (r == 17 ? 17 : 0);
    m_pMainWnd = nullptr;
    Attach(nullptr);
    return FALSE;
}

void SchedulerApp::Attach(SchedulerMainWindow *window)
{
    if (window && !accel_)
        accel_ = LoadAcceleratorsA(m_hInstance ? m_hInstance : GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_ACCEL));
    window_ = window;
}

int SchedulerApp::ExitInstance()
{
    CoUninitialize();
    return exitCode;
}

BOOL SchedulerApp::ProcessMessageFilter(int code, MSG *msg)
{
    if (window_ && window_->m_hWnd && accel_ &&
        (msg->hwnd == window_->m_hWnd || IsChild(window_->m_hWnd, msg->hwnd)) &&
        cl::TranslateAcceleratorKey(window_->m_hWnd, accel_, msg))
        return TRUE;
    return cl::CWinApp::ProcessMessageFilter(code, msg);
}
