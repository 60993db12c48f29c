/*
 * CWnd: one object wrapping one HWND, with a table of message handlers.
 *
 * A window object is attached to an existing window by subclassing it
 * (SubclassWindow, SubclassDlgItem) or by creating a window of an existing
 * class through it (CreateEx).  Its WindowProc looks in the handler table
 * first; an unhandled message goes to the window's previous procedure
 * (Default).  Messages a parent receives about a child (WM_COMMAND with a
 * control, WM_NOTIFY, WM_CTLCOLOR*, WM_DRAWITEM, WM_HSCROLL/WM_VSCROLL from a
 * control) are offered to the child's object first through OnChildNotify
 * ("reflection"), so a control class can colour or draw itself.
 *
 * Everything runs on the window's thread.  The object must outlive its
 * window or be detached (UnsubclassWindow / destructor) before it goes.
 */
#ifndef CORV_CLASSLIB_WND_H
#define CORV_CLASSLIB_WND_H

#include <windows.h>
#include <commctrl.h>
#include <functional>
#include <string>
#include <vector>

namespace cl {

/* The handlers of one window.  Each entry is an ordinary callable; a class
 * fills its table in its constructor, so a test can call the same methods
 * directly. */
class HandlerTable {
public:
    using MessageFn = std::function<LRESULT(WPARAM, LPARAM)>;
    using CommandFn = std::function<void()>;
    using RangeFn = std::function<void(UINT id)>;
    using NotifyFn = std::function<LRESULT(NMHDR *)>;

    /* Any message by number. */
    void Message(UINT msg, MessageFn fn) { messages_.push_back({msg, std::move(fn)}); }
    /* WM_COMMAND from a menu item, an accelerator or a button click
     * (notification code 0 or 1) with this identifier. */
    void Command(UINT id, CommandFn fn) { commands_.push_back({id, id, kAnyClick, [fn](UINT) { fn(); }}); }
    /* WM_COMMAND with this identifier and notification code. */
    void CommandCode(UINT id, UINT code, CommandFn fn) { commands_.push_back({id, id, code, [fn](UINT) { fn(); }}); }
    /* WM_COMMAND (code 0 or 1) with an identifier in first..last. */
    void CommandRange(UINT first, UINT last, RangeFn fn) { commands_.push_back({first, last, kAnyClick, std::move(fn)}); }
    /* WM_NOTIFY from control id with this code. */
    void Notify(UINT id, UINT code, NotifyFn fn) { notifies_.push_back({id, code, std::move(fn)}); }

    /* Runs the first matching handler; false when none matched. */
    bool Dispatch(UINT msg, WPARAM wp, LPARAM lp, LRESULT *result) const;

private:
    static constexpr UINT kAnyClick = 0xFFFFFFFF;
    struct Msg { UINT msg; MessageFn fn; };
    struct Cmd { UINT first, last, code; RangeFn fn; };
    struct Ntf { UINT id, code; NotifyFn fn; };
    std::vector<Msg> messages_;
    std::vector<Cmd> commands_;
    std::vector<Ntf> notifies_;
};

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd &) = delete;
    CWnd &operator=(const CWnd &) = delete;

    HWND m_hWnd = nullptr;
    operator HWND() const { return m_hWnd; }

    /* The object attached to a window, or null. */
    static CWnd *FromHandle(HWND wnd);

    /* Attaches to a window by replacing its window procedure. */
    BOOL SubclassWindow(HWND wnd);
    BOOL SubclassDlgItem(UINT id, HWND parent);
    /* Puts the previous procedure back; returns the window. */
    HWND UnsubclassWindow();

    /* Creates a window of an existing class and attaches to it. */
    BOOL CreateEx(DWORD exStyle, const char *cls, const char *text, DWORD style, const RECT &rc, HWND parent,
                  UINT id);
    BOOL DestroyWindow();

    /* The message path: handler table, then the previous procedure. */
    virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);
    /* The previous procedure with the message being handled. */
    LRESULT Default();
    /* The previous procedure with another message. */
    LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp);

    /* Offered each message of the application's modal loops before dispatch
     * (see CWinApp::ProcessMessageFilter); true when consumed. */
    virtual BOOL PreTranslateMessage(MSG *msg);
    /* A message about this control that its parent received; answer true
     * with *result to consume it. */
    virtual BOOL OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT *result);
    /* Called right after attaching, before any message arrives. */
    virtual void PreSubclassWindow() {}
    /* Called after the window is destroyed (WM_NCDESTROY). */
    virtual void PostNcDestroy() {}

    /* Thin conveniences. */
    HWND GetDlgItem(UINT id) const { return ::GetDlgItem(m_hWnd, id); }
    UINT GetDlgCtrlID() const { return (UINT)::GetDlgCtrlID(m_hWnd); }
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    void SetWindowText(const std::string &s) const { ::SetWindowTextA(m_hWnd, s.c_str()); }
    std::string GetWindowText() const;
    void SetDlgItemText(UINT id, const std::string &s) const { ::SetDlgItemTextA(m_hWnd, id, s.c_str()); }
    std::string GetDlgItemText(UINT id) const;
    RECT GetClientRect() const { RECT r = {}; ::GetClientRect(m_hWnd, &r); return r; }
    RECT GetWindowRect() const { RECT r = {}; ::GetWindowRect(m_hWnd, &r); return r; }
    void Invalidate(BOOL erase = TRUE) const { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void MoveWindow(int x, int y, int w, int h, BOOL repaint = TRUE) const { ::MoveWindow(m_hWnd, x, y, w, h, repaint); }
    BOOL ShowWindow(int cmd) const { return ::ShowWindow(m_hWnd, cmd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::SendMessageA(m_hWnd, msg, wp, lp); }
    BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::PostMessageA(m_hWnd, msg, wp, lp); }
    LONG_PTR GetStyle() const { return ::GetWindowLongPtrA(m_hWnd, GWL_STYLE); }
    void ModifyStyle(DWORD remove, DWORD add) const;

protected:
    HandlerTable handlers;

    /* Sends a parent's message about a child to the child's object. */
    static bool ReflectToChild(UINT msg, WPARAM wp, LPARAM lp, LRESULT *result);

private:
    static LRESULT CALLBACK StaticProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
    WNDPROC super_ = nullptr;
    struct Current { UINT msg; WPARAM wp; LPARAM lp; };
    Current current_ = {};
};

/* Text helpers shared by the library and its users. */
std::string Format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

} // namespace cl

#endif
