/* Library start-up and control-library loading; dialog templates, the
 * template builder, the local font and the DBCS subclassing machinery. */
#include <catch2/catch.hpp>

#include "internal.h"
#include "tundrix32.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

typedef void(WINAPI *CountsFn)(LONG *, LONG *, DWORD *);

struct Counts {
    LONG registers = 0, unregisters = 0;
    DWORD version = 0;
};

Counts Read(HMODULE keep)
{
    Counts c;
    auto fn = reinterpret_cast<CountsFn>(GetProcAddress(keep, "CtlCounts"));
    if (fn) fn(&c.registers, &c.unregisters, &c.version);
    return c;
}

std::vector<WORD> Words(const std::string &bytes)
{
    std::vector<WORD> w(bytes.size() / 2);
    std::memcpy(w.data(), bytes.data(), w.size() * 2);
    return w;
}

std::string g_modal_face;
DWORD g_modal_style;

INT_PTR CALLBACK EndAtOnce(HWND dlg, UINT msg, WPARAM, LPARAM lp)
{
    if (msg != WM_INITDIALOG) return FALSE;
    HFONT f = reinterpret_cast<HFONT>(SendMessageA(dlg, WM_GETFONT, 0, 0));
    LOGFONTA lf = {};
    if (f) GetObjectA(f, sizeof lf, &lf);
    g_modal_face = lf.lfFaceName;
    g_modal_style = static_cast<DWORD>(GetWindowLongA(dlg, GWL_STYLE));
    EndDialog(dlg, lp);
    return TRUE;
}

INT_PTR CALLBACK QuietProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

std::string FaceOf(HWND dlg)
{
    HFONT f = reinterpret_cast<HFONT>(SendMessageA(dlg, WM_GETFONT, 0, 0));
    if (!f) return "<none>";
    LOGFONTA lf = {};
    GetObjectA(f, sizeof lf, &lf);
    return lf.lfFaceName;
}

/* A small template made with the builder: an edit and a button. */
HGLOBAL SmallTemplate(WORD points, const char *face)
{
    HGLOBAL t = TemplateStartEx(WS_POPUP | DS_MODALFRAME | WS_CAPTION | WS_SYSMENU, 0, 0, 120, 60, nullptr, nullptr,
                                "Probe", points, face, 0, false);
    t = TemplateAddItem(t, 100, WS_CHILD | WS_VISIBLE, 5, 5, 60, 12, "\x81", "text");
    t = TemplateAddItem(t, IDOK, WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 5, 20, 40, 14, "BUTTON", "OK");
    return TemplateFinish(t);
}

}  // namespace

TEST_CASE("Control libraries load once, count their uses and unregister at the last release", "[startup]")
{
    /* The test keeps its own reference so the counters survive the toolkit's free. */
    HMODULE keep_a = LoadLibraryA("tkctla.dll"), keep_b = LoadLibraryA("tkctlb.dll");
    REQUIRE(keep_a);
    REQUIRE(keep_b);
    ControlLibrary a = {"tkctla.dll", "CtlRegister", "CtlUnregister", nullptr, 0};
    ControlLibrary b = {"tkctlb.dll", "CtlRegister", "CtlUnregister", nullptr, 0};

    REQUIRE(ControlLibrariesLoad(&a, &b));   /* the load-time use */
    for (int i = 0; i < 3; ++i) REQUIRE(ControlLibrariesLoad(&a, &b));   /* three nested dialogs */
    CHECK(a.uses == 4);
    CHECK(b.uses == 4);
    Counts ca = Read(keep_a);
    CHECK(ca.registers == 1);
    CHECK(ca.version == 0x02410000);
    for (int i = 0; i < 3; ++i) ControlLibrariesRelease(&a, &b);
    CHECK(a.uses == 1);
    CHECK(b.uses == 1);
    CHECK(Read(keep_a).unregisters == 0);
    ControlLibrariesRelease(&a, &b);
    CHECK(a.uses == 0);
    CHECK_FALSE(a.module);
    CHECK(Read(keep_a).unregisters == 1);
    CHECK(Read(keep_b).unregisters == 1);
    ControlLibrariesRelease(&a, &b);   /* one release too many changes nothing */
    CHECK(Read(keep_a).unregisters == 1);

    /* One library missing: the other is given back and the pair fails. */
    ControlLibrary missing = {"tknothere.dll", "CtlRegister", "CtlUnregister", nullptr, 0};
    CHECK_FALSE(ControlLibrariesLoad(&a, &missing));
    CHECK(a.uses == 0);
    CHECK(Read(keep_a).registers == 2);
    CHECK(Read(keep_a).unregisters == 2);
    FreeLibrary(keep_a);
    FreeLibrary(keep_b);
}

TEST_CASE("Loading Tundrix32 loads both control libraries; its exports answer", "[startup]")
{
    HMODULE tk = LoadLibraryA("Tundrix32.dll");
    REQUIRE(tk);
    CHECK(GetModuleHandleA("Knobkit.dll"));
    CHECK(GetModuleHandleA("Placet.dll"));
    /* Their classes are there for the toolkit's dialogs. */
    WNDCLASSA wc;
    CHECK(GetClassInfoA(nullptr, "Knobset", &wc));
    CHECK(GetClassInfoA(nullptr, "Placet", &wc));
    CHECK(RegisterWindowMessageA("OpenFileNameDialog-Brannoch") >= 0xC000);

    /* The exports answer through the library, the variable-argument ones too. */
    typedef INIOBJECT *(WINAPI * InitFn)(LPCSTR, LPCSTR);
    typedef BOOL(WINAPI * DoneFn)(INIOBJECT *);
    typedef int(__cdecl * PrintfFn)(INIOBJECT *, LPCSTR, LPCSTR, LPCSTR, ...);
    typedef int(__cdecl * ScanfFn)(INIOBJECT *, LPCSTR, LPCSTR, LPCSTR, LPCSTR, ...);
    auto init = reinterpret_cast<InitFn>(GetProcAddress(tk, "regInit"));
    auto done = reinterpret_cast<DoneFn>(GetProcAddress(tk, "regDone"));
    auto print = reinterpret_cast<PrintfFn>(GetProcAddress(tk, "regPrintf"));
    auto scan = reinterpret_cast<ScanfFn>(GetProcAddress(tk, "regScanf"));
    REQUIRE((init && done && print && scan));
    INIOBJECT *obj = init("DllProbe", nullptr);
    REQUIRE(obj);
    CHECK(print(obj, nullptr, "v", "%d %s %.1f", 12, "ab", 0.5) == 9);
    int i = 0;
    char s[8] = {};
    float f = 0;
    CHECK(scan(obj, nullptr, "v", "", "%d %s %f", &i, s, &f) == 3);
    CHECK((i == 12 && std::string(s) == "ab" && f == 0.5f));
    RegDeleteKeyA(HKEY_CURRENT_USER, obj->file);
    CHECK(done(obj));
    for (const char *name : {"HackDialogBoxParam", "LoadStringsIntoCB", "SqueezeText", "MakeTemp", "CHDIRLoadLibrary",
                             "DupPopupMenu", "tmenuTrack", "DoTrackMenu", "hey", "GetIniDataEx", "iCreateLocalFont"})
        CHECK(GetProcAddress(tk, name));
    FreeLibrary(tk);
    CHECK_FALSE(GetModuleHandleA("Tundrix32.dll"));
    CHECK_FALSE(GetModuleHandleA("Placet.dll"));
    CHECK_FALSE(GetModuleHandleA("Knobkit.dll"));
}

TEST_CASE("The template builder writes the standard layout byte for byte", "[templates]")
{
    HGLOBAL t = TemplateStartEx(0x80C80000, 1, 2, 30, 40, nullptr, nullptr, "A\xE9", 8, "Face", 0x10, false);
    REQUIRE(t);
    t = TemplateAddItem(t, 7, 0x50000000, 3, 4, 5, 6, "\x80", "Ok");
    t = TemplateAddItem(t, 8, 0x50010000, 9, 10, 11, 12, "Edit", "");
    REQUIRE(t);
    SIZE_T size = GlobalSize(t);
    const BYTE *p = static_cast<const BYTE *>(GlobalLock(t));
    std::string bytes(reinterpret_cast<const char *>(p), size);
    GlobalUnlock(t);

    WORD used = *reinterpret_cast<const WORD *>(bytes.data() + size - 2);
    const std::vector<WORD> expect = {
        /* header: style 0x80C80040 (DS_SETFONT added), ex style 0x10, 2 items, 1 2 30 40 */
        0x0040, 0x80C8, 0x0010, 0x0000, 2, 1, 2, 30, 40,
        0, 0, 'A', 0x00E9, 0,      /* no menu, no class, the title byte by byte */
        8, 'F', 'a', 'c', 'e', 0,  /* point size and face, ending on a 4-byte boundary */
        /* item 1 at 40 */
        0x0000, 0x5000, 0, 0, 3, 4, 5, 6, 7, 0xFFFF, 0x0080, 'O', 'k', 0, 0,
        0,                         /* pad to 4 */
        /* item 2 at 72 */
        0x0000, 0x5001, 0, 0, 9, 10, 11, 12, 8, 'E', 'd', 'i', 't', 0, 0, 0,
    };
    REQUIRE(used == 104);
    std::vector<WORD> got = Words(bytes.substr(0, expect.size() * 2));
    CHECK(got == expect);

    WORD points = 0;
    char face[40];
    CHECK(TemplateReadFont(p, &points, face, sizeof face) == 1);
    CHECK(points == 8);
    CHECK(std::string(face) == "Face");
    GlobalFree(t);

    /* No face: DS_SETFONT is cleared and there is no font. */
    t = TemplateStartEx(0x80C80040, 0, 0, 10, 10, nullptr, nullptr, nullptr, 8, nullptr, 0, false);
    p = static_cast<const BYTE *>(GlobalLock(t));
    CHECK((reinterpret_cast<const DLGTEMPLATE *>(p)->style & DS_SETFONT) == 0);
    CHECK(TemplateReadFont(p, &points, face, sizeof face) == 0);
    GlobalUnlock(t);
    GlobalFree(t);
}

TEST_CASE("Patching a template replaces the face and keeps the items aligned", "[templates]")
{
    struct Row { const char *old_face, *new_face; };
    const Row rows[] = {{"Face", "Arial"}, {"Face", "Tahoma"}, {"MS Sans Serif", "Arial"}, {"Ab", "Abc"},
                        {"A", "B"},        {"Abc", ""}};
    for (const Row &r : rows) {
        INFO(r.old_face << " -> " << r.new_face);
        for (const char *title : {"T", "Tt"}) {
            HGLOBAL t = TemplateStartEx(WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, title, 8, r.old_face, 0, false);
            t = TemplateAddItem(t, 5, WS_CHILD, 1, 2, 3, 4, "\x82", "x");
            SIZE_T size = GlobalSize(t);
            const void *src = GlobalLock(t);
            std::string patched = TemplatePatch(src, size, 0, 12, r.new_face);
            GlobalUnlock(t);
            GlobalFree(t);
            REQUIRE_FALSE(patched.empty());
            WORD points = 0;
            char face[40];
            REQUIRE(TemplateReadFont(patched.data(), &points, face, sizeof face));
            if (*r.new_face) {
                CHECK(points == 12);
                CHECK(std::string(face) == r.new_face);
            } else {
                CHECK(points == 8);   /* an empty face changes nothing */
                CHECK(std::string(face) == r.old_face);
            }
            /* The item follows at the next 4-byte boundary after the face. */
            std::vector<WORD> w = Words(patched);
            size_t at = 9 + 1 + 1 + std::strlen(title) + 1 + 1;
            while (w[at]) ++at;
            size_t item = ((at + 1) * 2 + 3) / 4 * 4 / 2;
            REQUIRE(item + 11 < w.size());
            CHECK(w[item] == 0);
            CHECK(w[item + 1] == (WS_CHILD >> 16));
            CHECK(w[item + 8] == 5);
            CHECK(w[item + 9] == 0xFFFF);
            CHECK(w[item + 10] == 0x82);
            CHECK(w[item + 11] == 'x');
        }
    }
}

TEST_CASE("Faces are cut to 31 characters; styles replace the frame bits", "[templates]")
{
    HGLOBAL t = TemplateStartEx(WS_POPUP | DS_MODALFRAME | WS_CAPTION | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                nullptr, 8, "Face", 0, false);
    SIZE_T size = GlobalSize(t);
    const void *src = GlobalLock(t);
    std::string longface(40, 'F');
    std::string patched = TemplatePatch(src, size, WS_CHILD, 0, longface.c_str());
    std::string keep_font = TemplatePatch(src, size, 0, 0, nullptr);
    GlobalUnlock(t);
    GlobalFree(t);
    WORD points = 0;
    char face[64];
    REQUIRE(TemplateReadFont(patched.data(), &points, face, sizeof face));
    CHECK(std::string(face) == std::string(31, 'F'));
    CHECK(points == 8);
    DWORD style = reinterpret_cast<const DLGTEMPLATE *>(patched.data())->style;
    CHECK(style == (WS_CHILD | WS_VISIBLE | DS_SETFONT));
    CHECK(keep_font.size() == size);

    /* A template without DS_SETFONT keeps its font even when a face is passed. */
    t = TemplateStartEx(WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, "x", 0, nullptr, 0, false);
    size = GlobalSize(t);
    src = GlobalLock(t);
    std::string same = TemplatePatch(src, size, 0, 10, "Arial");
    CHECK(same == std::string(static_cast<const char *>(src), size));
    GlobalUnlock(t);
    GlobalFree(t);

    CHECK(TemplatePatch(nullptr, 100, 0, 8, "A").empty());
    CHECK(TemplatePatch("\x40\0\0\0", 4, 0, 8, "A").empty());
}

TEST_CASE("HackDialogBoxParam runs dialogs from handles and resources with the new font", "[templates]")
{
    HGLOBAL t = SmallTemplate(8, "Courier New");
    HWND dlg = reinterpret_cast<HWND>(HackDialogBoxParam(nullptr, reinterpret_cast<LPCSTR>(t), nullptr, QuietProc, 0,
                                                         0, 10, "Tahoma", 0x1 | 0x10));
    REQUIRE(dlg);
    CHECK(FaceOf(dlg) == "Tahoma");
    CHECK(GetDlgItem(dlg, IDOK));
    DestroyWindow(dlg);

    /* Point size 0 and no face: the template as it is, the style ignored. */
    dlg = reinterpret_cast<HWND>(HackDialogBoxParam(nullptr, reinterpret_cast<LPCSTR>(t), nullptr, QuietProc, 0,
                                                    WS_CHILD, 0, nullptr, 0x1 | 0x10));
    REQUIRE(dlg);
    CHECK(FaceOf(dlg) == "Courier New");
    CHECK((GetWindowLongA(dlg, GWL_STYLE) & WS_POPUP) != 0);
    DestroyWindow(dlg);

    /* Modal: the dialog's result comes back; the caller's frame bits replace the template's. */
    g_modal_face.clear();
    CHECK(HackDialogBoxParam(nullptr, reinterpret_cast<LPCSTR>(t), nullptr, EndAtOnce, 77, WS_POPUP | WS_BORDER, 9,
                             "Tahoma", 0x1) == 77);
    CHECK(g_modal_face == "Tahoma");
    CHECK((g_modal_style & WS_CAPTION) == WS_BORDER);
    CHECK((g_modal_style & WS_SYSMENU) == 0);

    /* A bare pointer cannot be copied for a font change. */
    void *ptr = GlobalLock(t);
    CHECK(HackDialogBoxParam(nullptr, static_cast<LPCSTR>(ptr), nullptr, QuietProc, 0, 0, 10, "Tahoma", 0x2 | 0x10) == -1);
    dlg = reinterpret_cast<HWND>(HackDialogBoxParam(nullptr, static_cast<LPCSTR>(ptr), nullptr, QuietProc, 0, 0, 0,
                                                    nullptr, 0x2 | 0x10));
    CHECK(dlg);
    if (dlg) DestroyWindow(dlg);
    GlobalUnlock(t);
    GlobalFree(t);

    /* A resource of this program, and a missing one. */
    dlg = reinterpret_cast<HWND>(HackDialogBoxParam(GetModuleHandleA(nullptr), "TUNDRIXSUBCLASS", nullptr, QuietProc, 0,
                                                    0, 9, "Arial", 0x10));
    REQUIRE(dlg);
    CHECK(FaceOf(dlg) == "Arial");
    CHECK(GetDlgItem(dlg, 101));
    DestroyWindow(dlg);
    CHECK(HackDialogBoxParam(GetModuleHandleA(nullptr), "NOSUCHDIALOG", nullptr, QuietProc, 0, 0, 9, "Arial", 0x10) == -1);
}

TEST_CASE("Local fonts and the forwarding of WM_SETFONT to the subclassed classes", "[templates]")
{
    HFONT nine = CreateLocalFontAlways(9);
    REQUIRE(nine);
    LOGFONTA lf = {};
    GetObjectA(nine, sizeof lf, &lf);
    HDC dc = GetDC(nullptr);
    CHECK(lf.lfHeight == -MulDiv(90, GetDeviceCaps(dc, LOGPIXELSY), 720));
    ReleaseDC(nullptr, dc);
    CHECK(lf.lfCharSet == DEFAULT_CHARSET);
    DeleteObject(nine);
    if (!GetSystemMetrics(SM_DBCSENABLED)) CHECK_FALSE(iCreateLocalFont(9, 0));

    WNDCLASSA before = {};
    GetClassInfoA(nullptr, "EDIT", &before);
    REQUIRE(DbcsSubclassInstallNow());
    REQUIRE(DbcsLocalFont());
    HFONT mine = CreateFontA(-20, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
    for (const char *cls : {"EDIT", "COMBOBOX", "LISTBOX"}) {
        INFO(cls);
        HWND w = CreateWindowExA(0, cls, "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
        REQUIRE(w);
        SendMessageA(w, WM_SETFONT, reinterpret_cast<WPARAM>(mine), 0);
        CHECK(reinterpret_cast<HFONT>(SendMessageA(w, WM_GETFONT, 0, 0)) == DbcsLocalFont());
        DbcsSetPassThrough(true);   /* as while a system file dialog is open */
        SendMessageA(w, WM_SETFONT, reinterpret_cast<WPARAM>(mine), 0);
        CHECK(reinterpret_cast<HFONT>(SendMessageA(w, WM_GETFONT, 0, 0)) == mine);
        DbcsSetPassThrough(false);
        DestroyWindow(w);
    }
    DbcsSubclassRemoveNow();
    CHECK_FALSE(DbcsLocalFont());
    WNDCLASSA after = {};
    GetClassInfoA(nullptr, "EDIT", &after);
    CHECK(after.lpfnWndProc == before.lpfnWndProc);
    HWND w = CreateWindowExA(0, "EDIT", "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    SendMessageA(w, WM_SETFONT, reinterpret_cast<WPARAM>(mine), 0);
    CHECK(reinterpret_cast<HFONT>(SendMessageA(w, WM_GETFONT, 0, 0)) == mine);
    DestroyWindow(w);
    DeleteObject(mine);
}
