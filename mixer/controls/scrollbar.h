/*
 * CXScrollBar: a scroll bar drawn from bitmap resources (383..393) in place
 * of a placeholder static control; it tells its parent with WM_HSCROLL /
 * WM_VSCROLL (SB_LINELEFT 0, SB_LINERIGHT 1, SB_THUMBTRACK 5 with the
 * position in the high word).  The owner sets position, range, colours and
 * flags directly (then calls UpdateThumbPosition / Invalidate).
 *
 * CBitmapSlider: a trackbar painted from a channel bitmap and a thumb bitmap
 * (drawn transparently); the mouse wheel never moves it.
 */
#ifndef CORV_CONTROLS_SCROLLBAR_H
#define CORV_CONTROLS_SCROLLBAR_H

#include "wnd.h"
#include "gdi_objects.h"

class CXScrollBar : public cl::CWnd {
public:
    CXScrollBar();
    ~CXScrollBar() override;

    BOOL CreateFromStatic(DWORD style, HWND parent, UINT staticId, UINT id);

    HWND m_parent = nullptr;
    int m_bHorizontal = 1;
    int m_nThumbLeft = 25, m_nThumbTop = 25;
    int m_nBitmapHeight = 12, m_nBitmapWidth = 25;
    int m_nPos = 0, m_nRange = 0;
    RECT m_rectThumb = {-1, -1, -1, -1};
    RECT m_rectClient = {-1, -1, -1, -1};
    COLORREF m_crThumbColor = 0, m_crHoverColor = RGB(255, 204, 0);
    int m_bThumbColor = 0, m_bChannelColor = 1, m_bThumbGripper = 1;
    int m_bThumbHover = 0;
    int m_bMouseDownArrowLeft = 0, m_bMouseDownArrowRight = 0, m_bMouseDownArrowUp = 0, m_bMouseDownArrowDown = 0;
    int m_bMouseDown = 0, m_bDragging = 0;
    int m_bEnabled = 1;

    void SetScrollPos(int pos);
    void SetScrollRange(int range) { m_nRange = range < 0 ? 0 : range; SetScrollPos(m_nPos); }
    /* Thumb from the position, clamped, and a redraw. */
    void UpdateThumbPosition();
    /* Step back / forward as an arrow does. */
    void ScrollLeft();
    void ScrollRight();
    /* The whole client area composed as WM_PAINT shows it. */
    void Compose(HDC dc);

private:
    int Length() const;
    int Piece() const { return m_bHorizontal ? m_nBitmapWidth : m_nBitmapHeight; }
    int &Thumb() { return m_bHorizontal ? m_nThumbLeft : m_nThumbTop; }
    void SendScroll(WPARAM code);
    void PositionFromThumbPlace();
    void OnLButtonDown(POINT pt);
    void OnMouseMove(POINT pt);
    void OnLButtonUp(POINT pt);
    void OnTimer(UINT id);
    HCURSOR hand_ = nullptr;
    bool handOwned_ = false;
};

class CBitmapSlider : public cl::CWnd {
public:
    CBitmapSlider();
    void SetBitmaps(UINT channel, UINT thumb, UINT cursor);
    void SetRange(int min, int max, BOOL redraw = TRUE);
    BOOL PreTranslateMessage(MSG *msg) override;
    /* Where the thumb is painted (client coordinates). */
    POINT ThumbPlace();
    void Paint(HDC dc);
    bool Dragging() const { return dragging_; }

private:
    CMaskedBitmap channel_, thumb_;
    HCURSOR thumbCursor_ = nullptr, cursor_ = nullptr;
    bool dragging_ = false;
};

#endif
