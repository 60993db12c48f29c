// The time-bar row ("TarvoFX:TimeBar"): one path's span of frames on a
// horizontal scale, standing in for the outside time-bar library's row
// control.  The pages set it with the row messages (span, current frame,
// scale, scroll position, length, style, zoom) and hear from it through
// WM_HSCROLL: a click selects the row's path (12); a drag along the row
// moves the path by the frames dragged (9, amount in the high word) and
// ends with "change finished" (8); with Shift held the drag sets the
// path's length instead (11).
#include <cstdio>

#include "fxeditor.h"

namespace {

const char kClass[] = "TarvoFX:TimeBar";

struct Row {
    int first = 0, last = 0;   // the path's span
    int frame = 1;             // the current frame
    int scale = 1000;          // pixels per 1000 frames
    int scroll = 1;            // the first frame shown
    int length = 0;            // the total length
    int style = 6;             // 5 the current path, 6 another
    bool pressed = false, moved = false;
    int pressX = 0;
};

Row *RowOf(HWND w)
{
    return reinterpret_cast<Row *>(GetWindowLongPtrA(w, 0));
}

int FrameToX(const Row *r, int frame)
{
    return int((long long)(frame - r->scroll) * r->scale / 1000);
}

void Notify(HWND w, int code, int amount)
{
    HWND parent = GetParent(w);
    const WPARAM wp = (WPARAM(uint16_t(int16_t(amount))) << 16) | uint16_t(code);
    if (parent) SendMessageA(parent, WM_HSCROLL, wp, reinterpret_cast<LPARAM>(w));
}

void Paint(HWND w, HDC dc, const Row *r)
{
    RECT rc;
    GetClientRect(w, &rc);
    FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(r->style == 5 ? LTGRAY_BRUSH : WHITE_BRUSH)));
    if (r->last >= r->first && (r->first || r->last)) {
        RECT bar = {FrameToX(r, r->first), 1, FrameToX(r, r->last + 1), rc.bottom - 1};
        HBRUSH b = CreateSolidBrush(r->style == 5 ? RGB(0, 0, 160) : RGB(96, 96, 160));
        FillRect(dc, &bar, b);
        DeleteObject(b);
    }
    char text[80] = "";
    GetWindowTextA(w, text, sizeof text);
    if (text[0]) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        RECT t = rc;
        t.left = FrameToX(r, r->first) + 2;
        DrawTextA(dc, text, -1, &t, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, old);
    }
    const int x = FrameToX(r, r->frame);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, x, 0, nullptr);
    LineTo(dc, x, rc.bottom);
    SelectObject(dc, old);
    DeleteObject(pen);
}

LRESULT WINAPI RowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    Row *r = RowOf(w);
    switch (msg) {
    case WM_NCCREATE:
        SetWindowLongPtrA(w, 0, reinterpret_cast<LONG_PTR>(new Row()));
        break;
    case WM_NCDESTROY:
        delete r;
        SetWindowLongPtrA(w, 0, 0);
        break;
    case TBR_SPAN:
        if (r) {
            r->first = LOWORD(lp);
            r->last = HIWORD(lp);
        }
        return 0;
    case TBR_FRAME:
        if (r) r->frame = int(wp);
        InvalidateRect(w, nullptr, FALSE);
        return 0;
    case TBR_SCALE:
        if (r && int(wp) > 0) r->scale = int(wp);
        return 0;
    case TBR_ZOOM:
        if (r && wp == 1 && int(lp) > 0) r->scale = int(lp);
        InvalidateRect(w, nullptr, FALSE);
        return 0;
    case TBR_SCROLL:
        if (r) r->scroll = int(wp) > 0 ? int(wp) : 1;
        return 0;
    case TBR_LENGTH:
        if (r) r->length = int(wp);
        return 0;
    case TBR_STYLE:
        if (r) r->style = int(wp);
        return 0;
    case TBR_PAGE: {
        RECT rc;
        GetClientRect(w, &rc);
        return r && r->scale > 0 ? LRESULT((long long)rc.right * 1000 / r->scale) : 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        if (r) Paint(w, dc, r);
        EndPaint(w, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
        if (r) {
            r->pressed = true;
            r->moved = false;
            r->pressX = short(LOWORD(lp));
            SetCapture(w);
        }
        return 0;
    case WM_MOUSEMOVE:
        if (r && r->pressed && short(LOWORD(lp)) != r->pressX) r->moved = true;
        return 0;
    case WM_LBUTTONUP:
        if (r && r->pressed) {
            r->pressed = false;
            ReleaseCapture();
            const int dx = short(LOWORD(lp)) - r->pressX;
            const int frames = r->scale > 0 ? int((long long)dx * 1000 / r->scale) : 0;
            if (!r->moved || frames == 0) {
                Notify(w, 12, 0);
            } else if (wp & MK_SHIFT) {
                Notify(w, 11, r->last - r->first + 1 + frames);
                Notify(w, 8, 0);
            } else {
                Notify(w, 9, frames);
                Notify(w, 8, 0);
            }
        }
        return 0;
    case WM_CAPTURECHANGED:
        if (r) r->pressed = false;
        return 0;
    default:
        break;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

}  // namespace

int FxRegisterTimeBarClass(HINSTANCE module)
{
    WNDCLASSA have;
    if (GetClassInfoA(module, kClass, &have)) return 1;
    WNDCLASSA wc = {};
    wc.style = CS_GLOBALCLASS;
    wc.lpfnWndProc = RowProc;
    wc.cbWndExtra = sizeof(void *);
    wc.hInstance = module;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.lpszClassName = kClass;
    return RegisterClassA(&wc) ? 1 : 0;
}
