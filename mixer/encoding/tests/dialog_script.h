/*
 * What the encoding dialog tests share: a dialog driven by a script from
 * inside its own modal loop, the clicks, picks and reads on its controls,
 * and the photograph of a page.
 */
#ifndef MIXER_ENCODING_TESTS_DIALOG_SCRIPT_H
#define MIXER_ENCODING_TESTS_DIALOG_SCRIPT_H

#include <catch2/catch.hpp>
#include "box_capture.h"
#include "screen_shot.h"
#include <commctrl.h>
#include <functional>
#include <string>
#include <utility>
#include <vector>

/* Dialog D whose script runs once it is up (message Msg), then step by
 * step: each Then() runs after the messages already posted.  Self is the
 * type the script steps see. */
template <class Self, class D, UINT Msg> struct ScriptedDialog : D {
    std::function<void(Self &)> script;

    template <class... A> explicit ScriptedDialog(A &&...args) : D(std::forward<A>(args)...)
    {
        this->handlers.Message(Msg, [this](WPARAM, LPARAM) {
            auto step = std::move(script);
            script = nullptr;
            if (step) step(static_cast<Self &>(*this));
            return 0;
        });
    }
    BOOL OnInitDialog() override
    {
        D::OnInitDialog();
        this->PostMessage(Msg);
        return TRUE;
    }
    void Then(std::function<void(Self &)> next)
    {
        script = std::move(next);
        this->PostMessage(Msg);
    }

    bool Enabled(UINT id) const { return ::IsWindowEnabled(this->GetDlgItem(id)) != FALSE; }
    bool Visible(UINT id) const { return ::IsWindowVisible(this->GetDlgItem(id)) != FALSE; }
    bool Checked(UINT id) const { return IsDlgButtonChecked(this->m_hWnd, id) == BST_CHECKED; }
    void Click(UINT id)
    {
        this->SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)this->GetDlgItem(id));
    }
    /* Turns tab control 'tab' to 'page' as a click on the tab would. */
    void SelectTab(UINT tab, int page)
    {
        HWND w = this->GetDlgItem(tab);
        ::SendMessageA(w, TCM_SETCURSEL, page, 0);
        NMHDR n = {w, tab, (UINT)TCN_SELCHANGE};
        this->SendMessage(WM_NOTIFY, tab, (LPARAM)&n);
    }
    void Pick(UINT combo, int line)
    {
        ::SendMessageA(this->GetDlgItem(combo), CB_SETCURSEL, line, 0);
        this->SendMessage(WM_COMMAND, MAKEWPARAM(combo, CBN_SELCHANGE), (LPARAM)this->GetDlgItem(combo));
    }
    /* Selects a list box line as a click on it would. */
    void PickListLine(UINT list, int line)
    {
        ::SendMessageA(this->GetDlgItem(list), LB_SETCURSEL, line, 0);
        this->SendMessage(WM_COMMAND, MAKEWPARAM(list, LBN_SELCHANGE), (LPARAM)this->GetDlgItem(list));
    }
    /* The lines of a combo box or a list box. */
    std::vector<std::string> Lines(UINT id, bool combo)
    {
        std::vector<std::string> out;
        HWND w = this->GetDlgItem(id);
        int n = (int)::SendMessageA(w, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
        for (int i = 0; i < n; ++i) {
            char buf[300] = {};
            ::SendMessageA(w, combo ? CB_GETLBTEXT : LB_GETTEXT, i, (LPARAM)buf);
            out.push_back(buf);
        }
        return out;
    }
};

/* Paints a dialog and its controls now, keeps its picture and checks that
 * something was drawn: more than one pixel in 'faceShare' has the face
 * colour. */
inline void Photograph(HWND wnd, const char *name, int faceShare)
{
    RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    PumpUntil([] { return false; }, 200);
    ScreenShot shot = ScreenShot::Window(wnd);
    shot.Save(name);
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    unsigned want = (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
    int faces = 0;
    for (unsigned p : shot.px) faces += ScreenShot::Near(p, want, 4);
    CHECK(faces > (int)shot.px.size() / faceShare);
}

#endif
