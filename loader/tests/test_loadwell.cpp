/* Loadwell: registration, the registry lookup switch, the version question
 * and the boxes for conflicting, older and broken libraries. */
#include <catch2/catch.hpp>

#include "errtext.h"
#include "loadwell.h"
#include "msgbox_capture.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string ReadDefault(const std::string &key)
{
    char buf[512] = {};
    LONG size = sizeof buf;
    if (RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), buf, &size) != ERROR_SUCCESS) return "<missing>";
    return buf;
}

void SetSwitch(const char *name, const char *value)
{
    std::string key = std::string(LOADWELL_FLAGS_KEY) + name;
    if (value) RegSetValueA(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, value, lstrlenA(value) + 1);
    else RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
}

void Register(const char *name, const std::string &path)
{
    std::string key = std::string(LOADWELL_DLL_KEY) + name;
    RegSetValueA(HKEY_CLASSES_ROOT, (key + "\\version").c_str(), REG_SZ, "100", 4);
    RegSetValueA(HKEY_CLASSES_ROOT, (key + "\\path").c_str(), REG_SZ, path.c_str(), static_cast<DWORD>(path.size() + 1));
}

void Unregister(const char *name)
{
    std::string key = std::string(LOADWELL_DLL_KEY) + name;
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (key + "\\version").c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (key + "\\path").c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
}

std::string ProgramDir()
{
    char buf[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, buf, sizeof buf);
    std::string s = buf;
    return s.substr(0, s.find_last_of("\\/") + 1);
}

/* Frees every reference the test took, so each case starts unloaded. */
void Unload(const char *name)
{
    while (HMODULE m = GetModuleHandleA(name)) FreeLibrary(m);
}

struct Clean {
    Clean()
    {
        SetSwitch("UseLoadwell", nullptr);
        SetSwitch("HeadSmashedInBuffaloJump", nullptr);
    }
    ~Clean()
    {
        SetSwitch("UseLoadwell", nullptr);
        SetSwitch("HeadSmashedInBuffaloJump", nullptr);
        Unregister("lwalias");
        Unload("lwprobe.dll");
        Unload("lwbare.dll");
    }
};

}  // namespace

TEST_CASE("Registering writes the version as bare lower-case hex and the module's full path", "[loadwell]")
{
    HMODULE self = GetModuleHandleA("Loadwell.dll");
    REQUIRE(self);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(self, path, sizeof path);

    /* The loader registers itself when it is loaded. */
    CHECK(ReadDefault(LOADWELL_DLL_KEY "Loadwell\\version") == "100");
    CHECK(ReadDefault(LOADWELL_DLL_KEY "Loadwell\\path") == path);

    REQUIRE(REGRegisterNamedLibrary("lwnamed", self, 0x0241074A));
    CHECK(ReadDefault(LOADWELL_DLL_KEY "lwnamed\\version") == "241074a");
    CHECK(ReadDefault(LOADWELL_DLL_KEY "lwnamed\\path") == path);
    REQUIRE(REGRegisterLibrary(self, 0x7));
    CHECK(ReadDefault(LOADWELL_DLL_KEY "Loadwell\\version") == "7");
    REGRegisterLibrary(self, 0x100);
    Unregister("lwnamed");

    CHECK_FALSE(REGRegisterNamedLibrary(nullptr, self, 1));
    CHECK_FALSE(REGRegisterNamedLibrary("", self, 1));
}

TEST_CASE("The registry switch decides whether a registered path is used", "[loadwell]")
{
    Clean clean;
    /* "lwalias" is registered at the probe library's path; the plain name
     * "lwalias.dll" exists nowhere, so only the registry can load it. */
    Register("lwalias", ProgramDir() + "lwprobe.dll");
    struct Row { const char *use, *head; bool lookup; };
    const Row rows[] = {
        {nullptr, nullptr, false}, {"", nullptr, true},      {"1", nullptr, true},   {"TRUE", nullptr, true},
        {"false", nullptr, false}, {"FALSE", nullptr, false}, {"0", nullptr, false},  {nullptr, "1", true},
        {nullptr, "", true},       {"0", "yes", true},        {"False", "0", false},  {nullptr, "false", false},
    };
    for (const Row &r : rows) {
        INFO("UseLoadwell " << (r.use ? r.use : "<none>") << ", second switch " << (r.head ? r.head : "<none>"));
        SetSwitch("UseLoadwell", r.use);
        SetSwitch("HeadSmashedInBuffaloJump", r.head);
        MsgBoxCapture boxes;
        HMODULE m = REGLoadLibrary("lwalias.dll", 0x100);
        if (r.lookup) {
            REQUIRE(m);
            CHECK(m == GetModuleHandleA("lwprobe.dll"));
            CHECK(boxes.count() == 0);
            FreeLibrary(m);
        } else {
            CHECK_FALSE(m);
            REQUIRE(boxes.count() == 1);
            CHECK(boxes.boxes()[0].caption == "Error Loading lwalias.dll");
            CHECK(boxes.boxes()[0].text.rfind("Error ", 0) == 0);
        }
        Unload("lwprobe.dll");
    }
}

TEST_CASE("A registered library that is missing or refuses falls back to the plain name without a box", "[loadwell]")
{
    Clean clean;
    SetSwitch("UseLoadwell", "1");
    MsgBoxCapture boxes;

    SECTION("missing file")
    {
        Register("lwprobe", "C:\\nowhere\\at\\all\\lwprobe.dll");
        HMODULE m = REGLoadLibrary("lwprobe.dll", 0x100);
        REQUIRE(m);
        CHECK(m == GetModuleHandleA("lwprobe.dll"));
        FreeLibrary(m);
    }
    SECTION("registered file without CheckVersion")
    {
        Register("lwprobe", ProgramDir() + "lwbare.dll");
        HMODULE m = REGLoadLibrary("C:\\some\\dir\\lwprobe.dll", 0x100);
        CHECK_FALSE(m);  /* the plain path given does not exist: its error box */
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.boxes()[0].caption == "Error Loading C:\\some\\dir\\lwprobe.dll");
        CHECK_FALSE(GetModuleHandleA("lwbare.dll"));  /* the refused one was released */
        boxes.clear();
        m = REGLoadLibrary("lwprobe.dll", 0x100);
        REQUIRE(m);
        CHECK(m == GetModuleHandleA("lwprobe.dll"));
        CHECK_FALSE(GetModuleHandleA("lwbare.dll"));
        FreeLibrary(m);
    }
    CHECK(boxes.count() == 0);
    Unregister("lwprobe");
}

TEST_CASE("A library loaded fresh is asked for the version; a refusal asks the user", "[loadwell]")
{
    Clean clean;
    MsgBoxCapture boxes;

    HMODULE m = REGLoadLibrary("lwprobe.dll", 0x200);
    REQUIRE(m);
    CHECK(boxes.count() == 0);
    FreeLibrary(m);
    Unload("lwprobe.dll");

    /* The capture answers OK: the user goes on with the refused library. */
    m = REGLoadLibrary("lwprobe.dll", 0x201);
    REQUIRE(m);
    REQUIRE(boxes.count() == 1);
    CHECK(boxes.boxes()[0].caption == "Incorrect Version");
    char path[MAX_PATH] = {};
    GetModuleFileNameA(m, path, sizeof path);
    CHECK(boxes.boxes()[0].text == std::string("The version of ") + path +
                                       " in your system is incorrect.\nChoose CANCEL to close this application\n"
                                       "or choose OK to continue with the incorrect version\nAT YOUR OWN RISK.");
    FreeLibrary(m);
    boxes.clear();

    /* No CheckVersion at all is the same question. */
    m = REGLoadLibrary("lwbare.dll", 0x100);
    REQUIRE(m);
    REQUIRE(boxes.count() == 1);
    CHECK(boxes.boxes()[0].caption == "Incorrect Version");
    FreeLibrary(m);
}

TEST_CASE("A library already loaded is asked again; older and conflicting ones get their boxes", "[loadwell]")
{
    Clean clean;
    MsgBoxCapture boxes;
    HMODULE held = LoadLibraryA("lwprobe.dll");
    REQUIRE(held);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(held, path, sizeof path);

    HMODULE m = REGLoadLibrary("lwprobe.dll", 0x100);
    CHECK(m == held);
    CHECK(boxes.count() == 0);
    FreeLibrary(m);

    /* Older: the capture ends the Abort/Retry/Ignore box without Ignore or
     * Retry, which gives up and gives the extra reference back. */
    m = REGLoadLibrary("lwprobe.dll", 0x300);
    CHECK_FALSE(m);
    REQUIRE(boxes.count() == 1);
    CHECK(boxes.boxes()[0].caption == "Older DLL Already Loaded");
    CHECK(boxes.boxes()[0].text == std::string("The module ") + path +
                                       " has already been loaded\nand is an older version of lwprobe.dll.\n"
                                       "Another Tarvo Works application may be running.\nYou may choose ABORT to close the "
                                       "current application,\nor close the other application and press RETRY,\nor choose "
                                       "IGNORE to continue this application\nusing the loaded version of lwprobe.dll, AT "
                                       "YOUR OWN RISK.");
    FreeLibrary(held);
    CHECK_FALSE(GetModuleHandleA("lwprobe.dll"));  /* no reference was left behind */
    boxes.clear();

    held = LoadLibraryA("lwbare.dll");
    REQUIRE(held);
    m = REGLoadLibrary("lwbare.dll", 0x100);
    CHECK_FALSE(m);
    REQUIRE(boxes.count() == 1);
    CHECK(boxes.boxes()[0].caption == "Conflicting DLL Already Loaded");
    const bool named = boxes.boxes()[0].text.find("and is an obsolete/incompatible version of lwbare.dll.") != std::string::npos;
    CHECK(named);
    FreeLibrary(held);
    CHECK_FALSE(GetModuleHandleA("lwbare.dll"));
}

TEST_CASE("A file that is not a library gives the error box and no module", "[loadwell]")
{
    char dir[MAX_PATH], file[MAX_PATH + 32];
    GetTempPathA(sizeof dir, dir);
    std::snprintf(file, sizeof file, "%slwbogus%u.dll", dir, static_cast<unsigned>(GetCurrentProcessId()));
    HANDLE h = CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    DWORD n;
    WriteFile(h, "not a library at all", 20, &n, nullptr);
    CloseHandle(h);

    MsgBoxCapture boxes;
    CHECK_FALSE(REGLoadLibrary(file, 0x100));
    REQUIRE(boxes.count() == 1);
    CHECK(boxes.boxes()[0].caption == std::string("Error Loading ") + file);
    CHECK(boxes.boxes()[0].text.rfind("Error ", 0) == 0);
    DeleteFileA(file);

    CHECK_FALSE(REGLoadLibrary(nullptr, 1));
    CHECK_FALSE(REGLoadLibrary("", 1));
}

TEST_CASE("Error texts by system error code", "[loadwell]")
{
    CHECK(LoadwellErrorText(2) == "Error 2: File was not found");
    CHECK(LoadwellErrorText(3) == "Error 3: Path was not found");
    CHECK(LoadwellErrorText(21) == "Error 21: Application requires Microsoft Windows 32-bit extensions.");
    CHECK(LoadwellErrorText(0).rfind("Error 0: System was out of memory", 0) == 0);
    for (unsigned long code : {1ul, 4ul, 7ul, 9ul, 17ul, 18ul, 22ul, 32ul, 33ul, 126ul, 193ul}) {
        char want[64];
        std::snprintf(want, sizeof want, "Error %lu: Unknown Error", code);
        CHECK(LoadwellErrorText(code) == want);
    }
}

namespace {

/* Answers this thread's message boxes with the given buttons in turn and
 * runs an action before each answer. */
struct Answerer {
    std::vector<int> answers;
    std::vector<std::string> captions;
    void (*before)(size_t index) = nullptr;
    HHOOK hook = nullptr;
    static Answerer *current;

    explicit Answerer(std::vector<int> a) : answers(std::move(a))
    {
        current = this;
        hook = SetWindowsHookExA(WH_CBT, Proc, nullptr, GetCurrentThreadId());
    }
    ~Answerer()
    {
        UnhookWindowsHookEx(hook);
        current = nullptr;
    }
    static LRESULT CALLBACK Proc(int code, WPARAM wp, LPARAM lp)
    {
        if (code == HCBT_ACTIVATE && current) {
            HWND w = reinterpret_cast<HWND>(wp);
            char cls[32] = {};
            GetClassNameA(w, cls, sizeof cls);
            if (!std::strcmp(cls, "#32770") && !GetPropA(w, "LwAnswered")) {
                SetPropA(w, "LwAnswered", reinterpret_cast<HANDLE>(1));
                char caption[256] = {};
                GetWindowTextA(w, caption, sizeof caption);
                size_t i = current->captions.size();
                current->captions.push_back(caption);
                if (current->before) current->before(i);
                int answer = i < current->answers.size() ? current->answers[i] : IDCANCEL;
                PostMessageA(w, WM_COMMAND, answer, 0);
            }
        }
        return CallNextHookEx(nullptr, code, wp, lp);
    }
};
Answerer *Answerer::current;

HMODULE g_held;

}  // namespace

TEST_CASE("Ignore keeps the loaded library; Retry asks again after the other user let it go", "[loadwell]")
{
    Clean clean;
    g_held = LoadLibraryA("lwprobe.dll");
    REQUIRE(g_held);
    {
        Answerer answer({IDIGNORE});
        HMODULE m = REGLoadLibrary("lwprobe.dll", 0x300);
        CHECK(m == g_held);
        CHECK(answer.captions == std::vector<std::string>{"Older DLL Already Loaded"});
        FreeLibrary(m);   /* the extra reference Ignore handed over */
    }
    {
        /* Retry: the held reference goes away before the answer, so the
         * second try loads the library fresh and asks the version question. */
        Answerer answer({IDRETRY, IDOK});
        answer.before = [](size_t i) {
            if (i == 0) FreeLibrary(g_held);
        };
        HMODULE m = REGLoadLibrary("lwprobe.dll", 0x300);
        REQUIRE(m);
        CHECK(answer.captions == std::vector<std::string>{"Older DLL Already Loaded", "Incorrect Version"});
        FreeLibrary(m);
    }
    CHECK_FALSE(GetModuleHandleA("lwprobe.dll"));
    {
        /* Cancel on the version question gives the library back. */
        Answerer answer({IDCANCEL});
        CHECK_FALSE(REGLoadLibrary("lwprobe.dll", 0x300));
        CHECK(answer.captions == std::vector<std::string>{"Incorrect Version"});
        CHECK_FALSE(GetModuleHandleA("lwprobe.dll"));
    }
}

TEST_CASE("The button control library registers itself through the loader and loads by its class name", "[loadwell]")
{
    Clean clean;
    typedef BOOL(WINAPI * RegisterYourselfFn)(HMODULE);
    HMODULE knobkit = LoadLibraryA("Knobkit.dll");
    REQUIRE(knobkit);
    auto yourself = reinterpret_cast<RegisterYourselfFn>(GetProcAddress(knobkit, "REGRegisterYourself"));
    REQUIRE(yourself);
    REQUIRE(yourself(GetModuleHandleA("Loadwell.dll")));
    char path[MAX_PATH] = {};
    GetModuleFileNameA(knobkit, path, sizeof path);
    for (const char *name : {"Knobkit", "Knobset", "CCWnd"}) {
        INFO(name);
        CHECK(ReadDefault(std::string(LOADWELL_DLL_KEY) + name + "\\path") == path);
        CHECK(ReadDefault(std::string(LOADWELL_DLL_KEY) + name + "\\version") == "241074a");
    }
    FreeLibrary(knobkit);
    CHECK_FALSE(GetModuleHandleA("Knobkit.dll"));

    SetSwitch("UseLoadwell", "");
    MsgBoxCapture boxes;
    HMODULE m = REGLoadLibrary("Knobset.dll", 0x02410000);
    REQUIRE(m);
    CHECK(m == GetModuleHandleA("Knobkit.dll"));
    CHECK(boxes.count() == 0);
    FreeLibrary(m);
    for (const char *name : {"Knobkit", "Knobset", "CCWnd"}) Unregister(name);
    Unload("Knobkit.dll");
}
