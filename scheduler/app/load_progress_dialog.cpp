#include "load_progress_dialog.h"

BOOL LoadProgressDialog::OnInitDialog()
{
    bar_.SubclassDlgItem(kBar, m_hWnd);
    bar_.SetRange(0, 100);
    bar_.SetPos(0);
    return TRUE;
}

void LoadProgressDialog::Step(size_t done, size_t total)
{
    if (done == 0 && !m_hWnd) {
        if (!Create(parent_))
            return;
        ++opened_;
        ShowWindow(SW_SHOWNOACTIVATE);
    }
    if (!m_hWnd)
        return;
    const int high = total > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(total);
    bar_.SetRange(0, high);
    bar_.SetPos(done > total ? high : static_cast<int>(done));
    lastPercent_ = bar_.Percent();
    ::UpdateWindow(bar_.m_hWnd);
    if (done >= total) {
        ::DestroyWindow(m_hWnd);
    }
}

void LoadProgressDialog::LieOver(HWND list, int width)
{
    if (!m_hWnd || !list)
        return;
    ModifyStyle(WS_CAPTION | WS_BORDER | WS_DLGFRAME | DS_MODALFRAME, 0);
    ::SetWindowLongPtrA(m_hWnd, GWL_EXSTYLE,
                        ::GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE) & ~(WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE));
    RECT client;
    ::GetClientRect(list, &client);
    POINT at = {client.left, client.bottom - 21};
    ::ClientToScreen(list, &at);
    ::SetWindowPos(m_hWnd, HWND_TOP, at.x, at.y, width, 21, SWP_NOACTIVATE | SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    ::SetWindowPos(bar_.m_hWnd, nullptr, 0, 0, width, 17, SWP_NOZORDER | SWP_NOACTIVATE);
    ::UpdateWindow(m_hWnd);
}
