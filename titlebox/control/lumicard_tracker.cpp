#include "lumicard_tracker.h"

#include <algorithm>

namespace lumicard {

RECT HandleRect(const RECT &r, TrackerHit which)
{
    const int s = kHandleSize;
    const int mx = (r.left + r.right) / 2 - s / 2, my = (r.top + r.bottom) / 2 - s / 2;
    switch (which) {
    case HIT_TOP_LEFT: return {r.left - s, r.top - s, r.left, r.top};
    case HIT_TOP_RIGHT: return {r.right, r.top - s, r.right + s, r.top};
    case HIT_BOTTOM_RIGHT: return {r.right, r.bottom, r.right + s, r.bottom + s};
    case HIT_BOTTOM_LEFT: return {r.left - s, r.bottom, r.left, r.bottom + s};
    case HIT_TOP: return {mx, r.top - s, mx + s, r.top};
    case HIT_RIGHT: return {r.right, my, r.right + s, my + s};
    case HIT_BOTTOM: return {mx, r.bottom, mx + s, r.bottom + s};
    case HIT_LEFT: return {r.left - s, my, r.left, my + s};
    default: return {0, 0, 0, 0};
    }
}

TrackerHit TrackerHitTest(const RECT &rect, POINT pt)
{
    RECT r = rect;
    if (r.left > r.right) std::swap(r.left, r.right);
    if (r.top > r.bottom) std::swap(r.top, r.bottom);
    for (int h = HIT_TOP_LEFT; h <= HIT_LEFT; ++h) {
        RECT hr = HandleRect(r, TrackerHit(h));
        if (PtInRect(&hr, pt)) return TrackerHit(h);
    }
    return PtInRect(&r, pt) ? HIT_MIDDLE : HIT_NOTHING;
}

HCURSOR TrackerCursor(TrackerHit hit)
{
    LPCSTR id = IDC_ARROW;
    switch (hit) {
    case HIT_TOP_LEFT: case HIT_BOTTOM_RIGHT: id = IDC_SIZENWSE; break;
    case HIT_TOP_RIGHT: case HIT_BOTTOM_LEFT: id = IDC_SIZENESW; break;
    case HIT_LEFT: case HIT_RIGHT: id = IDC_SIZEWE; break;
    case HIT_TOP: case HIT_BOTTOM: id = IDC_SIZENS; break;
    case HIT_MIDDLE: id = IDC_SIZEALL; break;
    default: break;
    }
    return LoadCursorA(nullptr, id);
}

void DrawTracker(HDC dc, const RECT &rect)
{
    HBRUSH hatch = CreateHatchBrush(HS_BDIAGONAL, RGB(0, 0, 0));
    RECT r = rect;
    InflateRect(&r, kHandleSize, kHandleSize);
    // The hatched band around the rectangle, under the handles.
    RECT bands[4] = {{r.left, r.top, r.right, rect.top}, {r.left, rect.bottom, r.right, r.bottom},
                     {r.left, rect.top, rect.left, rect.bottom}, {rect.right, rect.top, r.right, rect.bottom}};
    int mode = SetBkMode(dc, TRANSPARENT);
    for (const RECT &b : bands) FillRect(dc, &b, hatch);
    SetBkMode(dc, mode);
    DeleteObject(hatch);
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    for (int h = HIT_TOP_LEFT; h <= HIT_LEFT; ++h) {
        RECT hr = HandleRect(rect, TrackerHit(h));
        FillRect(dc, &hr, black);
    }
}

namespace {

// Runs the capture loop: move(pt) for each mouse position until the button
// comes up.  False when Escape or a lost capture cancels.
template <typename Move> bool Follow(HWND wnd, Move move)
{
    SetCapture(wnd);
    RECT client;
    GetClientRect(wnd, &client);
    bool done = false, ok = true;
    while (!done) {
        MSG m;
        if (!GetMessageA(&m, nullptr, 0, 0)) {
            PostQuitMessage(int(m.wParam));
            ok = false;
            break;
        }
        switch (m.message) {
        case WM_MOUSEMOVE:
        case WM_LBUTTONUP: {
            POINT p = {short(LOWORD(m.lParam)), short(HIWORD(m.lParam))};
            if (m.hwnd != wnd) MapWindowPoints(m.hwnd, wnd, &p, 1);
            // The pointer stays inside the client area.
            p.x = std::max(client.left, std::min(p.x, client.right));
            p.y = std::max(client.top, std::min(p.y, client.bottom));
            move(p);
            // A move without the button down means the release went elsewhere.
            if (m.message == WM_LBUTTONUP || !(m.wParam & MK_LBUTTON)) done = true;
            break;
        }
        case WM_KEYDOWN:
            if (m.wParam == VK_ESCAPE) {
                done = true;
                ok = false;
            }
            break;
        case WM_RBUTTONDOWN:
            done = true;
            ok = false;
            break;
        default:
            DispatchMessageA(&m);
            if (GetCapture() != wnd) {
                done = true;
                ok = false;
            }
        }
    }
    if (GetCapture() == wnd) ReleaseCapture();
    return ok;
}

}  // namespace

bool TrackRect(HWND wnd, RECT *rect, TrackerHit hit, POINT pt)
{
    const RECT start = *rect;
    RECT r = start;
    bool ok = Follow(wnd, [&](POINT p) {
        const LONG dx = p.x - pt.x, dy = p.y - pt.y;
        r = start;
        switch (hit) {
        case HIT_MIDDLE: OffsetRect(&r, dx, dy); return;
        case HIT_TOP_LEFT: r.left += dx; r.top += dy; break;
        case HIT_TOP_RIGHT: r.right += dx; r.top += dy; break;
        case HIT_BOTTOM_RIGHT: r.right += dx; r.bottom += dy; break;
        case HIT_BOTTOM_LEFT: r.left += dx; r.bottom += dy; break;
        case HIT_TOP: r.top += dy; break;
        case HIT_RIGHT: r.right += dx; break;
        case HIT_BOTTOM: r.bottom += dy; break;
        case HIT_LEFT: r.left += dx; break;
        default: return;
        }
        // Never smaller than the minimum: the moving edge stops.
        if (r.right - r.left < kMinTrackSize) {
            if (r.left != start.left) r.left = r.right - kMinTrackSize;
            else r.right = r.left + kMinTrackSize;
        }
        if (r.bottom - r.top < kMinTrackSize) {
            if (r.top != start.top) r.top = r.bottom - kMinTrackSize;
            else r.bottom = r.top + kMinTrackSize;
        }
        InvalidateRect(wnd, nullptr, FALSE);
    });
    if (!ok) return false;
    *rect = r;
    return !EqualRect(&r, &start);
}

bool TrackRubberBand(HWND wnd, POINT pt, RECT *band)
{
    RECT r = {pt.x, pt.y, pt.x, pt.y};
    bool ok = Follow(wnd, [&](POINT p) {
        r = {std::min(pt.x, p.x), std::min(pt.y, p.y), std::max(pt.x, p.x), std::max(pt.y, p.y)};
    });
    *band = r;
    return ok;
}

}  // namespace lumicard
