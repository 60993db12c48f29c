// The page's mapping on a real display: the control draws its page onto
// the client size recorded by LMSetWindowExt, the size in which the mouse's
// page coordinates are counted, so what is seen under the mouse is what a
// click picks, whatever size the control's window has.  Clicks go through
// the window system (SendInput); a screenshot goes to the artefacts.
#include <catch2/catch.hpp>

#include <windows.h>
#include <atlbase.h>
#include <atliface.h>
#include <ole2.h>

#include <cstring>
#include <string>
#include <vector>

#include "Lumicard_h.h"
#include "profile.h"
#include "screen_shot.h"
#include "title_export.h"
#include "title_file.h"

using namespace titlebox;

namespace {

// The export lands in the temporary folder: a folder of this program's own.
struct PrivateTemp {
    PrivateTemp()
    {
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        std::string mine = std::string(dir) + "lumicard_ext_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(mine.c_str(), nullptr);
        SetEnvironmentVariableA("TMP", mine.c_str());
        SetEnvironmentVariableA("TEMP", mine.c_str());
    }
} privateTemp;

VARIANT I2(short v) { VARIANT x; VariantInit(&x); V_VT(&x) = VT_I2; V_I2(&x) = v; return x; }
VARIANT I4(LONG v) { VARIANT x; VariantInit(&x); V_VT(&x) = VT_I4; V_I4(&x) = v; return x; }

LONG Call(IDispatch *d, DISPID id, std::vector<VARIANT> args = {})
{
    std::vector<VARIANT> rev(args.rbegin(), args.rend());
    DISPPARAMS p = {rev.empty() ? nullptr : rev.data(), nullptr, UINT(rev.size()), 0};
    VARIANT r;
    VariantInit(&r);
    REQUIRE(d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &p, &r, nullptr, nullptr) == S_OK);
    if (V_VT(&r) == VT_EMPTY) return 0;
    VariantChangeType(&r, &r, 0, VT_I4);
    return V_I4(&r);
}

void CallPath(IDispatch *d, DISPID id, const std::string &path)
{
    WCHAR w[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, w, MAX_PATH);
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(w);
    DISPPARAMS p = {&v, nullptr, 1, 0};
    REQUIRE(d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr) == S_OK);
    VariantClear(&v);
}

void Pump(DWORD ms)
{
    DWORD end = GetTickCount() + ms;
    do {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        Sleep(10);
    } while (int(end - GetTickCount()) > 0);
}

// Pumps until the control's selection state is want, at most two seconds.
bool WaitSelected(IDispatch *d, bool want)
{
    for (int i = 0; i < 200; ++i) {
        Pump(10);
        if ((Call(d, 58) != 0) == want) return true;
    }
    return false;
}

// A left click at a client point of wnd, through the window system.
void Click(HWND wnd, int x, int y)
{
    POINT p = {x, y};
    ClientToScreen(wnd, &p);
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    INPUT in[3] = {};
    for (INPUT &i : in) {
        i.type = INPUT_MOUSE;
        i.mi.dx = LONG((p.x * 65536 + sw / 2) / sw);
        i.mi.dy = LONG((p.y * 65536 + sh / 2) / sh);
    }
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in[0], sizeof(INPUT));
    Pump(50);
    SendInput(2, &in[1], sizeof(INPUT));
}

std::vector<uint8_t> ReadFile(const std::string &path)
{
    std::vector<uint8_t> b;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return b;
    b.resize(GetFileSize(f, nullptr));
    DWORD got = 0;
    ::ReadFile(f, b.data(), DWORD(b.size()), &got, nullptr);
    CloseHandle(f);
    return b;
}

/* The control in a top-level window on the display, at w x h, with a
 * clean profile before and after. */
struct Hosted {
    HWND top = nullptr, wnd = nullptr;
    IUnknown *unk = nullptr;
    IDispatch *d = nullptr;
    Hosted(int w, int h)
    {
        OleInitialize(nullptr);
        cl::CProfile("Software\\Halvard\\Lumicard10").DeleteAll();
        AtlAxWinInit();
        top = CreateWindowExA(0, "STATIC", "Lumicard", WS_POPUP | WS_VISIBLE, 40, 40, 640, 480, nullptr, nullptr,
                              nullptr, nullptr);
        HWND ax = CreateWindowExA(0, "AtlAxWin", "Lumicard.LumicardCtrl.1", WS_CHILD | WS_VISIBLE, 0, 0, w, h, top,
                                  nullptr, nullptr, nullptr);
        REQUIRE(AtlAxGetControl(ax, &unk) == S_OK);
        REQUIRE(unk->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&d)) == S_OK);
        IOleWindow *ow = nullptr;
        REQUIRE(unk->QueryInterface(IID_IOleWindow, reinterpret_cast<void **>(&ow)) == S_OK);
        ow->GetWindow(&wnd);
        ow->Release();
        REQUIRE(wnd);
        SetForegroundWindow(top);
    }
    ~Hosted()
    {
        if (d) d->Release();
        if (unk) unk->Release();
        DestroyWindow(top);
        cl::CProfile("Software\\Halvard\\Lumicard10").DeleteAll();
        OleUninitialize();
    }
    void Resize(int w, int h)
    {
        MoveWindow(wnd, 0, 0, w, h, TRUE);
        Pump(100);
    }
};

const unsigned kPage = 0x002040;  // COLORREF 0x402000 on the screen
const unsigned kBox = 0xFFFFFF;

// The box (20, 20)-(120, 120) in page pixels: seen at those client pixels
// and picked there by the mouse; (150, 150) shows the page and picks
// nothing.
void SeenWherePicked(Hosted &h, const char *shot)
{
    InvalidateRect(h.wnd, nullptr, TRUE);
    Pump(200);
    ScreenShot s = ScreenShot::Window(h.wnd);
    s.Save(shot);
    CHECK(ScreenShot::Near(s.At(24, 24), kBox, 8));
    CHECK(ScreenShot::Near(s.At(116, 116), kBox, 8));
    CHECK(ScreenShot::Near(s.At(150, 150), kPage, 8));
    CHECK(ScreenShot::Near(s.At(16, 16), kPage, 8));
    Click(h.wnd, 150, 150);
    CHECK(WaitSelected(h.d, false));
    Click(h.wnd, 24, 24);
    CHECK(WaitSelected(h.d, true));
    CHECK(Call(h.d, 77) == 20);  // the box is the selection
    Click(h.wnd, 150, 150);
    CHECK(WaitSelected(h.d, false));
}

}  // namespace

TEST_CASE("the page is drawn where the mouse picks it, before and after LMSetWindowExt", "[display][window-ext]")
{
    // A page of one white box on a dark ground, loaded from a title file.
    TitleObjectList page;
    TitleDefaults defaults;
    auto box = std::make_unique<TitleObject>(defaults, PageScale());
    box->tracker.reset(new RectTracker);
    box->tracker->rect = {20, 20, 120, 120};
    box->textBack = 1;
    box->textBackOpacity = 100;
    box->textBackColour = 0xFFFFFF;
    page.push_back(std::move(box));
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    const std::string lmf = std::string(dir) + "window_ext.lmf";
    REQUIRE(SaveTitleFile(lmf.c_str(), page));

    Hosted h(480, 360);
    Call(h.d, 28, {I4(0x402000)});
    CallPath(h.d, 7, lmf);  // LMOpenDirectly: nothing selected

    SECTION("a 480 x 360 control before any LMSetWindowExt maps onto the recorded 320 x 240")
    {
        SeenWherePicked(h, "lumicard_window_ext_first.bmp");
    }
    SECTION("LMSetWindowExt records the client size and sets the factors; a later resize keeps the mapping")
    {
        h.Resize(360, 288);
        Call(h.d, 90, {I2(720), I2(576)});
        // Factors 2.0 and 2.0: the export scales the box by them.
        Call(h.d, 86);
        const std::vector<uint8_t> lme = ReadFile(TitleExportPath(EXPORT_PREVIEW));
        REQUIRE(lme.size() >= 16 + 52);
        TitleLayerRecord rec;
        std::memcpy(&rec, lme.data() + 16, sizeof rec);
        CHECK(rec.width == 200);
        CHECK(rec.height == 200);
        CHECK(rec.fromX == 40);
        CHECK(rec.fromY == 40);
        SeenWherePicked(h, "lumicard_window_ext_set.bmp");

        // The container makes the control larger; until the next
        // LMSetWindowExt the page keeps the recorded mapping.
        h.Resize(600, 450);
        SeenWherePicked(h, "lumicard_window_ext_resized.bmp");

        // Another output on the larger control: factors 1.2 and 1.28.
        Call(h.d, 90, {I2(720), I2(576)});
        Call(h.d, 86);
        const std::vector<uint8_t> again = ReadFile(TitleExportPath(EXPORT_PREVIEW));
        REQUIRE(again.size() >= 16 + 52);
        std::memcpy(&rec, again.data() + 16, sizeof rec);
        CHECK(rec.width == 120);
        CHECK(rec.height == 128);
        SeenWherePicked(h, "lumicard_window_ext_again.bmp");
    }
    DeleteFileA(lmf.c_str());
}
