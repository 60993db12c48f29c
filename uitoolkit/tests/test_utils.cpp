/* Window, dialog-item, string, cursor and file helpers. */
#include <catch2/catch.hpp>

#include "internal.h"
#include "tundrix32.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Commands {
    WPARAM wp = 0;
    LPARAM lp = 0;
    int count = 0;
};
Commands g_commands;

INT_PTR CALLBACK RecordProc(HWND, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_COMMAND) {
        g_commands.wp = wp;
        g_commands.lp = lp;
        ++g_commands.count;
        return TRUE;
    }
    return msg == WM_INITDIALOG;
}

/* A dialog with an edit (100), check boxes 200-203, radio buttons 300-302,
 * a combo box (400), a list box (401) and a scroll bar (500). */
struct TestDialog {
    HWND dlg = nullptr;
    TestDialog()
    {
        HGLOBAL t = TemplateStartEx(WS_POPUP, 0, 0, 200, 200, nullptr, nullptr, "Utils", 8, "MS Shell Dlg", 0, false);
        t = TemplateAddItem(t, 100, WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 0, 0, 100, 12, "\x81", "");
        for (int i = 0; i < 4; ++i)
            t = TemplateAddItem(t, 200 + i, WS_CHILD | WS_VISIBLE | BS_CHECKBOX, 0, 14 + 10 * i, 50, 10, "\x80", "c");
        for (int i = 0; i < 3; ++i)
            t = TemplateAddItem(t, 300 + i, WS_CHILD | WS_VISIBLE | BS_RADIOBUTTON, 60, 14 + 10 * i, 50, 10, "\x80", "r");
        t = TemplateAddItem(t, 400, WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, 0, 60, 80, 60, "\x85", "");
        t = TemplateAddItem(t, 401, WS_CHILD | WS_VISIBLE, 90, 60, 80, 60, "\x83", "");
        t = TemplateAddItem(t, 500, WS_CHILD | WS_VISIBLE | SBS_HORZ, 0, 130, 100, 10, "\x84", "");
        const DLGTEMPLATE *p = static_cast<const DLGTEMPLATE *>(GlobalLock(t));
        dlg = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), p, nullptr, RecordProc, 0);
        GlobalUnlock(t);
        GlobalFree(t);
    }
    ~TestDialog() { DestroyWindow(dlg); }
    std::string Text(int id) const
    {
        char buf[1024] = {};
        GetDlgItemTextA(dlg, id, buf, sizeof buf);
        return buf;
    }
};

std::string TempName(const char *name)
{
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    char path[MAX_PATH + 64];
    std::snprintf(path, sizeof path, "%stku%u\\", dir, static_cast<unsigned>(GetCurrentProcessId()));
    CreateDirectoryA(path, nullptr);
    return std::string(path) + name;
}

void Touch(const std::string &path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(h);
}

}  // namespace

TEST_CASE("Numbers, texts and doubles in dialog items", "[utils]")
{
    TestDialog d;
    REQUIRE(d.dlg);
    struct Row { LONG value; const char *text; };
    const Row rows[] = {{0, "0"},          {999, "999"},         {1000, "1,000"},   {1234567, "1,234,567"},
                        {-999, "-999"},    {-1000, "-1,000"},    {-123456, "-123,456"},
                        {2147483647, "2,147,483,647"},          {-2147483647 - 1, "-2,147,483,648"}};
    for (const Row &r : rows) {
        INFO(r.value);
        REQUIRE(SetDlgItemNum(d.dlg, 100, r.value));
        CHECK(d.Text(100) == r.text);
    }
    SetDlgItemLong(d.dlg, 100, -1, TRUE);
    CHECK(d.Text(100) == "-1");
    SetDlgItemLong(d.dlg, 100, -1, FALSE);
    CHECK(d.Text(100) == "4294967295");

    CHECK(SetDlgItemPrintf(d.dlg, 100, "%s=%5.2f|%-4d|%03x|%c", "gain", 2.5, 7, 10, 'z') == 21);
    CHECK(d.Text(100) == "gain= 2.50|7   |00a|z");
    std::string big(700, 'q');
    CHECK(SetDlgItemPrintf(d.dlg, 100, "<%s>", big.c_str()) == 702);
    CHECK(d.Text(100) == "<" + big + ">");
    CHECK(SetDlgItemPrintf(d.dlg, 100, "%-600s|%*d", "w", 5, 42) == 606);
    CHECK(d.Text(100) == "w" + std::string(599, ' ') + "|   42");

    SetDlgItemTextA(d.dlg, 100, "2.5e1");
    CHECK(GetDlgItemDouble(d.dlg, 100) == 25.0);
    SetDlgItemTextA(d.dlg, 100, "abc");
    CHECK(GetDlgItemDouble(d.dlg, 100) == 0.0);

    CHECK_FALSE(DupWindowText(GetDlgItem(d.dlg, 100)) == nullptr);
    char *copy = DupWindowText(d.dlg);
    REQUIRE(copy);
    CHECK(std::string(copy) == "Utils");
    HeapFree(GetProcessHeap(), 0, copy);
    SetDlgItemTextA(d.dlg, 100, "");
    CHECK(DupWindowText(GetDlgItem(d.dlg, 100)) == nullptr);
    CHECK(DupWindowText(nullptr) == nullptr);
}

TEST_CASE("Check masks and radio runs", "[utils]")
{
    TestDialog d;
    REQUIRE(d.dlg);
    SetCheckMask(d.dlg, 200, 4, 0xA);
    CHECK(GetCheckMask(d.dlg, 200, 4) == 0xA);
    CHECK(IsDlgButtonChecked(d.dlg, 201) == BST_CHECKED);
    CHECK(IsDlgButtonChecked(d.dlg, 200) == BST_UNCHECKED);
    /* Count 0 is one box. */
    CHECK(GetCheckMask(d.dlg, 201, 0) == 1);
    SetCheckMask(d.dlg, 203, 0, 0);
    CHECK(GetCheckMask(d.dlg, 200, 4) == 0x2);

    CHECK(GetRadioIndex(d.dlg, 300, 3) == -1);
    SetRadioIndex(d.dlg, 300, 3, 2);
    CHECK(GetRadioIndex(d.dlg, 300, 3) == 2);
    SetRadioIndex(d.dlg, 300, 3, 0);
    CHECK(GetRadioIndex(d.dlg, 300, 3) == 0);
    CHECK(IsDlgButtonChecked(d.dlg, 302) == BST_UNCHECKED);
    SetRadioIndex(d.dlg, 300, 0, 2);   /* count 0 does nothing */
    CHECK(GetRadioIndex(d.dlg, 300, 3) == 0);
}

TEST_CASE("Strings from the box's own module fill combo and list boxes", "[utils]")
{
    TestDialog d;
    REQUIRE(d.dlg);
    HWND cb = GetDlgItem(d.dlg, 400), lb = GetDlgItem(d.dlg, 401);
    /* 12 is not in the table: two strings, and selection 3 is not below 3. */
    CHECK(LoadStringsIntoCB(cb, 10, 12, 3) == 2);
    CHECK(SendMessageA(cb, CB_GETCOUNT, 0, 0) == 2);
    CHECK(SendMessageA(cb, CB_GETCURSEL, 0, 0) == CB_ERR);
    CHECK(LoadStringsIntoLB(lb, 10, 11, 1) == 2);
    CHECK(SendMessageA(lb, LB_GETCURSEL, 0, 0) == 1);
    char text[32] = {};
    SendMessageA(lb, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(text));
    CHECK(std::string(text) == "Second");
    CHECK(LoadStringsIntoCB(nullptr, 10, 11, 0) == 0);
}

TEST_CASE("SqueezeText keeps the last separator's part and cuts the head", "[utils]")
{
    struct Row { const char *text; int limit; char sep; const char *out; };
    const Row rows[] = {
        {"C:\\data\\images\\file.tga", 12, '\\', "...\\file.tga"},
        {"C:\\data\\images\\file.tga", 24, '\\', "C:\\data\\images\\file.tga"},
        {"C:\\data\\images\\file.tga", 20, '\\', "C:\\data...\\file.tga"},
        {"C:/data/images/file.tga", 20, '\\', "C:\\data...\\file.tga"},
        {"abcdefghijklmnop", 10, '\\', "abcdef..."},
        {"ab\\a-rather-long-name", 8, '\\', "ab\\a-rather-long-name"},
        {"", 0, '\\', ""},
    };
    for (const Row &r : rows) {
        INFO(r.text << " limit " << r.limit);
        char out[128];
        std::memset(out, 'Z', sizeof out);
        CHECK(SqueezeText(nullptr, out, r.text, r.limit, r.sep) == out);
        CHECK(std::string(out) == r.out);
        CHECK(std::strlen(out) <= std::strlen(r.text));
    }

    /* Measured in pixels on a window with its font. */
    HWND st = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 20, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(st);
    SendMessageA(st, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
    const char *path = "C:\\a\\long\\chain\\of\\folders\\for\\the\\test\\clip.avi";
    HDC dc = GetDC(st);
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SIZE full, tail;
    GetTextExtentPoint32A(dc, path, static_cast<int>(std::strlen(path)), &full);
    GetTextExtentPoint32A(dc, "...\\clip.avi", 12, &tail);
    char out[128];
    SqueezeText(st, out, path, full.cx + 1, '\\');
    CHECK(std::string(out) == path);
    int limit = tail.cx + (full.cx - tail.cx) / 2;
    SqueezeText(st, out, path, limit, '\\');
    std::string s = out;
    REQUIRE(s.size() > 12);
    CHECK(s.substr(s.size() - 12) == "...\\clip.avi");
    SIZE got;
    GetTextExtentPoint32A(dc, out, static_cast<int>(s.size()), &got);
    CHECK(got.cx <= limit);
    ReleaseDC(st, dc);
    DestroyWindow(st);
}

TEST_CASE("WM_COMMAND sent and posted, scroll messages unpacked", "[utils]")
{
    TestDialog d;
    REQUIRE(d.dlg);
    HWND edit = GetDlgItem(d.dlg, 100);
    g_commands = Commands();
    SendWmCommand(d.dlg, nullptr, 100, EN_CHANGE);
    CHECK(g_commands.wp == MAKEWPARAM(100, EN_CHANGE));
    CHECK(g_commands.lp == reinterpret_cast<LPARAM>(edit));
    SendWmCommand(d.dlg, edit, 0, 7);
    CHECK(g_commands.wp == MAKEWPARAM(100, 7));
    g_commands = Commands();
    REQUIRE(PostWmCommand(d.dlg, nullptr, 100, 5));
    CHECK(g_commands.count == 0);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    CHECK(g_commands.count == 1);
    CHECK(g_commands.wp == MAKEWPARAM(100, 5));

    HWND bar = GetDlgItem(d.dlg, 500);
    SetScrollRange(bar, SB_CTL, 0, 100, FALSE);
    SetScrollPos(bar, SB_CTL, 7, FALSE);
    int pos = -1, code = -1, kind = -1, id = -1;
    HWND target = nullptr;
    CHECK(UnpackScrollMsg(d.dlg, WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, 42), reinterpret_cast<LPARAM>(bar), &pos, &code,
                          &target, &kind, &id) == &code);
    CHECK((pos == 42 && code == SB_THUMBTRACK && target == bar && kind == SB_CTL && id == 500));
    UnpackScrollMsg(d.dlg, WM_HSCROLL, MAKEWPARAM(SB_LINEDOWN, 42), reinterpret_cast<LPARAM>(bar), &pos, &code, nullptr,
                    nullptr, nullptr);
    CHECK(pos == 7);
    UnpackScrollMsg(d.dlg, WM_VSCROLL, MAKEWPARAM(SB_PAGEUP, 0), 0, nullptr, &code, &target, &kind, &id);
    CHECK((code == SB_PAGEUP && target == d.dlg && kind == SB_VERT && id == 0));
    UnpackScrollMsg(d.dlg, WM_HSCROLL, 0, 0, nullptr, nullptr, nullptr, &kind, nullptr);
    CHECK(kind == SB_HORZ);
}

TEST_CASE("The three wait-cursor counters are independent and restore the cursor", "[utils]")
{
    HCURSOR arrow = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    HCURSOR wait = LoadCursorA(nullptr, MAKEINTRESOURCEA(32514));
    SetCursor(arrow);
    CHECK(BeginWaitCursor() == 1);
    CHECK(GetCursor() == wait);
    CHECK(WaitCursor(TRUE) == 1);
    CHECK(BeginWaitCursor() == 2);
    CHECK(HalvardWaitCursor(TRUE) == 1);
    CHECK(EndWaitCursor() == 1);
    CHECK(WaitCursor(FALSE) == 0);
    CHECK(HalvardWaitCursor(FALSE) == 0);
    CHECK(EndWaitCursor() == 0);
    CHECK(EndWaitCursor() == 0);   /* never below 0 */
    CHECK(WaitCursor(FALSE) == 0);
    CHECK(GetCursor() == arrow);
}

TEST_CASE("Window placement: centring, client sizes, children", "[utils]")
{
    HWND ref = CreateWindowExA(0, "STATIC", "", WS_POPUP, 100, 100, 200, 200, nullptr, nullptr, nullptr, nullptr);
    HWND w = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 100, 50, nullptr, nullptr, nullptr, nullptr);
    REQUIRE((ref && w));
    CenterWindow(w, ref);
    RECT r;
    GetWindowRect(w, &r);
    CHECK((r.left == 150 && r.top == 175 && r.right - r.left == 100));
    MoveWindow(ref, -40, -40, 60, 60, FALSE);
    CenterWindow(w, ref);
    GetWindowRect(w, &r);
    CHECK((r.left == 0 && r.top == 0));
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    MoveWindow(ref, sw - 10, sh - 10, 60, 60, FALSE);
    CenterWindow(w, ref);
    GetWindowRect(w, &r);
    CHECK((r.right == sw && r.bottom == sh));
    CenterWindow(w, nullptr);
    GetWindowRect(w, &r);
    CHECK((r.left == (sw - 100) / 2 && r.top == (sh - 50) / 2));

    HWND frame = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    REQUIRE(frame);
    CHECK(SizeClient(frame, 321, 123));
    GetClientRect(frame, &r);
    CHECK((r.right == 321 && r.bottom == 123));
    CHECK_FALSE(SizeClient(nullptr, 1, 1));
    HWND a = CreateWindowExA(0, "STATIC", "", WS_CHILD, 10, 10, 240, 130, frame, nullptr, nullptr, nullptr);
    HWND b = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 5, 5, frame, nullptr, nullptr, nullptr);
    CHECK(GetLastChild(frame) == b);
    CHECK(GetLastChild(a) == nullptr);
    CHECK(SizeToChild(nullptr, a));
    GetClientRect(frame, &r);
    CHECK((r.right == 240 && r.bottom == 130));
    RECT cr;
    GetWindowRect(a, &cr);
    POINT pt = {cr.left, cr.top};
    ScreenToClient(frame, &pt);
    CHECK((pt.x == 0 && pt.y == 0));
    CHECK_FALSE(SizeToChild(nullptr, nullptr));

    struct Row { HWND ancestor, window; BOOL any; BOOL want; };
    const Row rows[] = {{frame, a, TRUE, TRUE}, {frame, a, FALSE, FALSE}, {a, a, FALSE, TRUE},
                        {nullptr, a, FALSE, TRUE}, {frame, nullptr, TRUE, FALSE}, {a, b, TRUE, FALSE},
                        {ref, a, TRUE, FALSE}};
    for (const Row &row : rows) CHECK(IsDescendant(row.ancestor, row.window, row.any) == row.want);

    HPALETTE pal = GetSystemPalette();
    REQUIRE(pal);
    CHECK(GetPaletteEntries(pal, 0, 0, nullptr) == 256);
    DeleteObject(pal);
    DestroyWindow(frame);
    DestroyWindow(w);
    DestroyWindow(ref);
}

TEST_CASE("File helpers: access, delete, length and free temporary names", "[utils]")
{
    std::string file = TempName("probe.bin");
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n;
    WriteFile(h, "0123456789", 10, &n, nullptr);
    CloseHandle(h);
    for (int mode : {0, 2, 4, 6}) CHECK(_laccess(file.c_str(), mode) == 0);
    for (int mode : {1, 3, 8, -1}) CHECK(_laccess(file.c_str(), mode) == -1);
    CHECK(_laccess((file + ".none").c_str(), 0) == -1);

    HFILE f = _lopen(file.c_str(), OF_READ);
    REQUIRE(f != HFILE_ERROR);
    _llseek(f, 3, FILE_BEGIN);
    CHECK(_lfilelength(f) == 10);
    CHECK(_llseek(f, 0, FILE_CURRENT) == 3);
    _lclose(f);

    CHECK(_lunlink(nullptr) == HFILE_ERROR);
    CHECK(_lunlink("") == HFILE_ERROR);
    CHECK(_lunlink(file.c_str()) != HFILE_ERROR);
    CHECK(_laccess(file.c_str(), 0) == -1);

    /* tmp00 .. tmp09 taken: the next free name is tmp0a. */
    std::string dir = TempName("");
    for (int i = 0; i < 10; ++i) Touch(dir + "tmp0" + char('0' + i) + ".dat");
    char name[MAX_PATH];
    std::snprintf(name, sizeof name, "%stmp##.dat", dir.c_str());
    CHECK(MakeTemp(name, '#'));
    CHECK(std::string(name) == dir + "tmp0a.dat");
    /* A carry runs into the next placeholder on the left. */
    for (char c = 'a'; c <= 'z'; ++c) Touch(dir + "tmp0" + c + ".dat");
    std::snprintf(name, sizeof name, "%stmp##.dat", dir.c_str());
    CHECK(MakeTemp(name, '#'));
    CHECK(std::string(name) == dir + "tmp10.dat");
    /* Every name taken. */
    std::snprintf(name, sizeof name, "%stmp0#.dat", dir.c_str());
    CHECK_FALSE(MakeTemp(name, '#'));
    /* No placeholders: only whether the name is free. */
    std::snprintf(name, sizeof name, "%stmp05.dat", dir.c_str());
    CHECK_FALSE(MakeTemp(name, '#'));
    std::snprintf(name, sizeof name, "%sfree.dat", dir.c_str());
    CHECK(MakeTemp(name, '#'));
    for (int i = 0; i < 10; ++i) DeleteFileA((dir + "tmp0" + char('0' + i) + ".dat").c_str());
    for (char c = 'a'; c <= 'z'; ++c) DeleteFileA((dir + "tmp0" + c + ".dat").c_str());
    RemoveDirectoryA(dir.c_str());
}

TEST_CASE("Module directories and loading a library from its own directory", "[utils]")
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string full = exe, dir = full.substr(0, full.find_last_of('\\') + 1);
    char buf[MAX_PATH];
    CHECK(GetModuleDir(nullptr, buf, sizeof buf) == static_cast<int>(full.size()));
    CHECK(std::string(buf) == dir);
    CHECK(GetModuleDir(nullptr, buf, 3) == 0);

    std::strcpy(buf, "file.txt");
    CHECK(PrependExeDir(nullptr, buf, FALSE) == static_cast<int>(full.size()));
    CHECK(std::string(buf) == dir + "file.txt");
    std::strcpy(buf, "C:\\x\\file.txt");
    CHECK(PrependExeDir(nullptr, buf, FALSE) == 0);
    CHECK(std::string(buf) == "C:\\x\\file.txt");
    CHECK(PrependExeDir(nullptr, buf, TRUE) == static_cast<int>(full.size()));
    CHECK(std::string(buf) == dir + "file.txt");

    char before[MAX_PATH], after[MAX_PATH];
    GetCurrentDirectoryA(sizeof before, before);
    std::strcpy(buf, "tkctla.dll");
    HMODULE m = CHDIRLoadLibrary(buf, nullptr, TRUE);
    REQUIRE(m);
    CHECK(GetProcAddress(m, "CtlCounts"));
    CHECK(lstrcmpiA(buf, (dir + "tkctla.dll").c_str()) == 0);
    GetCurrentDirectoryA(sizeof after, after);
    CHECK(std::string(after) == before);
    FreeLibrary(m);
    std::strcpy(buf, "tk-no-such-library.dll");
    CHECK_FALSE(CHDIRLoadLibrary(buf, nullptr, TRUE));
    CHECK(std::string(buf) == "tk-no-such-library.dll");
    GetCurrentDirectoryA(sizeof after, after);
    CHECK(std::string(after) == before);
    hey();
}
