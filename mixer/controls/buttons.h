/*
 * Skinned buttons.
 *
 * CRegionButton: an owner-drawn push button with four pictures (0 idle,
 * 1 pressed, 2 hover, 3 disabled), a hit region (its client rectangle when
 * attached), the arrow / "no" cursor over the region, and a tool tip whose
 * text is the string resource numbered like the control.  It sends the
 * ordinary button notifications.
 *
 * CHoverButton: a bitmap static control with three pictures chosen by its
 * owner through SetState (0, 1, 2), a clip region for its leave test (timer
 * 1, started by the owner) and a tool tip; it sends nothing itself.
 */
#ifndef CORV_CONTROLS_BUTTONS_H
#define CORV_CONTROLS_BUTTONS_H

#include "wnd.h"

class CRegionButton : public cl::CWnd {
public:
    CRegionButton();
    ~CRegionButton() override;

    BOOL SetBitmaps(UINT idle, UINT pressed = 0, UINT hover = 0, UINT disabled = 0);
    void SetToolTip(const char *text);
    void EnableButton(BOOL enable);
    void SetState(int n);
    int GetState() const { return state_; }
    bool IsDisabled() const { return disabled_; }
    HWND ToolTip() const { return tip_; }
    bool ToolTipActive() const { return tipActive_; }
    HBITMAP Picture(int n) const { return n >= 0 && n < 4 ? pictures_[n] : nullptr; }

    BOOL PreTranslateMessage(MSG *msg) override;
    BOOL OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT *result) override;

protected:
    void PreSubclassWindow() override;

private:
    void DrawState(HDC dc);
    void Redraw();
    bool InRegion(POINT pt) const;
    HWND tip_ = nullptr;
    bool tipActive_ = false;
    HBITMAP pictures_[4] = {};
    HRGN region_ = nullptr;
    HCURSOR arrow_, no_;
    bool disabled_ = false;
    bool enabled_ = true;
    int state_ = 0;
};

class CHoverButton : public cl::CWnd {
public:
    CHoverButton();
    ~CHoverButton() override;

    /* Pictures are the owner's bitmap handles (state 1, 0, 2 in this order). */
    void Setup(HBITMAP state1, HBITMAP state0, HBITMAP state2, int initial, HRGN clip);
    void SetToolTip(const char *text);
    void SetState(int n);
    int GetState() const { return state_; }
    BOOL PreTranslateMessage(MSG *msg) override;
    /* The leave test of timer 1 (public for tests). */
    void LeaveTest();

private:
    HBITMAP pictures_[3] = {};
    HCURSOR arrow_, no_;
    int state_ = 0;
    HRGN region_;
    HWND tip_ = nullptr;
};

/* Creates a tool tip (style 0x80000081) for a control; text may be empty. */
HWND CreateToolTip(HWND control, int maxWidth, int delay);
void AddTool(HWND tip, HWND control, const char *text);

#endif
