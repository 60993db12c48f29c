/* The image open and save dialogs on a display: the open dialog previews a
 * BMP, a GIF and a TIFF in its preview button (checked on pixels, kept as
 * image_open_*.bmp), refuses a damaged file with "Error Reading File" and
 * converts the chosen one; the save dialog writes a file that the image
 * filters read back pixel for pixel; the preferences page shows the
 * writer's settings. The dialogs are driven from a thread timer while their
 * modal loop runs. */
#include <catch2/catch.hpp>

#include "dialog_support.h"
#include "dialogs.h"
#include "ferrix.h"
#include "filedlg.h"
#include "screen_shot.h"
#include "tundrix32.h"
#include "unmanaged_display.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

typedef int(WINAPI *ConvertFn)(ConvertSource *, ConvertTarget *);
ConvertFn Convert() { return reinterpret_cast<ConvertFn>(GetProcAddress(LoadLibraryA("Ferrix32.dll"), MAKEINTRESOURCEA(18))); }

const int kW = 40, kH = 30;

/* A packed 24-bit DIB whose pixel (x, y) is colour(x, y). */
HGLOBAL MakeDib(const std::function<COLORREF(int, int)> &colour)
{
    const int stride = (kW * 3 + 3) & ~3;
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(BITMAPINFOHEADER) + stride * kH);
    auto *bi = static_cast<BITMAPINFOHEADER *>(GlobalLock(h));
    bi->biSize = sizeof *bi;
    bi->biWidth = kW;
    bi->biHeight = kH;
    bi->biPlanes = 1;
    bi->biBitCount = 24;
    BYTE *bits = reinterpret_cast<BYTE *>(bi + 1);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            COLORREF c = colour(x, y);
            BYTE *p = bits + (kH - 1 - y) * stride + x * 3;
            p[0] = GetBValue(c);
            p[1] = GetGValue(c);
            p[2] = GetRValue(c);
        }
    GlobalUnlock(h);
    return h;
}

COLORREF DibPixel(HGLOBAL h, int x, int y)
{
    auto *bi = static_cast<BITMAPINFOHEADER *>(GlobalLock(h));
    const int stride = ((bi->biWidth * bi->biBitCount + 31) / 32) * 4;
    const int row = bi->biHeight > 0 ? bi->biHeight - 1 - y : y;
    const BYTE *p = reinterpret_cast<const BYTE *>(bi) + bi->biSize + row * stride + x * (bi->biBitCount / 8);
    COLORREF c = RGB(p[2], p[1], p[0]);
    GlobalUnlock(h);
    return c;
}

int WriteImage(HGLOBAL dib, const std::string &path, int depth, int format)
{
    ConvertSource s = {};
    s.version = FX_REQUEST_VERSION;
    s.hDib = dib;
    ConvertTarget t = {};
    t.version = FX_REQUEST_VERSION;
    t.depth = static_cast<uint16_t>(depth);
    t.formatId = static_cast<uint16_t>(format);
    lstrcpynA(t.path, path.c_str(), sizeof t.path);
    return Convert()(&s, &t);
}

HGLOBAL ReadImage(const std::string &path)
{
    ConvertSource s = {};
    s.version = FX_REQUEST_VERSION;
    lstrcpynA(s.path, path.c_str(), sizeof s.path);
    HGLOBAL out = nullptr;
    ConvertTarget t = {};
    t.version = FX_REQUEST_VERSION;
    t.depth = 24;
    t.resultDib = &out;
    return Convert()(&s, &t) == FX_OK ? out : nullptr;
}

/* A hand-made GIF of kW x kH pixels of one colour: a two-entry colour table
 * and codes of three bits (a clear code before every two pixels, so the
 * code size never grows). */
std::vector<BYTE> MakeGif(COLORREF colour)
{
    std::vector<BYTE> g = {'G', 'I', 'F', '8', '9', 'a', kW, 0, kH, 0, 0x80, 0, 0,
                           GetRValue(colour), GetGValue(colour), GetBValue(colour), 0, 0, 0,
                           0x2C, 0, 0, 0, 0, kW, 0, kH, 0, 0, 2};
    std::vector<BYTE> data;
    uint32_t acc = 0;
    int bits = 0;
    auto put = [&](int code) {
        acc |= static_cast<uint32_t>(code) << bits;
        bits += 3;
        while (bits >= 8) {
            data.push_back(static_cast<BYTE>(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    };
    for (int i = 0; i < kW * kH; i += 2) {
        put(4);
        put(0);
        put(0);
    }
    put(5);
    if (bits) data.push_back(static_cast<BYTE>(acc & 0xFF));
    for (size_t i = 0; i < data.size(); i += 255) {
        size_t n = std::min<size_t>(255, data.size() - i);
        g.push_back(static_cast<BYTE>(n));
        g.insert(g.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
    }
    g.push_back(0);
    g.push_back(0x3B);
    return g;
}

/* A hand-made little-endian TIFF of kW x kH RGB pixels of one colour in one
 * uncompressed strip. */
std::vector<BYTE> MakeTiff(COLORREF colour)
{
    std::vector<BYTE> t = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto u16 = [&](uint32_t v) { t.push_back(v & 0xFF); t.push_back((v >> 8) & 0xFF); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    const uint32_t entries = 9, depths = 8 + 2 + entries * 12 + 4, pixels = depths + 6;
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        u16(tag);
        u16(type);
        u32(count);
        if (type == 3 && count == 1) {
            u16(value);
            u16(0);
        } else {
            u32(value);
        }
    };
    u16(entries);
    entry(256, 3, 1, kW);
    entry(257, 3, 1, kH);
    entry(258, 3, 3, depths);
    entry(259, 3, 1, 1);
    entry(262, 3, 1, 2);
    entry(273, 4, 1, pixels);
    entry(277, 3, 1, 3);
    entry(278, 3, 1, kH);
    entry(279, 4, 1, kW * kH * 3);
    u32(0);
    u16(8);
    u16(8);
    u16(8);
    for (int i = 0; i < kW * kH; ++i) {
        t.push_back(GetRValue(colour));
        t.push_back(GetGValue(colour));
        t.push_back(GetBValue(colour));
    }
    return t;
}

void WriteBytes(const std::string &path, const std::vector<BYTE> &bytes)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    CloseHandle(f);
}

struct Folder {
    std::string dir;
    Folder()
    {
        char tmp[MAX_PATH];
        GetTempPathA(sizeof tmp, tmp);
        char name[32];
        snprintf(name, sizeof name, "tkimage%lu", static_cast<unsigned long>(GetCurrentProcessId()));
        dir = std::string(tmp) + name;
        CreateDirectoryA(dir.c_str(), nullptr);
    }
    ~Folder()
    {
        WIN32_FIND_DATAA fd;
        HANDLE f = FindFirstFileA((dir + "\\*").c_str(), &fd);
        if (f != INVALID_HANDLE_VALUE) {
            do DeleteFileA((dir + "\\" + fd.cFileName).c_str());
            while (FindNextFileA(f, &fd));
            FindClose(f);
        }
        RemoveDirectoryA(dir.c_str());
    }
    std::string Path(const char *name) const { return dir + "\\" + name; }
};

/* Message boxes of the thread: recorded and answered with OK. */
struct BoxRecorder {
    static BoxRecorder *current;
    HHOOK hook;
    std::vector<std::pair<std::string, std::string>> boxes;   /* caption, text */
    BoxRecorder()
    {
        current = this;
        hook = SetWindowsHookExA(WH_CBT, Proc, nullptr, GetCurrentThreadId());
    }
    ~BoxRecorder()
    {
        UnhookWindowsHookEx(hook);
        current = nullptr;
    }
    static LRESULT CALLBACK Proc(int code, WPARAM wp, LPARAM lp)
    {
        if (code == HCBT_ACTIVATE) {
            HWND w = reinterpret_cast<HWND>(wp);
            HWND text = GetDlgItem(w, 0xFFFF);
            char cls[32] = {};
            GetClassNameA(text, cls, sizeof cls);
            if (text && !lstrcmpiA(cls, "Static") && !GetPropA(w, "seen")) {
                SetPropA(w, "seen", reinterpret_cast<HANDLE>(1));
                current->boxes.emplace_back(WindowText(w), WindowText(text));
                PostMessageA(w, WM_COMMAND, IDOK, 0);
            }
        }
        return CallNextHookEx(current->hook, code, wp, lp);
    }
};
BoxRecorder *BoxRecorder::current;

/* Steps run one after another from a thread timer while a dialog runs;
 * a step returns false to be tried again at the next tick. */
struct Script {
    static Script *current;
    std::vector<std::function<bool(HWND frame, HWND inner)>> steps;
    size_t next = 0;
    bool busy = false;
    UINT_PTR timer;
    HWND owner;
    explicit Script(HWND o) : owner(o)
    {
        current = this;
        timer = SetTimer(nullptr, 0, 60, Tick);
    }
    ~Script()
    {
        KillTimer(nullptr, timer);
        current = nullptr;
    }
    static BOOL CALLBACK FindInner(HWND w, LPARAM lp)
    {
        if (GetDlgItem(w, IMG_PREVIEW_AREA) && (GetDlgItem(w, IMG_PREVIEW) || GetDlgItem(w, IMG_BPP_FIRST))) {
            *reinterpret_cast<HWND *>(lp) = w;
            return FALSE;
        }
        return TRUE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        Script *s = current;
        if (!s || s->busy || s->next >= s->steps.size()) return;
        HWND frame = FindThreadDialog(s->owner);
        if (!frame) return;
        HWND inner = nullptr;
        EnumChildWindows(frame, FindInner, reinterpret_cast<LPARAM>(&inner));
        if (!inner) return;
        s->busy = true;
        if (s->steps[s->next](frame, inner)) ++s->next;
        s->busy = false;
    }
};
Script *Script::current;

void TypeName(HWND frame, const char *name)
{
    SendMessageA(frame, CDM_SETCONTROLTEXT, 1152, reinterpret_cast<LPARAM>(name));
}

void PressOk(HWND frame) { PostMessageA(frame, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }

/* The preview button's centre, painted into a memory picture. */
COLORREF PreviewCentre(HWND button)
{
    RECT r;
    GetClientRect(button, &r);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = r.right;
    bi.bmiHeader.biHeight = -r.bottom;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bm = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bm);
    SendMessageA(button, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    const DWORD p = static_cast<const DWORD *>(bits)[(r.bottom / 2) * r.right + r.right / 2];
    SelectObject(dc, old);
    DeleteObject(bm);
    DeleteDC(dc);
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

void SaveScreen(HWND w, const std::string &name)
{
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    ScreenShot::Window(w).Save(name);
}

/* Waits (bounded) until the screen shows colour at the middle of w. */
bool ScreenShows(HWND w, COLORREF colour)
{
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    RECT r;
    GetWindowRect(w, &r);
    for (int i = 0; i < 100; ++i) {
        GdiFlush();
        HDC screen = GetDC(nullptr);
        COLORREF c = GetPixel(screen, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
        ReleaseDC(nullptr, screen);
        if (c == colour) return true;
        Sleep(20);
    }
    return false;
}

/* A real left click at the middle of w (through the display's input). */
void ClickMiddle(HWND w)
{
    RECT r;
    GetWindowRect(w, &r);
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    INPUT in[3] = {};
    for (INPUT &i : in) i.type = INPUT_MOUSE;
    in[0].mi.dx = static_cast<LONG>(((r.left + r.right) / 2) * 65535LL / (sw - 1));
    in[0].mi.dy = static_cast<LONG>(((r.top + r.bottom) / 2) * 65535LL / (sh - 1));
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(3, in, sizeof in[0]);
}

/* The type list's entry whose text names ext ("tga"), -1 when none does. */
LRESULT TypeIndex(HWND frame, const char *ext)
{
    HWND types = GetDlgItem(frame, 1136);
    const LRESULT n = SendMessageA(types, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        char text[256] = {};
        if (SendMessageA(types, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) >= static_cast<LRESULT>(sizeof text))
            continue;
        SendMessageA(types, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        CharLowerA(text);
        if (std::strstr(text, ext)) return i;
    }
    return -1;
}

int g_callbacks;
int WINAPI Called(ConvertSource *, ConvertTarget *)
{
    ++g_callbacks;
    return 0;
}

}  // namespace

TEST_CASE("The image open dialog previews, refuses a damaged file and converts the chosen one", "[imagedlg]")
{
    ControlsLoaded controls;
    REQUIRE(controls.ok);
    REQUIRE(Convert());
    OwnerWindow owner;
    Folder folder;
    struct Picture {
        const char *name;
        COLORREF colour;
        int depth;
        const char *info;
    } pictures[] = {
        {"pic.bmp", RGB(200, 30, 30), 24, "40x30x24"},
        {"pic.gif", RGB(30, 160, 40), 8, "40x30x8"},
        {"pic.tif", RGB(40, 60, 210), 24, "40x30x24"},
    };
    /* The BMP comes from the filters; the GIF and the TIFF are made here. */
    for (const Picture &p : pictures) {
        if (std::strstr(p.name, ".gif")) {
            WriteBytes(folder.Path(p.name), MakeGif(p.colour));
        } else if (std::strstr(p.name, ".tif")) {
            WriteBytes(folder.Path(p.name), MakeTiff(p.colour));
        } else {
            HGLOBAL dib = MakeDib([&](int, int) { return p.colour; });
            REQUIRE(WriteImage(dib, folder.Path(p.name), p.depth, FX_ID_BMP) == FX_OK);
            GlobalFree(dib);
        }
    }
    {
        /* A bitmap file header followed by too little. */
        HANDLE f = CreateFileA(folder.Path("bad.bmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        const char junk[] = "BM\x40\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00";
        DWORD n;
        WriteFile(f, junk, sizeof junk - 1, &n, nullptr);
        CloseHandle(f);
    }

    BoxRecorder boxes;
    Script script(owner.hwnd);
    std::vector<std::string> infos;
    std::vector<COLORREF> centres;
    bool was_disabled = false, stayed_open = false;
    size_t boxes_after_preview = 0;
    script.steps.push_back([&](HWND, HWND inner) {
        was_disabled = !IsWindowEnabled(GetDlgItem(inner, IMG_PREVIEW)) && !IsWindowEnabled(GetDlgItem(inner, IMG_INFO));
        return true;
    });
    for (const Picture &p : pictures)
        script.steps.push_back([&, p](HWND frame, HWND inner) {
            TypeName(frame, p.name);
            SendMessageA(inner, WM_COMMAND, MAKEWPARAM(IMG_PREVIEW, BN_CLICKED), 0);
            infos.push_back(WindowText(GetDlgItem(inner, IMG_INFO)));
            centres.push_back(PreviewCentre(GetDlgItem(inner, IMG_PREVIEW)));
            ScreenShows(GetDlgItem(inner, IMG_PREVIEW), p.colour);
            SaveScreen(frame, std::string("image_open_") + (std::strchr(p.name, '.') + 1) + ".bmp");
            return true;
        });
    script.steps.push_back([&](HWND frame, HWND inner) {
        /* The aspect buttons: one checked at a time, the preview made again. */
        SendMessageA(inner, WM_COMMAND, MAKEWPARAM(IMG_ASPECT_16_9, BN_CLICKED), 0);
        CHECK(SendDlgItemMessageA(inner, IMG_ASPECT_16_9, BM_GETCHECK, 0, 0) == 1);
        CHECK(SendDlgItemMessageA(inner, IMG_ASPECT_1_1, BM_GETCHECK, 0, 0) == 0);
        TypeName(frame, "bad.bmp");
        SendMessageA(inner, WM_COMMAND, MAKEWPARAM(IMG_PREVIEW, BN_CLICKED), 0);
        boxes_after_preview = boxes.boxes.size();
        was_disabled = was_disabled && !IsWindowEnabled(GetDlgItem(inner, IMG_PREVIEW));
        PressOk(frame);
        return true;
    });
    script.steps.push_back([&](HWND frame, HWND) {
        if (boxes.boxes.size() < 2) return false;
        stayed_open = IsWindow(frame) != 0;
        TypeName(frame, "pic.tif");
        PressOk(frame);
        return true;
    });

    ConvertSource source = {};
    source.version = FX_REQUEST_VERSION;
    lstrcpyA(source.path, (folder.dir + "\\").c_str());
    HGLOBAL chosen = nullptr;
    ConvertTarget target = {};
    target.version = FX_REQUEST_VERSION;
    target.depth = 24;
    target.resultDib = &chosen;
    g_callbacks = 0;
    const int result = ferrixQueryRead(owner.hwnd, &source, &target, Called, nullptr, nullptr, 0);
    CHECK(script.next == script.steps.size());
    CHECK(was_disabled);
    CHECK(infos == std::vector<std::string>{"40x30x24", "40x30x8", "40x30x24"});
    REQUIRE(centres.size() == 3);
    for (int i = 0; i < 3; ++i) CHECK(centres[i] == pictures[i].colour);
    CHECK(boxes_after_preview == 1);
    REQUIRE(boxes.boxes.size() == 2);
    for (const auto &b : boxes.boxes) {
        CHECK(b.first == "error");
        CHECK(b.second == "Error Reading File");
    }
    CHECK(stayed_open);
    CHECK(result == FX_OK);
    CHECK(g_callbacks == 1);
    CHECK(std::string(source.path) == folder.Path("pic.tif"));
    REQUIRE(chosen);
    CHECK(DibPixel(chosen, 5, 5) == RGB(40, 60, 210));
    GlobalFree(chosen);
}

TEST_CASE("The image save dialog writes a file the filters read back", "[imagedlg]")
{
    ControlsLoaded controls;
    REQUIRE(controls.ok);
    REQUIRE(Convert());
    OwnerWindow owner;
    Folder folder;
    INIOBJECT *reg = regInit("", "File Writer");
    regWriteInt(reg, nullptr, "SaveBpp", 8);
    regDone(reg);
    auto colour = [](int x, int y) { return RGB(x * 6, y * 8, 255 - x * 3); };
    HGLOBAL dib = MakeDib(colour);
    ConvertSource source = {};
    source.version = FX_REQUEST_VERSION;
    source.hDib = dib;

    Script script(owner.hwnd);
    std::string width, height, depth, compressed;
    script.steps.push_back([&](HWND frame, HWND inner) {
        width = WindowText(GetDlgItem(inner, IMG_WIDTH));
        height = WindowText(GetDlgItem(inner, IMG_HEIGHT));
        TypeName(frame, "out.bmp");
        /* 24 bits: the setting's 8 would lose colours. */
        SendMessageA(inner, WM_COMMAND, MAKEWPARAM(IMG_BPP_FIRST + 4, BN_CLICKED), 0);
        depth = WindowText(GetDlgItem(inner, IMG_DEPTH));
        compressed = WindowText(GetDlgItem(inner, IMG_COMPRESSED));
        SaveScreen(frame, "image_save.bmp");
        PressOk(frame);
        return true;
    });
    FERRIXWRITEREQUEST req = {};
    req.owner = owner.hwnd;
    req.source = &source;
    lstrcpyA(req.path, (folder.dir + "\\").c_str());
    CHECK(ferrixQueryWrite(&req));
    CHECK(width == "40");
    CHECK(height == "30");
    CHECK(depth == "24");
    CHECK(compressed == "NO");
    CHECK(std::string(req.path) == folder.Path("out.bmp"));
    CHECK(req.formatId == FX_ID_BMP);
    CHECK(req.depth == 24);
    HGLOBAL back = ReadImage(folder.Path("out.bmp"));
    REQUIRE(back);
    int differ = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) differ += DibPixel(back, x, y) != colour(x, y);
    CHECK(differ == 0);
    GlobalFree(back);
    reg = regInit("", "File Writer");
    CHECK(regReadInt(reg, nullptr, "SaveBpp", 0) == 24);
    CHECK(regReadInt(reg, nullptr, "Compression", 1) == 0);
    regDone(reg);

    SECTION("a cancelled dialog writes nothing")
    {
        Script again(owner.hwnd);
        again.steps.push_back([](HWND frame, HWND) {
            TypeName(frame, "never.bmp");
            PostMessageA(frame, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return true;
        });
        CHECK_FALSE(ferrixQueryWrite(&req));
        CHECK(GetFileAttributesA(folder.Path("never.bmp").c_str()) == INVALID_FILE_ATTRIBUTES);
    }
    GlobalFree(dib);
}

TEST_CASE("The save dialog's compression: offered for Targa only, set from and kept in File Writer", "[imagedlg]")
{
    ControlsLoaded controls;
    REQUIRE(controls.ok);
    REQUIRE(Convert());
    OwnerWindow owner;
    Folder folder;
    auto colour = [](int x, int y) { return RGB(x < 20 ? 250 : 10, 40, y < 15 ? 200 : 90); };
    HGLOBAL dib = MakeDib(colour);
    ConvertSource source = {};
    source.version = FX_REQUEST_VERSION;
    source.hDib = dib;
    /* The setting starts the box checked; a click on the box clears it. */
    const struct { const char *name; int clicks; int compressed; BYTE imageType; } runs[] = {
        {"kept.tga", 0, 1, 10},   /* run-length true colour */
        {"plain.tga", 1, 0, 2},   /* plain true colour */
    };
    for (const auto &run : runs) {
        INFO(run.name);
        INIOBJECT *reg = regInit("", "File Writer");
        regWriteInt(reg, nullptr, "SaveBpp", 24);
        regWriteInt(reg, nullptr, "Compression", 1);
        regDone(reg);
        Script script(owner.hwnd);
        bool bmpOffered = true, tgaOffered = false, tgaChecked = false, clicked = false;
        std::string bmpText, tgaText;
        DWORD clickStart = 0;
        script.steps.push_back([&](HWND frame, HWND inner) {
            /* The first type is the bitmap's: no compression to offer. */
            bmpOffered = IsWindowEnabled(GetDlgItem(inner, IMG_COMPRESSION)) != 0;
            bmpText = WindowText(GetDlgItem(inner, IMG_COMPRESSED));
            HWND types = GetDlgItem(frame, 1136);
            const LRESULT tga = TypeIndex(frame, "tga");
            if (tga < 0) {   /* no Targa type: nothing to test, the dialog ends */
                PostMessageA(frame, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                return true;
            }
            SendMessageA(types, CB_SETCURSEL, static_cast<WPARAM>(tga), 0);
            SendMessageA(frame, WM_COMMAND, MAKEWPARAM(1136, CBN_SELENDOK), reinterpret_cast<LPARAM>(types));
            tgaOffered = IsWindowEnabled(GetDlgItem(inner, IMG_COMPRESSION)) != 0;
            tgaChecked = IsDlgButtonChecked(inner, IMG_COMPRESSION) == BST_CHECKED;
            tgaText = WindowText(GetDlgItem(inner, IMG_COMPRESSED));
            TypeName(frame, run.name);
            if (run.clicks) {
                ClickMiddle(GetDlgItem(inner, IMG_COMPRESSION));
                clickStart = GetTickCount();
            }
            return true;
        });
        script.steps.push_back([&](HWND frame, HWND inner) {
            /* Waits (bounded) for the click to reach the box. */
            const bool checked = IsDlgButtonChecked(inner, IMG_COMPRESSION) == BST_CHECKED;
            clicked = run.clicks == 0 || !checked;
            if (!clicked && GetTickCount() - clickStart < 10000) return false;
            if (run.clicks) SaveScreen(frame, "image_save_compression.bmp");
            PressOk(frame);
            return true;
        });
        FERRIXWRITEREQUEST req = {};
        req.owner = owner.hwnd;
        req.source = &source;
        lstrcpyA(req.path, (folder.dir + "\\").c_str());
        CHECK(ferrixQueryWrite(&req));
        CHECK_FALSE(bmpOffered);
        CHECK(bmpText == "NO");
        CHECK(tgaOffered);
        CHECK(tgaChecked);
        CHECK(tgaText == "YES");
        CHECK(clicked);
        CHECK(req.formatId == FX_ID_TGA);
        CHECK(req.compressed == run.compressed);
        /* The file says how it was written, and reads back whole. */
        HANDLE f = CreateFileA(folder.Path(run.name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        REQUIRE(f != INVALID_HANDLE_VALUE);
        BYTE head[18] = {};
        DWORD n = 0;
        ReadFile(f, head, sizeof head, &n, nullptr);
        CloseHandle(f);
        CHECK(head[2] == run.imageType);
        HGLOBAL back = ReadImage(folder.Path(run.name));
        REQUIRE(back);
        int differ = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) differ += DibPixel(back, x, y) != colour(x, y);
        CHECK(differ == 0);
        GlobalFree(back);
        reg = regInit("", "File Writer");
        CHECK(regReadInt(reg, nullptr, "Compression", -1) == run.compressed);
        regDone(reg);
    }
    GlobalFree(dib);
}

TEST_CASE("The image preferences page shows the writer's settings", "[imagedlg]")
{
    ControlsLoaded controls;
    INIOBJECT *reg = regInit("", "File Writer");
    regWriteInt(reg, nullptr, "SaveBpp", 16);
    regWriteInt(reg, nullptr, "Compression", 1);
    regDone(reg);
    HGLOBAL tab = tabCreate(nullptr, GetModuleHandleA(nullptr), "Preferences", nullptr, 0, 0, TABF_MODELESS, nullptr);
    REQUIRE(ferrixPrefInit(tab));
    HWND frame = reinterpret_cast<HWND>(tabDialogBox(tab));
    REQUIRE(IsWindow(frame));
    HWND page = tabGetWindow(tab, 0);
    REQUIRE(page);
    HWND tabs = GetDlgItem(frame, 259);
    if (tabs) CHECK(WindowText(GetDlgItem(tabs, 260)) == "Image Import/Export");
    CHECK(SendDlgItemMessageA(page, 101, CB_GETCOUNT, 0, 0) == 6);
    char text[16] = {};
    GetDlgItemTextA(page, 101, text, sizeof text);
    CHECK(std::string(text) == "16");
    CHECK(IsDlgButtonChecked(page, 102) == BST_CHECKED);
    DestroyWindow(frame);
    tabDestroy(tab);
}
