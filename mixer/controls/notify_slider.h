/*
 * CNotifySlider: a trackbar that tells its parent whenever the user moves
 * it.  After the trackbar's own handling of a key press or a left-button
 * press, and on every mouse move while the left button is held, it sends
 * WM_SLIDER_MOVED (107, no parameters) to its parent window.
 */
#ifndef CORV_CONTROLS_NOTIFY_SLIDER_H
#define CORV_CONTROLS_NOTIFY_SLIDER_H

#include "wnd.h"

constexpr UINT WM_SLIDER_MOVED = 107;

class CNotifySlider : public cl::CWnd {
public:
    CNotifySlider();

private:
    LRESULT AfterDefault();
};

#endif
