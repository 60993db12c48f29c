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
