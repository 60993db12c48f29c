/*
 * Coloured text controls and the check-box list.
 *
 * CEditEx: an edit control with its own colours, font, context menu and an
 * optional character filter.  CStaticEx: a coloured static text that can be
 * a link (opened with the shell), toggle another window's visibility, or
 * send a message on a click.  CListCtrlEx: an owner-drawn report list whose
 * state images are check boxes; it tells its parent 6024 after a double
 * click and 6026 after a click that toggled a check box (wParam = item).
 * CLinkLabel: a label with font, alignment, hover colour, flashing and an
 * open-on-click link, drawn through an off-screen renderer that can turn
 * its text by 90, 180 or 270 degrees.
 */
#ifndef CORV_CONTROLS_TEXT_CONTROLS_H
#define CORV_CONTROLS_TEXT_CONTROLS_H

#include "wnd.h"
#include <functional>

constexpr UINT WM_LIST_DBLCLK_CHECK = 6024;   /* 0x1788 */
constexpr UINT WM_LIST_CHECK_TOGGLED = 6026;  /* 0x178A */

class CEditEx : public cl::CWnd {
public:
    CEditEx();
    ~CEditEx() override;
    void SetFont(int height, BYTE pitchAndFamily, const char *face);
    COLORREF SetBkColour(COLORREF c);
    COLORREF SetTextColour(COLORREF c);
    /* Answers false to reject a typed character. */
    std::function<bool(UINT ch)> filter;
    UINT contextMenu = 0;
    BOOL OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT *result) override;

private:
    HBRUSH brush_;
    COLORREF bk_, text_;
    HFONT font_ = nullptr;
};

class CStaticEx : public cl::CWnd {
public:
    CStaticEx();
    ~CStaticEx() override;
    HWND toggleWindow = nullptr;
    HWND notifyWindow = nullptr;
    UINT notifyMessage = 0;
    WPARAM notifyWParam = 0;
    CStaticEx *companion = nullptr;
    BYTE link = 0;
    bool visited = false;
    std::string target;
    void SetFont(int height, BYTE pitchAndFamily, const char *face);
    COLORREF SetBkColour(COLORREF c);
    COLORREF SetTextColour(COLORREF c);
    void RebuildBrush();
    /* What a click does (reflected STN_CLICKED). */
    void OnClicked();
    BOOL OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT *result) override;

private:
    HBRUSH brush_ = nullptr;
    COLORREF bk_, text_, visitedColour_ = 0xC08000;
    HFONT font_ = nullptr;
};

class CListCtrlEx : public cl::CWnd {
public:
    CListCtrlEx();
    ~CListCtrlEx() override;
    BOOL Create(DWORD style, const RECT &rc, HWND parent, UINT id);

    bool IsChecked(int item) const;
    void SetCheck(int item, bool checked);
    /* Toggles; answers 0 when the item became checked, 1 when unchecked. */
    int ToggleCheck(int item);
    void UncheckAll();
    int LastClicked() const { return clicked_; }
    int StateImageWidth() const { return stateWidth_; }
    BOOL OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT *result) override;
    void DrawItem(const DRAWITEMSTRUCT *di);

private:
    void OnLButtonDown(POINT pt);
    void OnLButtonDblClk(POINT pt);
    HWND parent_ = nullptr;
    bool ownerDraw_ = false;
    HIMAGELIST state_ = nullptr;
    int clicked_ = -1;
    int stateWidth_ = 0, clientWidth_ = 0;
    COLORREF text_, textBk_, bk_;
};

class CLinkLabel : public cl::CWnd {
public:
    CLinkLabel();
    ~CLinkLabel() override;
    void SetText(const std::string &text);
    const std::string &Text() const { return text_; }
    void SetTextColour(COLORREF c);
    void SetFontName(const char *face);
    void SetFontSize(int height);
    void SetBitmap(int id);
    int HorizontalAlign() const;   /* 0 left, 1 centre, 2 right */
    int VerticalAlign() const;     /* 0 top, 1 centre, 2 bottom */

    COLORREF bkColour = GetSysColor(COLOR_BTNFACE), bkColour2 = GetSysColor(COLOR_BTNFACE);
    COLORREF hoverColour = GetSysColor(COLOR_HIGHLIGHT);
    int defaultPainting = 0, systemBackground = 1, systemText = 1;
    int isLink = 0, verticalText = 0, lowerCase = 0, upperCase = 0, stretchBitmap = 0, etchedLine = 0;
    int angle = 0, hoverColouring = 0;
    int textFlash = 0, bkFlash = 0;
    HCURSOR cursor = nullptr;
    DWORD textStyle = 9;

    void Paint(HDC dc);

protected:
    void PreSubclassWindow() override;

private:
    void RebuildFont();
    std::string Shown() const;
    void Render(HDC dc, const RECT &client, const std::string &text, COLORREF bk, COLORREF fg);
    std::string text_;
    COLORREF textColour_ = GetSysColor(COLOR_WINDOWTEXT), current_ = GetSysColor(COLOR_WINDOWTEXT), saved_ = 0;
    LOGFONTA lf_ = {};
    HFONT font_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    bool inside_ = false, flashState_ = false, bkState_ = false, selfText_ = false;
};

#endif
