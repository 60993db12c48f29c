/* File, delete and directory dialogs driven through hooks: names typed and
 * OK pressed by the test, settings read back from the registry byte for byte. */
#include <catch2/catch.hpp>

#include "dialog_support.h"
#include "filedlg.h"
#include "tundrix32.h"

#include <cstdio>
#include <cstring>
#include <functional>

namespace {

const char kFilter[] = "Text\0*.txt\0Images\0*.tga;*.bmp\0Targa\0*.tga\0\0";

std::string SectionKey(const char *section) { return std::string(TundrixProgramKey()) + "\\" + section; }

void ClearSection(const char *section) { RegDeleteTreeA(HKEY_CURRENT_USER, SectionKey(section).c_str()); }

struct RegValue {
    DWORD type = 0;
    std::string bytes;
    bool present = false;
};

RegValue ReadValue(const char *section, const char *name)
{
    RegValue v;
    HKEY k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SectionKey(section).c_str(), 0, KEY_READ, &k)) return v;
    char buf[4096];
    DWORD size = sizeof buf;
    if (!RegQueryValueExA(k, name, nullptr, &v.type, reinterpret_cast<BYTE *>(buf), &size)) {
        v.present = true;
        v.bytes.assign(buf, size);
    }
    RegCloseKey(k);
    return v;
}

RegValue Sz(const std::string &s) { return RegValue{REG_SZ, s + '\0', true}; }
RegValue Dword(DWORD d) { return RegValue{REG_DWORD, std::string(reinterpret_cast<char *>(&d), 4), true}; }
bool operator==(const RegValue &a, const RegValue &b)
{
    return a.present == b.present && a.type == b.type && a.bytes == b.bytes;
}
std::ostream &operator<<(std::ostream &os, const RegValue &v)
{
    if (!v.present) return os << "(absent)";
    return os << "type " << v.type << " bytes " << Catch::Detail::stringify(v.bytes);
}

void WriteSz(const char *section, const char *name, const std::string &text)
{
    HKEY k;
    RegCreateKeyExA(HKEY_CURRENT_USER, SectionKey(section).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
    RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()), text.size() + 1);
    RegCloseKey(k);
}

/* A folder with two files, removed afterwards. */
struct TempFolder {
    std::string dir;
    TempFolder()
    {
        char tmp[MAX_PATH];
        GetTempPathA(sizeof tmp, tmp);
        char name[32];
        snprintf(name, sizeof name, "tkfiledlg%lu", GetCurrentProcessId());
        dir = std::string(tmp) + name;
        CreateDirectoryA(dir.c_str(), nullptr);
        for (const char *n : {"a.txt", "b.txt"}) {
            HANDLE h = CreateFileA((dir + "\\" + n).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            CloseHandle(h);
        }
    }
    ~TempFolder()
    {
        for (const char *n : {"a.txt", "b.txt"}) DeleteFileA((dir + "\\" + n).c_str());
        RemoveDirectoryA(dir.c_str());
    }
    std::string Path(const char *name) const { return dir + "\\" + name; }
};

/* The test's script, run from the caller's hook. */
struct Script {
    std::function<void(HWND inner)> at_init;
    std::function<void(HWND inner)> at_app;
    WPARAM init_wp = 0;
    LPARAM init_lp = 0;
    int file_oks = 0;
};
Script *g_script;

UINT_PTR CALLBACK ScriptHook(HWND inner, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG) {
        g_script->init_wp = wp;
        g_script->init_lp = lp;
    } else if (msg == WM_NOTIFY && reinterpret_cast<NMHDR *>(lp)->code == CDN_INITDONE) {
        if (g_script->at_init) g_script->at_init(inner);
    } else if (msg == WM_NOTIFY && reinterpret_cast<NMHDR *>(lp)->code == CDN_FILEOK) {
        ++g_script->file_oks;
    } else if (msg == WM_APP && g_script->at_app) {
        g_script->at_app(inner);
        return TRUE;
    }
    return 0;
}

void PressOk(HWND inner) { PostMessageA(GetParent(inner), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }
void PressCancel(HWND inner) { PostMessageA(GetParent(inner), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }
void TypeName(HWND inner, const char *name)
{
    SendMessageA(GetParent(inner), CDM_SETCONTROLTEXT, 1152, reinterpret_cast<LPARAM>(name));
}
std::string Query(HWND inner, WPARAM sub)
{
    char buf[MAX_PATH] = {};
    SendMessageA(inner, FileDialogQueryMessage(), sub, reinterpret_cast<LPARAM>(buf));
    return buf;
}

/* Message boxes of the thread: recorded and answered with OK. */
struct BoxRecorder {
    static BoxRecorder *current;
    HHOOK hook;
    std::vector<std::pair<std::string, std::string>> boxes;
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
            if (text && !GetPropA(w, "seen")) {
                SetPropA(w, "seen", reinterpret_cast<HANDLE>(1));
                current->boxes.emplace_back(WindowText(w), WindowText(text));
                PostMessageA(w, WM_COMMAND, IDOK, 0);
            }
        }
        return CallNextHookEx(current->hook, code, wp, lp);
    }
};
BoxRecorder *BoxRecorder::current;

struct Request {
    FILEDIALOGREQUEST req = {};
    char file[1024] = {};
    explicit Request(DWORD size = FILEDIALOG_SIZE_SHORT)
    {
        req.ofn.lStructSize = size;
        req.ofn.lpstrFilter = kFilter;
        req.ofn.nFilterIndex = 1;
        req.ofn.lpstrFile = file;
        req.ofn.nMaxFile = sizeof file;
        req.ofn.Flags = OFN_EXPLORER;
    }
    void Hooked()
    {
        req.ofn.Flags |= OFN_ENABLEHOOK;
        req.ofn.lpfnHook = ScriptHook;
    }
};

}  // namespace

TEST_CASE("File dialog requests are checked before any dialog", "[filedlg]")
{
    struct Row { DWORD size; DWORD flags; bool instance, hook, name; DWORD code; } rows[] = {
        {FILEDIALOG_SIZE_SHORT + 4, 0, false, false, false, 1},
        {FILEDIALOG_SIZE_FULL + 8, 0, false, false, false, 1},
        {0, 0, false, false, false, 1},
        {FILEDIALOG_SIZE_SHORT, OFN_ENABLETEMPLATE, false, false, true, 4},
        {FILEDIALOG_SIZE_MIDDLE, OFN_ENABLEHOOK, false, false, false, 11},
        {FILEDIALOG_SIZE_FULL, OFN_ENABLETEMPLATE, true, false, false, 3},
    };
    for (const Row &r : rows) {
        Request q(r.size);
        q.req.ofn.Flags |= r.flags;
        if (r.instance) q.req.ofn.hInstance = GetModuleHandleA(nullptr);
        if (r.name) q.req.ofn.lpTemplateName = "X";
        INFO("size " << r.size << " flags " << r.flags);
        CHECK(iGetOpenFileName(&q.req) == 0);
        CHECK(iCommDlgExtendedError() == r.code);
        CHECK(iGetSaveFileName(&q.req) == 0);
        CHECK(iCommDlgExtendedError() == r.code);
    }
    CHECK(iGetOpenFileName(nullptr) == 0);
}

TEST_CASE("File dialog settings file and section names", "[filedlg]")
{
    struct Row { DWORD size; DWORD flags; const char *file, *section, *want_file, *want_section; } rows[] = {
        {FILEDIALOG_SIZE_SHORT, 0, "x.ini", "S", "C:\\apps\\quillon.ini", "File Reader"},
        {FILEDIALOG_SIZE_MIDDLE, 0, nullptr, nullptr, "C:\\apps\\quillon.ini", "File Reader"},
        {FILEDIALOG_SIZE_FULL, 0, "custom.ini", "Writer", "C:\\apps\\custom.ini", "Writer"},
        {FILEDIALOG_SIZE_FULL, FILEDIALOG_SETTINGS_ASIS, "custom.ini", "Writer", "custom.ini", "Writer"},
        {FILEDIALOG_SIZE_FULL, 0, "D:\\cfg\\a.ini", "", "D:\\cfg\\a.ini", "File Reader"},
        {FILEDIALOG_SIZE_FULL, 0, "settings.dat", nullptr, "settings.dat", "File Reader"},
        {FILEDIALOG_SIZE_FULL, 0, nullptr, "W", "C:\\apps\\quillon.ini", "W"},
    };
    for (const Row &r : rows) {
        FILEDIALOGREQUEST q = {};
        q.ofn.lStructSize = r.size;
        q.ofn.Flags = r.flags;
        q.settings_file = r.file;
        q.settings_section = r.section;
        CHECK(FileDialogSettingsFile(&q, "C:\\apps\\editor.exe") == r.want_file);
        CHECK(FileDialogSection(&q) == r.want_section);
    }
    FILEDIALOGREQUEST q = {};
    q.ofn.lStructSize = FILEDIALOG_SIZE_SHORT;
    CHECK(FileDialogSettingsFile(&q, "editor.exe") == "quillon.ini");
}

TEST_CASE("File dialog filter patterns", "[filedlg]")
{
    CHECK(FilterPattern(kFilter, 1) == "*.txt");
    CHECK(FilterPattern(kFilter, 2) == "*.tga;*.bmp");
    CHECK(FilterPattern(kFilter, 4) == "");
    CHECK(FilterPattern(kFilter, 0) == "");
    CHECK(FilterIndexOf(kFilter, "*.TGA") == 3);
    CHECK(FilterIndexOf(kFilter, "*.tga;*.BMP") == 2);
    CHECK(FilterIndexOf(kFilter, "*.png") == 0);
    CHECK(FilterIndexOf(nullptr, "*.txt") == 0);
}

TEST_CASE("The delete chooser resolves a name without input", "[filedlg]")
{
    ControlsLoaded controls;
    OwnerWindow owner;
    TempFolder folder;
    ClearSection("File Reader");
    Request q;
    q.req.ofn.hwndOwner = owner.hwnd;
    std::string path = folder.Path("b.txt");
    strcpy(q.file, path.c_str());
    REQUIRE(iGetDeleteFileName(&q.req) != 0);
    CHECK(std::string(q.file) == path);
    CHECK(q.req.ofn.nFilterIndex == 1);
    CHECK(ReadValue("File Reader", "FileName") == Sz(path));
    CHECK(ReadValue("File Reader", "StartupDirectory") == Sz(folder.dir));
    CHECK(ReadValue("File Reader", "FilterSpec") == Sz("*.txt"));
    CHECK(ReadValue("File Reader", "FilterIndex") == Dword(1));
    CHECK(ReadValue("File Reader", "nColumns") == Dword(0));
    /* Not on this system: the frame's growth and list mode. */
    CHECK_FALSE(ReadValue("File Reader", "cx").present);
    CHECK_FALSE(ReadValue("File Reader", "ListViewStyle").present);

    SECTION("a buffer too small for the choice fails")
    {
        q.req.ofn.nMaxFile = 8;
        strcpy(q.file, path.c_str());
        CHECK(iGetDeleteFileName(&q.req) == 0);
        CHECK(iCommDlgExtendedError() == 0x3003);
    }
}

TEST_CASE("The open dialog with the caller's hook", "[filedlg]")
{
    ControlsLoaded controls;
    OwnerWindow owner;
    TempFolder folder;
    ClearSection("File Reader");
    WriteSz("File Reader", "FilterSpec", "*.tga");
    Request q;
    q.req.ofn.hwndOwner = owner.hwnd;
    q.req.ofn.nFilterIndex = static_cast<DWORD>(-1);
    q.Hooked();
    strcpy(q.file, (folder.dir + "\\").c_str());
    Script script;
    g_script = &script;
    std::string section, settings, path_query, folder_query, ok_class;
    LONG style = 0;
    script.at_init = [&](HWND inner) {
        HWND frame = GetParent(inner);
        section = Query(inner, 7);
        settings = Query(inner, 8);
        folder_query = Query(inner, 6);
        SendMessageA(frame, CDM_SETCONTROLTEXT, 1152, reinterpret_cast<LPARAM>("notes"));
        /* Switch to the first filter: "*.txt" becomes the default extension. */
        HWND types = GetDlgItem(frame, 1136);
        SendMessageA(types, CB_SETCURSEL, 0, 0);
        SendMessageA(frame, WM_COMMAND, MAKEWPARAM(1136, CBN_SELENDOK), reinterpret_cast<LPARAM>(types));
        path_query = Query(inner, 5);
        style = GetWindowLongA(frame, GWL_STYLE);
        PostMessageA(inner, WM_APP, 0, 0);
    };
    script.at_app = [&](HWND inner) {
        /* After the toolkit's own handling of the dialog's start. */
        char cls[32] = {};
        GetClassNameA(GetDlgItem(GetParent(inner), IDOK), cls, sizeof cls);
        ok_class = cls;
        TypeName(inner, "a.txt");
        PressOk(inner);
    };
    BOOL ok = iGetOpenFileName(&q.req);
    REQUIRE(ok != 0);
    CHECK(script.init_wp == FileDialogQueryMessage());
    CHECK(script.init_lp == reinterpret_cast<LPARAM>(&q.req));
    CHECK(section == "File Reader");
    CHECK(settings == TundrixProgramDir() + "quillon.ini");
    CHECK(folder_query == folder.dir);
    CHECK(path_query == folder.Path("notes.txt"));
    CHECK(ok_class == "Knobset");
    CHECK((style & WS_THICKFRAME));
    CHECK_FALSE((style & DS_MODALFRAME));
    CHECK(std::string(q.file) == folder.Path("a.txt"));
    CHECK(script.file_oks == 1);
    CHECK(q.req.ofn.nFilterIndex == 1);
    CHECK(ReadValue("File Reader", "FilterSpec") == Sz("*.txt"));
    CHECK(ReadValue("File Reader", "FilterIndex") == Dword(1));
}

TEST_CASE("A remembered filter pattern picks its pair", "[filedlg]")
{
    ControlsLoaded controls;
    OwnerWindow owner;
    TempFolder folder;
    ClearSection("File Reader");
    WriteSz("File Reader", "FilterSpec", "*.tga");
    Request q;
    q.req.ofn.hwndOwner = owner.hwnd;
    q.req.ofn.nFilterIndex = static_cast<DWORD>(-1);
    q.Hooked();
    Script script;
    g_script = &script;
    DWORD index = 0;
    script.at_init = [&](HWND inner) {
        index = static_cast<DWORD>(SendMessageA(GetDlgItem(GetParent(inner), 1136), CB_GETCURSEL, 0, 0)) + 1;
        PressCancel(inner);
    };
    CHECK(iGetOpenFileName(&q.req) == 0);
    CHECK(index == 3);
    /* Cancelling writes only the column settings. */
    CHECK(ReadValue("File Reader", "nColumns") == Dword(0));
    CHECK_FALSE(ReadValue("File Reader", "FileName").present);
    CHECK(ReadValue("File Reader", "FilterSpec") == Sz("*.tga"));
}

TEST_CASE("The full form remembers name and directory in its own section", "[filedlg]")
{
    ControlsLoaded controls;
    OwnerWindow owner;
    TempFolder folder;
    ClearSection("Clip Reader");
    WriteSz("Clip Reader", "StartupDirectory", folder.dir);
    WriteSz("Clip Reader", "FileName", "b.txt");
    Request q(FILEDIALOG_SIZE_FULL);
    q.req.settings_file = "clips.ini";
    q.req.settings_section = "Clip Reader";
    q.req.ofn.hwndOwner = owner.hwnd;
    q.Hooked();
    Script script;
    g_script = &script;
    std::string folder_seen, name_seen, settings;
    script.at_init = [&](HWND inner) {
        folder_seen = Query(inner, 6);
        char name[MAX_PATH] = {};
        GetDlgItemTextA(GetParent(inner), 1152, name, sizeof name);
        name_seen = name;
        settings = Query(inner, 8);
        PressOk(inner);
    };
    REQUIRE(iGetOpenFileName(&q.req) != 0);
    CHECK(folder_seen == folder.dir);
    CHECK(name_seen == "b.txt");
    CHECK(settings == TundrixProgramDir() + "clips.ini");
    CHECK(std::string(q.file) == folder.Path("b.txt"));
    CHECK(ReadValue("Clip Reader", "FileName") == Sz(folder.Path("b.txt")));
    CHECK_FALSE(ReadValue("File Reader", "FileName").present);
}

TEST_CASE("A multi-selection naming a missing file stays open", "[filedlg]")
{
    ControlsLoaded controls;
    OwnerWindow owner;
    TempFolder folder;
    ClearSection("File Reader");
    Request q;
    q.req.ofn.hwndOwner = owner.hwnd;
    q.req.ofn.Flags |= OFN_ALLOWMULTISELECT;
    strcpy(q.file, (folder.dir + "\\").c_str());
    q.Hooked();
    Script script;
    g_script = &script;
    script.at_init = [&](HWND inner) {
        TypeName(inner, "\"a.txt\" \"gone.txt\"");
        PressOk(inner);
        PostMessageA(inner, WM_APP, 0, 0);
    };
    script.at_app = [&](HWND inner) {
        TypeName(inner, "\"a.txt\" \"b.txt\"");
        PressOk(inner);
    };
    BoxRecorder boxes;
    REQUIRE(iGetOpenFileName(&q.req) != 0);
    REQUIRE(boxes.boxes.size() == 1);
    CHECK(boxes.boxes[0].first == "File Not Found");
    CHECK(boxes.boxes[0].second ==
          folder.dir + "\\gone.txt\nFile not found.\nPlease verify that path and filename are correct.");
    std::string want = folder.dir + '\0' + "a.txt" + '\0' + "b.txt" + '\0' + '\0';
    CHECK(std::string(q.file, want.size()) == want);
    CHECK(ReadValue("File Reader", "StartupDirectory") == Sz(folder.dir));
}

TEST_CASE("The directory chooser", "[filedlg]")
{
    ControlsLoaded controls;
    OwnerWindow owner;
    TempFolder folder;
    ClearSection("Dir Test");
    Script script;
    g_script = &script;
    std::string shown, label;
    bool types_hidden = false;
    script.at_init = [&](HWND inner) { PostMessageA(inner, WM_APP, 0, 0); };
    script.at_app = [&](HWND inner) {
        HWND frame = GetParent(inner);
        char buf[MAX_PATH] = {};
        GetDlgItemTextA(frame, 1152, buf, sizeof buf);
        shown = buf;
        GetDlgItemTextA(frame, 1090, buf, sizeof buf);
        label = buf;
        types_hidden = !IsWindowVisible(GetDlgItem(frame, 1136));
        PostMessageA(inner, WM_COMMAND, IDOK, 0);
    };
    char buffer[MAX_PATH] = {};
    strcpy(buffer, folder.dir.c_str());
    REQUIRE(iGetDirName(owner.hwnd, buffer, 10, "Pick", ScriptHook, nullptr, 0, 0, "Dir Test") == 1);
    CHECK(shown == folder.dir);
    CHECK(label == "Path:");
    CHECK(types_hidden);
    CHECK(std::string(buffer) == folder.dir.substr(0, 9));
    CHECK(ReadValue("Dir Test", "StartupDirectory") == Sz(folder.dir));

    SECTION("the remembered directory is where it starts")
    {
        buffer[0] = 0;
        script.at_app = [&](HWND inner) {
            char buf[MAX_PATH] = {};
            GetDlgItemTextA(GetParent(inner), 1152, buf, sizeof buf);
            shown = buf;
            PostMessageA(GetParent(inner), WM_COMMAND, IDCANCEL, 0);
        };
        shown.clear();
        CHECK(iGetDirName(owner.hwnd, buffer, sizeof buffer, "Pick", ScriptHook, nullptr, 0, 0, "Dir Test") == 0);
        CHECK(shown == folder.dir);
        CHECK(buffer[0] == 0);
    }
}

TEST_CASE("Child windows get the message of the record", "[filedlg]")
{
    OwnerWindow owner;
    HWND a = CreateWindowExA(0, "EDIT", "", WS_CHILD, 0, 0, 50, 20, owner.hwnd, nullptr, nullptr, nullptr);
    HWND b = CreateWindowExA(0, "EDIT", "", WS_CHILD, 0, 30, 50, 20, owner.hwnd, nullptr, nullptr, nullptr);
    CHILDMESSAGE m = {0, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("same")};
    EnumChildWindows(owner.hwnd, EnumChildWindowsProc, reinterpret_cast<LPARAM>(&m));
    CHECK(WindowText(a) == "same");
    CHECK(WindowText(b) == "same");
    CHECK(iUseTextures(FALSE) == TRUE);
    CHECK(iUseTextures(TRUE) == FALSE);
}
