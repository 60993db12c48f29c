// The clip dialog on a real display: its preview pane shows a still of the
// CG title under the cursor, the diagonals for a file that does not load
// or a new folder, and white while Preview is off.  The steps run inside
// the dialog's own loop from a timer; a screenshot goes to the artefacts.
#include <catch2/catch.hpp>

#include <windows.h>
#include <atlbase.h>
#include <atliface.h>
#include <commctrl.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "Lumicard_h.h"
#include "msgbox_capture.h"
#include "profile.h"
#include "qcg_build.h"
#include "screen_shot.h"

using namespace qcgtest;

namespace {

const char kRoot[] = "Software\\Halvard\\Lumicard10";

std::string TempFile(const char *name)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + name;
}

void WriteBytes(const std::string &path, const std::vector<uint8_t> &b)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    DWORD n = 0;
    WriteFile(h, b.data(), DWORD(b.size()), &n, nullptr);
    CloseHandle(h);
}

// The still picture a CG title carries: a packed 24-bit DIB, orange.
Bytes StillDib()
{
    const int w = 320, h = 240, stride = (w * 3 + 3) & ~3;
    BITMAPINFOHEADER bi = {};
    bi.biSize = sizeof(bi);
    bi.biWidth = w;
    bi.biHeight = h;
    bi.biPlanes = 1;
    bi.biBitCount = 24;
    bi.biSizeImage = DWORD(stride * h);
    Bytes b(sizeof(bi) + size_t(stride) * h, 0);
    memcpy(b.data(), &bi, sizeof(bi));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t *p = b.data() + sizeof(bi) + size_t(y) * stride + x * 3;
            p[0] = 0x20, p[1] = 0x80, p[2] = 0xF0;
        }
    return b;
}

// A still CG title: 144-byte header (magic), then one block of kind 0.
std::vector<uint8_t> StillQcg()
{
    std::vector<uint8_t> file(144, 0);
    const uint32_t magic = 0xF7F5AECBu;
    memcpy(file.data(), &magic, 4);
    Pixels px = Pattern(320, 240, 3);
    Bytes blk = MakeBlock(MakePartA(320, 240, 0), StillDib(), "clip text", MakeImage(200, 320, 240, px));
    blk[16] = 0;
    file.insert(file.end(), blk.begin(), blk.end());
    return file;
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

struct Found {
    HWND wnd = nullptr;
    int id = 0;
    const char *cls = nullptr;
};
BOOL CALLBACK FindChild(HWND w, LPARAM lp)
{
    auto *f = reinterpret_cast<Found *>(lp);
    char cls[32] = {};
    GetClassNameA(w, cls, sizeof(cls));
    if ((f->id == 0 || GetDlgCtrlID(w) == f->id) && (!f->cls || !lstrcmpiA(cls, f->cls))) {
        f->wnd = w;
        return FALSE;
    }
    return TRUE;
}
HWND Descendant(HWND parent, int id, const char *cls)
{
    Found f;
    f.id = id;
    f.cls = cls;
    EnumChildWindows(parent, FindChild, reinterpret_cast<LPARAM>(&f));
    return f.wnd;
}

// What the pane shows: a picture, the two diagonals, or white.
enum Shown { SHOWS_WHITE, SHOWS_DIAGONALS, SHOWS_PICTURE, SHOWS_OTHER };
Shown PaneShows(HWND pane)
{
    Pump(150);
    ScreenShot s = ScreenShot::Window(pane);
    RECT c;
    GetClientRect(pane, &c);
    POINT org = {0, 0};
    MapWindowPoints(pane, nullptr, &org, 1);
    RECT w;
    GetWindowRect(pane, &w);
    const int ox = org.x - w.left, oy = org.y - w.top, cw = c.right, ch = c.bottom;
    int coloured = 0, white = 0, n = 0;
    for (int y = ch / 2 - 10; y < ch / 2 + 10; ++y)
        for (int x = cw / 2 - 10; x < cw / 2 + 10; ++x, ++n) {
            const unsigned p = s.At(ox + x, oy + y);
            if (ScreenShot::Near(p, 0xFFFFFF, 8)) ++white;
            else if (!ScreenShot::Near(p, 0x000000, 8)) ++coloured;
        }
    if (coloured > n / 2) return SHOWS_PICTURE;
    const bool centreDark = ScreenShot::Near(s.At(ox + cw / 2, oy + ch / 2), 0, 40) ||
                            ScreenShot::Near(s.At(ox + cw / 2 - 1, oy + ch / 2), 0, 40) ||
                            ScreenShot::Near(s.At(ox + cw / 2, oy + ch / 2 - 1), 0, 40);
    const bool sideWhite = ScreenShot::Near(s.At(ox + cw / 2, oy + ch / 4), 0xFFFFFF, 8);
    if (centreDark && sideWhite) return SHOWS_DIAGONALS;
    if (white == n) return SHOWS_WHITE;
    return SHOWS_OTHER;
}

// The steps, run once the dialog is up.
struct Walk {
    static std::string good, bad, folder;
    static std::vector<std::pair<std::string, int>> seen;  // step, what the pane showed
    static bool checkedAtStart, hasPane;
    static std::string checkText;

    static BOOL CALLBACK FindDialog(HWND w, LPARAM lp)
    {
        char cls[32] = {};
        GetClassNameA(w, cls, sizeof(cls));
        if (!strcmp(cls, "#32770") && IsWindowVisible(w)) {
            *reinterpret_cast<HWND *>(lp) = w;
            return FALSE;
        }
        return TRUE;
    }
    static void Select(HWND list, const std::string &name)
    {
        LVITEMA none = {};
        none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(list, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&none));
        LVFINDINFOA fi = {};
        fi.flags = LVFI_PARTIAL | LVFI_STRING;
        fi.psz = name.c_str();
        const int at = int(SendMessageA(list, LVM_FINDITEMA, WPARAM(-1), reinterpret_cast<LPARAM>(&fi)));
        if (at < 0) return;
        LVITEMA it = {};
        it.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        it.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(list, LVM_SETITEMSTATE, WPARAM(at), reinterpret_cast<LPARAM>(&it));
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD)
    {
        HWND dlg = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&dlg));
        if (!dlg) return;
        KillTimer(nullptr, id);
        HWND pane = Descendant(dlg, 202, "Static");
        HWND check = pane ? GetDlgItem(GetParent(pane), 201) : nullptr;
        HWND list = Descendant(dlg, 0, "SysListView32");
        HWND types = GetDlgItem(dlg, 0x470);
        HWND name = GetDlgItem(dlg, 0x47c);
        if (!name) name = GetDlgItem(dlg, 0x480);
        hasPane = pane && check && list && types;
        if (hasPane) {
            checkedAtStart = SendMessageA(check, BM_GETCHECK, 0, 0) == BST_CHECKED;
            char buf[32] = {};
            GetWindowTextA(check, buf, sizeof(buf));
            checkText = buf;
            // The CG titles' filter, then a still title named in lower case.
            SendMessageA(types, CB_SETCURSEL, 1, 0);
            SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(0x470, CBN_SELENDOK), reinterpret_cast<LPARAM>(types));
            Select(list, "lmprev_good");
            seen.push_back({"good", PaneShows(pane)});
            ScreenShot::Window(dlg).Save("lumicard_clip_preview.bmp");
            Select(list, "lmprev_bad");
            seen.push_back({"bad", PaneShows(pane)});
            Select(list, "lmprev_good");
            seen.push_back({"good again", PaneShows(pane)});
            SendMessageA(check, BM_CLICK, 0, 0);
            seen.push_back({"preview off", PaneShows(pane)});
            // Painted again while off: still white.
            InvalidateRect(pane, nullptr, TRUE);
            UpdateWindow(pane);
            seen.push_back({"repainted off", PaneShows(pane)});
            SendMessageA(check, BM_CLICK, 0, 0);
            seen.push_back({"preview on", PaneShows(pane)});
            // Into another folder: the pane is emptied.
            SetWindowTextA(name, folder.c_str());
            SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDOK)));
            seen.push_back({"folder", PaneShows(pane)});
        }
        SetWindowTextA(name, good.c_str());
        PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDOK)));
    }
};
std::string Walk::good, Walk::bad, Walk::folder, Walk::checkText;
std::vector<std::pair<std::string, int>> Walk::seen;
bool Walk::checkedAtStart = false, Walk::hasPane = false;

}  // namespace

TEST_CASE("the clip dialog previews the CG title under the cursor", "[display][preview]")
{
    OleInitialize(nullptr);
    cl::CProfile(kRoot).DeleteAll();
    // Files of their own folder, which the dialog starts in.
    const std::string dir = TempFile("lmprev");
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string sub = dir + "\\inner";
    CreateDirectoryA(sub.c_str(), nullptr);
    Walk::good = dir + "\\lmprev_good.qcg";
    Walk::bad = dir + "\\lmprev_bad.qcg";
    Walk::folder = sub;
    WriteBytes(Walk::good, StillQcg());
    WriteBytes(Walk::bad, std::vector<uint8_t>(200, 0x5A));
    cl::CProfile(kRoot).WriteString("Settings", "CGAImportPath", dir);

    AtlAxWinInit();
    HWND top = CreateWindowExA(0, "STATIC", "Lumicard", WS_POPUP | WS_VISIBLE, 20, 20, 320, 240, nullptr, nullptr,
                               nullptr, nullptr);
    HWND ax = CreateWindowExA(0, "AtlAxWin", "Lumicard.LumicardCtrl.1", WS_CHILD | WS_VISIBLE, 0, 0, 320, 240, top,
                              nullptr, nullptr, nullptr);
    IUnknown *unk = nullptr;
    REQUIRE(AtlAxGetControl(ax, &unk) == S_OK);
    IDispatch *d = nullptr;
    REQUIRE(unk->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&d)) == S_OK);

    Walk::seen.clear();
    SetTimer(nullptr, 0, 100, Walk::Tick);
    DISPPARAMS none = {};
    REQUIRE(d->Invoke(85, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr) == S_OK);

    REQUIRE(Walk::hasPane);
    CHECK(Walk::checkedAtStart);
    CHECK(Walk::checkText == "&Preview");
    const std::vector<std::pair<std::string, int>> want = {
        {"good", SHOWS_PICTURE},      {"bad", SHOWS_DIAGONALS},         {"good again", SHOWS_PICTURE},
        {"preview off", SHOWS_WHITE}, {"repainted off", SHOWS_WHITE}, {"preview on", SHOWS_PICTURE},
        {"folder", SHOWS_DIAGONALS}};
    auto text = [](const std::vector<std::pair<std::string, int>> &v) {
        const char *names[] = {"white", "diagonals", "picture", "other"};
        std::string t;
        for (const auto &e : v) t += e.first + ": " + names[e.second] + "; ";
        return t;
    };
    CHECK(text(Walk::seen) == text(want));

    // The chosen title became the page's clip, selected.
    VARIANT r;
    VariantInit(&r);
    REQUIRE(d->Invoke(59, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &r, nullptr, nullptr) == S_OK);
    CHECK(V_I4(&r) == 2);

    d->Release();
    unk->Release();
    DestroyWindow(top);
    for (const char *f : {"\\lmprev_good.qcg", "\\lmprev_bad.qcg", "\\lmprev_good.cga"})
        DeleteFileA((dir + f).c_str());
    RemoveDirectoryA(sub.c_str());
    RemoveDirectoryA(dir.c_str());
    cl::CProfile(kRoot).DeleteAll();
    OleUninitialize();
}
