// A host that opens the effects editor in windows of its own, for the
// editor's tests under a real display (programs named test_*_screen run
// under Xvfb).  The host answers the library's window request
// (FXN_GET_WINDOW) with its view area for the main window (kind 4) and its
// bottom area for the tool dialog (kind 8), and drives the editor with real
// input through the window system (SendInput), never with messages posted
// to a window procedure.  Screenshots go to $CORV_ARTEFACTS (else the
// working folder) as 24-bit .bmp files.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "fxeditor.h"
#include "fxhost_host.h"

namespace fxtest {

// ---------------------------------------------------------------- waiting

// Handles the thread's messages until pred() holds or ms pass; true when
// it held.
template <class Pred>
bool PumpUntil(Pred pred, DWORD ms = 5000)
{
    const DWORD end = GetTickCount() + ms;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (pred()) return true;
        if (int(GetTickCount() - end) > 0) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

// Handles what is queued now (and what arrives within ms).
inline void Pump(DWORD ms = 50)
{
    PumpUntil([] { return false; }, ms);
}

// ---------------------------------------------------------------- real input

inline void SendInputs(std::vector<INPUT> &in)
{
    if (!in.empty()) SendInput(UINT(in.size()), in.data(), sizeof(INPUT));
}

// The pointer to screen point (x, y).
inline void MouseTo(int x, int y)
{
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    INPUT i = {};
    i.type = INPUT_MOUSE;
    i.mi.dx = LONG((x * 65535LL + (w - 1) / 2) / (w > 1 ? w - 1 : 1));
    i.mi.dy = LONG((y * 65535LL + (h - 1) / 2) / (h > 1 ? h - 1 : 1));
    i.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    std::vector<INPUT> v{i};
    SendInputs(v);
    PumpUntil([&] {
        POINT p;
        GetCursorPos(&p);
        return p.x == x && p.y == y;
    }, 2000);
}

inline void MouseButton(bool right, bool down)
{
    INPUT i = {};
    i.type = INPUT_MOUSE;
    i.mi.dwFlags = right ? (down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP)
                         : (down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP);
    std::vector<INPUT> v{i};
    SendInputs(v);
}

// The screen point of client point (x, y) of w.
inline POINT ScreenPoint(HWND w, int x, int y)
{
    POINT p = {x, y};
    ClientToScreen(w, &p);
    return p;
}

// A click at client point (x, y) of w (the middle of w when x < 0).
inline void Click(HWND w, int x = -1, int y = -1, bool right = false)
{
    if (x < 0) {
        RECT rc;
        GetClientRect(w, &rc);
        x = rc.right / 2;
        y = rc.bottom / 2;
    }
    const POINT p = ScreenPoint(w, x, y);
    MouseTo(p.x, p.y);
    MouseButton(right, true);
    Pump(30);
    MouseButton(right, false);
    Pump(50);
}

// A key pressed and released with the keys in `held` down around it.
inline void Key(WORD vk, std::initializer_list<WORD> held = {})
{
    std::vector<INPUT> in;
    auto push = [&](WORD k, bool up) {
        INPUT i = {};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = k;
        i.ki.wScan = WORD(MapVirtualKeyA(k, 0));
        i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    };
    for (WORD h : held) push(h, false);
    push(vk, false);
    push(vk, true);
    for (auto it = held.end(); it != held.begin();) push(*--it, true);
    SendInputs(in);
    Pump(30);
}

// Typed characters (digits, letters, '.', '-' and blanks).
inline void Type(const char *text)
{
    for (const char *c = text; *c; ++c) {
        const SHORT vk = VkKeyScanA(*c);
        if (vk == -1) continue;
        if (vk & 0x100)
            Key(WORD(vk & 0xFF), {VK_SHIFT});
        else
            Key(WORD(vk & 0xFF));
    }
}

// Brings the window to the front so that keys reach it.
inline bool Front(HWND top)
{
    ShowWindow(top, SW_SHOW);
    SetForegroundWindow(top);
    return PumpUntil([&] { return GetForegroundWindow() == top; }, 3000);
}

// ---------------------------------------------------------------- pictures

// The screen pixels of w as 0x00RRGGBB, row by row.
struct Shot {
    int w = 0, h = 0;
    std::vector<unsigned> px;
    unsigned At(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h ? px[size_t(y) * w + x] : 0xFF000000u; }
};

inline Shot TakeShot(HWND wnd)
{
    RECT r;
    GetWindowRect(wnd, &r);
    Shot s;
    s.w = r.right - r.left;
    s.h = r.bottom - r.top;
    if (s.w <= 0 || s.h <= 0) return s;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = s.w;
    bi.bmiHeader.biHeight = -s.h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, s.w, s.h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    s.px.assign(static_cast<const unsigned *>(bits), static_cast<const unsigned *>(bits) + size_t(s.w) * s.h);
    for (unsigned &p : s.px) p &= 0xFFFFFF;
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteObject(dib);
    ReleaseDC(nullptr, screen);
    return s;
}

// Writes the shot as a .bmp named `name` into the artefacts folder; the
// path written, empty on failure.
inline std::string SaveShot(const Shot &s, const char *name)
{
    const char *dir = std::getenv("CORV_ARTEFACTS");
    const std::string path = std::string(dir && *dir ? dir : ".") + "/" + name;
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return {};
    const int stride = (s.w * 3 + 3) & ~3;
    unsigned char head[54] = {'B', 'M'};
    auto put32 = [&](int at, unsigned v) {
        for (int i = 0; i < 4; ++i) head[at + i] = (v >> (8 * i)) & 255;
    };
    put32(2, 54 + stride * s.h);
    put32(10, 54);
    put32(14, 40);
    put32(18, unsigned(s.w));
    put32(22, unsigned(s.h));
    head[26] = 1;
    head[28] = 24;
    put32(34, stride * s.h);
    std::fwrite(head, 1, 54, f);
    std::vector<unsigned char> row(stride, 0);
    for (int y = s.h - 1; y >= 0; --y) {
        for (int x = 0; x < s.w; ++x) {
            const unsigned c = s.At(x, y);
            row[x * 3] = c & 255;
            row[x * 3 + 1] = (c >> 8) & 255;
            row[x * 3 + 2] = (c >> 16) & 255;
        }
        std::fwrite(row.data(), 1, stride, f);
    }
    std::fclose(f);
    return path;
}

inline std::string SaveShot(HWND w, const char *name)
{
    UpdateWindow(w);
    Pump(100);
    return SaveShot(TakeShot(w), name);
}

// ---------------------------------------------------------------- the host

// A host with the library loaded by file name and its own top-level window
// split into a view area (the editor's bind and main window go there) and
// a bottom area (the tool dialog).
struct EditorHost {
    TestHost host;
    HWND frame = nullptr;   // the host's top-level window
    HWND view = nullptr;    // answered for the main window (kind 4)
    HWND bottom = nullptr;  // answered for the bottom dialog (kind 8)
    int windowRequests = 0; // FXN_GET_WINDOW seen
    std::string script;     // FX script the effect is loaded from ("" an empty effect)

    static LRESULT CALLBACK FrameProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
    {
        return DefWindowProcA(w, msg, wp, lp);
    }
    static const char *ClassName()
    {
        static bool done = false;
        if (!done) {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = FrameProc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
            wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
            wc.lpszClassName = "FxEditorTestHost";
            RegisterClassA(&wc);
            done = true;
        }
        return "FxEditorTestHost";
    }

    // personality: the node's personality number; hostKind: the private
    // data's host kind (0 a plain host).
    explicit EditorHost(uint32_t personality = 1, uint32_t hostKind = 0, int width = 900, int height = 720)
        : host("Cubby Test", true)
    {
        host.Number(personality, hostKind);
        const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | WS_VISIBLE;
        frame = CreateWindowExA(0, ClassName(), "Editor host", style, 0, 0, width, height, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
        RECT rc;
        GetClientRect(frame, &rc);
        const int viewHeight = rc.bottom * 5 / 9;
        view = CreateWindowExA(0, ClassName(), "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, rc.right,
                               viewHeight, frame, nullptr, GetModuleHandleA(nullptr), nullptr);
        bottom = CreateWindowExA(0, ClassName(), "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, viewHeight,
                                 rc.right, rc.bottom - viewHeight, frame, nullptr, GetModuleHandleA(nullptr), nullptr);
        host.self.node.window = frame;
        host.answer = [this](UINT message, WPARAM, void *record, bool &handled) -> INT_PTR {
            if (message != FXN_GET_WINDOW || !record) return 0;
            ++windowRequests;
            handled = true;
            const auto *q = static_cast<const FxPlacementQuery *>(record);
            if (q->kind == 4) return INT_PTR(view);
            if (q->kind == 8) return INT_PTR(bottom);
            return 0;
        };
    }
    ~EditorHost()
    {
        host.Send(FXN_CLOSE);
        host.Detach();
        host.answer = nullptr;
        DestroyWindow(frame);
        Pump(20);
    }
    EditorHost(const EditorHost &) = delete;
    EditorHost &operator=(const EditorHost &) = delete;

    // Attaches, starts an empty effect and asks for the editor in the
    // host's windows (FXN_CREATE_EDITOR); true when the editor is open.
    // `before` runs on the attached instance before the editor is asked.
    bool Open(const std::function<void(FxInstance *)> &before = nullptr)
    {
        if (host.Attach() != 1) return false;
        if (script.empty()) {
            host.Send(FXN_LOAD_EFFECT, WPARAM(-1));
        } else {
            // The host's store hands over an effect block: the header and the text.
            FxEffectBlock h = {};
            h.size = FXB_HEADER_SIZE;
            h.version = FXB_VERSION;
            h.textLength = h.dataLength = uint32_t(script.size() + 1);
            h.textOffset = FXB_HEADER_SIZE;
            h.timeStamp = 0xFFFFFFFFu;
            h.cardId = FXB_NO_CARD;
            host.block.assign(reinterpret_cast<const uint8_t *>(&h), reinterpret_cast<const uint8_t *>(&h + 1));
            host.block.insert(host.block.end(), script.begin(), script.end());
            host.block.push_back(0);
            if (host.Send(FXN_LOAD_EFFECT, 0) != 1) return false;
        }
        if (before) before(Inst());
        if (host.Send(FXN_CREATE_EDITOR) != 1) return false;
        Front(frame);
        Pump(100);
        return IsWindow(Bind());
    }
    HWND Bind() const { return host.lib.window; }
    HWND Tool() const { return host.lib.toolWindow; }
    FxInstance *Inst() { return host.Instance(); }
    FxEffect *Effect() { return FxCurrentEffect(Inst()); }
    FxKeyframe *Keyframe()
    {
        FxEffect *fx = Effect();
        return fx && fx->current ? fx->current->current : nullptr;
    }
    // The first visible descendant of `under` (the tool dialog when null)
    // with control id `id`.
    struct FindControl {
        int id;
        HWND found;
        static BOOL CALLBACK Visit(HWND w, LPARAM p)
        {
            auto *f = reinterpret_cast<FindControl *>(p);
            if (GetDlgCtrlID(w) == f->id && IsWindowVisible(w)) {
                f->found = w;
                return FALSE;
            }
            return TRUE;
        }
    };
    HWND Control(int id, HWND under = nullptr)
    {
        FindControl f = {id, nullptr};
        EnumChildWindows(under ? under : Tool(), FindControl::Visit, reinterpret_cast<LPARAM>(&f));
        return f.found;
    }
    std::string Shot(const char *name) { return SaveShot(frame, name); }
};

}  // namespace fxtest
