#include "notify_slider.h"

CNotifySlider::CNotifySlider()
{
    handlers.Message(WM_KEYDOWN, [this](WPARAM, LPARAM) { return AfterDefault(); });
    handlers.Message(WM_LBUTTONDOWN, [this](WPARAM, LPARAM) { return AfterDefault(); });
    handlers.Message(WM_MOUSEMOVE, [this](WPARAM wp, LPARAM) {
        if (!(wp & MK_LBUTTON)) return Default();
        return AfterDefault();
    });
}

LRESULT CNotifySlider::AfterDefault()
{
    LRESULT r = Default();
    ::SendMessageA(GetParent(), WM_SLIDER_MOVED, 0, 0);
    return r;
}
