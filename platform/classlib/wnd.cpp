#include "wnd.h"
#include <cstdarg>
#include <cstdio>

namespace cl {

namespace {
/* The window property that holds the attached object. */
const char kObjectProp[] = "CorvClassLibObject";
}

bool HandlerTable::Dispatch(UINT msg, WPARAM wp, LPARAM lp, LRESULT *result) const
{
    if (msg == WM_COMMAND) {
        UINT id = LOWORD(wp), code = HIWORD(wp);
        for (const auto &c : commands_) {
            if (id < c.first || id > c.last) continue;
            bool click = c.code == kAnyClick && (code == 0 || code == 1);
            if (!click && c.code != code) continue;
            c.fn(id);
            *result = 0;
            return true;
        }
    } else if (msg == WM_NOTIFY) {
        auto *nm = reinterpret_cast<NMHDR *>(lp);
        for (const auto &n : notifies_) {
            if (nm && n.id == nm->idFrom && n.code == nm->code) {
                *result = n.fn(nm);
                return true;
            }
        }
    }
    for (const auto &m : messages_) {
        if (m.msg == msg) {
            *result = m.fn(wp, lp);
            return true;
        }
    }
    return false;
}

CWnd::~CWnd()
{
    if (m_hWnd && IsWindow(m_hWnd) && FromHandle(m_hWnd) == this) UnsubclassWindow();
}

CWnd *CWnd::FromHandle(HWND wnd)
{
    return wnd ? static_cast<CWnd *>(GetPropA(wnd, kObjectProp)) : nullptr;
}

BOOL CWnd::SubclassWindow(HWND wnd)
{
    if (!wnd || !IsWindow(wnd) || FromHandle(wnd)) return FALSE;
    m_hWnd = wnd;
    SetPropA(wnd, kObjectProp, this);
    PreSubclassWindow();
    super_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StaticProc)));
    return super_ != nullptr;
}

BOOL CWnd::SubclassDlgItem(UINT id, HWND parent)
{
    return SubclassWindow(::GetDlgItem(parent, id));
}

HWND CWnd::UnsubclassWindow()
{
    HWND wnd = m_hWnd;
    if (!wnd) return nullptr;
    if (IsWindow(wnd)) {
        if (super_) SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(super_));
        RemovePropA(wnd, kObjectProp);
    }
    super_ = nullptr;
    m_hWnd = nullptr;
    return wnd;
}

BOOL CWnd::CreateEx(DWORD exStyle, const char *cls, const char *text, DWORD style, const RECT &rc, HWND parent,
                    UINT id)
{
    HMENU menu = (style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)) : nullptr;
    HWND wnd = CreateWindowExA(exStyle, cls, text ? text : "", style, rc.left, rc.top, rc.right - rc.left,
                               rc.bottom - rc.top, parent, menu, GetModuleHandleA(nullptr), nullptr);
    if (!wnd) return FALSE;
    return SubclassWindow(wnd);
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd) return FALSE;
    return ::DestroyWindow(m_hWnd);
}

LRESULT CALLBACK CWnd::StaticProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    CWnd *self = FromHandle(wnd);
    if (!self) return ::DefWindowProcA(wnd, msg, wp, lp);
    Current saved = self->current_;
    self->current_ = {msg, wp, lp};
    LRESULT r;
    if (msg == WM_NCDESTROY) {
        WNDPROC super = self->super_;
        SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(super));
        RemovePropA(wnd, kObjectProp);
        r = CallWindowProcA(super, wnd, msg, wp, lp);
        self->super_ = nullptr;
        self->m_hWnd = nullptr;
        self->PostNcDestroy();
        return r;
    }
    r = self->WindowProc(msg, wp, lp);
    self->current_ = saved;
    return r;
}

bool CWnd::ReflectToChild(UINT msg, WPARAM wp, LPARAM lp, LRESULT *result)
{
    HWND child = nullptr;
    switch (msg) {
    case WM_COMMAND: child = reinterpret_cast<HWND>(lp); break;
    case WM_NOTIFY: child = lp ? reinterpret_cast<NMHDR *>(lp)->hwndFrom : nullptr; break;
    case WM_CTLCOLORBTN: case WM_CTLCOLOREDIT: case WM_CTLCOLORDLG: case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC:
        child = reinterpret_cast<HWND>(lp); break;
    case WM_DRAWITEM: child = lp ? reinterpret_cast<DRAWITEMSTRUCT *>(lp)->hwndItem : nullptr; break;
    case WM_HSCROLL: case WM_VSCROLL: child = reinterpret_cast<HWND>(lp); break;
    default: return false;
    }
    CWnd *obj = FromHandle(child);
    return obj && obj->OnChildNotify(msg, wp, lp, result);
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    LRESULT r = 0;
    if (ReflectToChild(msg, wp, lp, &r)) return r;
    if (handlers.Dispatch(msg, wp, lp, &r)) return r;
    return Default();
}

LRESULT CWnd::Default()
{
    return DefWindowProc(current_.msg, current_.wp, current_.lp);
}

LRESULT CWnd::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (super_) return CallWindowProcA(super_, m_hWnd, msg, wp, lp);
    return ::DefWindowProcA(m_hWnd, msg, wp, lp);
}

BOOL CWnd::PreTranslateMessage(MSG *)
{
    return FALSE;
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT *)
{
    return FALSE;
}

std::string CWnd::GetWindowText() const
{
    int n = GetWindowTextLengthA(m_hWnd);
    std::string s(n + 1, '\0');
    n = ::GetWindowTextA(m_hWnd, &s[0], n + 1);
    s.resize(n > 0 ? n : 0);
    return s;
}

std::string CWnd::GetDlgItemText(UINT id) const
{
    HWND item = ::GetDlgItem(m_hWnd, id);
    if (!item) return {};
    int n = GetWindowTextLengthA(item);
    std::string s(n + 1, '\0');
    n = ::GetWindowTextA(item, &s[0], n + 1);
    s.resize(n > 0 ? n : 0);
    return s;
}

void CWnd::ModifyStyle(DWORD remove, DWORD add) const
{
    LONG_PTR s = GetStyle();
    SetWindowLongPtrA(m_hWnd, GWL_STYLE, (s & ~(LONG_PTR)remove) | add);
}

std::string Format(const char *fmt, ...)
{
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof(buf), fmt, ap);
    va_end(ap);
    if (n < 0) return {};
    if ((size_t)n < sizeof(buf)) return std::string(buf, n);
    std::string s(n + 1, '\0');
    va_start(ap, fmt);
    vsnprintf(&s[0], s.size(), fmt, ap);
    va_end(ap);
    s.resize(n);
    return s;
}

} // namespace cl
