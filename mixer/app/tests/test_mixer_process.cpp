/*
 * Corvane.exe as a real program, twice: a first copy started with
 * "TARNELL" runs its engine in the remote-controlled mode (no work-space
 * question); a second copy shows "Corvane in Process" and ends without ever
 * calling the engine.  Each copy records its engine calls in its own trace
 * file (CORVANE_ENGINE_TRACE).
 */
#include <catch2/catch.hpp>
#include <windows.h>
#include <string>
#include <vector>

namespace {

std::string TempFile(const char *name)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    std::string p = std::string(dir) + name;
    DeleteFileA(p.c_str());
    return p;
}

std::vector<std::string> ReadLines(const std::string &path)
{
    std::vector<std::string> lines;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return lines;
    std::string all, line;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof(buf), &got, nullptr) && got) all.append(buf, got);
    CloseHandle(f);
    for (char c : all) {
        if (c == '\r') continue;
        if (c == '\n') { lines.push_back(line); line.clear(); }
        else line += c;
    }
    return lines;
}

PROCESS_INFORMATION Start(const std::string &args, const std::string &trace)
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string dir = exe;
    dir = dir.substr(0, dir.find_last_of('\\') + 1);
    std::string cmd = "\"" + dir + "Corvane.exe\"" + (args.empty() ? "" : " " + args);
    SetEnvironmentVariableA("CORVANE_ENGINE_TRACE", trace.c_str());
    STARTUPINFOA si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    BOOL ok = CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi);
    SetEnvironmentVariableA("CORVANE_ENGINE_TRACE", nullptr);
    REQUIRE(ok);
    return pi;
}

template <class Pred> bool WaitFor(Pred p, DWORD ms)
{
    DWORD end = GetTickCount() + ms;
    while (!p()) {
        if ((int)(GetTickCount() - end) > 0) return false;
        Sleep(50);
    }
    return true;
}

struct Found { DWORD pid; HWND wnd; };
BOOL CALLBACK FindBox(HWND w, LPARAM lp)
{
    auto *f = reinterpret_cast<Found *>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    char cls[32] = {}, title[64] = {};
    GetClassNameA(w, cls, sizeof(cls));
    GetWindowTextA(w, title, sizeof(title));
    /* The program may run in a child of the process started (its launcher): any
     * process but this one. */
    if (pid != f->pid && !strcmp(cls, "#32770") && !strcmp(title, "Warning")) {
        f->wnd = w;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK LongestText(HWND w, LPARAM lp)
{
    char buf[256] = {};
    GetWindowTextA(w, buf, sizeof(buf));
    auto *s = reinterpret_cast<std::string *>(lp);
    char cls[32] = {};
    GetClassNameA(w, cls, sizeof(cls));
    if (!lstrcmpiA(cls, "Static") && strlen(buf) > s->size()) *s = buf;
    return TRUE;
}

} // namespace

TEST_CASE("A second copy says \"Corvane in Process\" and starts no engine; TARNELL asks nothing", "[process]")
{
    std::string firstTrace = TempFile("corvane_first.txt"), secondTrace = TempFile("corvane_second.txt");
    PROCESS_INFORMATION first = Start("TARNELL", firstTrace);
    /* The first copy shows its start-up picture, then its window; in the remote-controlled
     * mode it asks no work-space size and starts the engine at once. */
    REQUIRE(WaitFor([] { return FindWindowA(nullptr, "Corvane") != nullptr; }, 30000));
    REQUIRE(WaitFor([&] {
        auto l = ReadLines(firstTrace);
        return l.size() >= 13;
    }, 20000));
    CHECK(FindWindowA(nullptr, "Work Space") == nullptr);

    PROCESS_INFORMATION second = Start("", secondTrace);
    Found box = {GetCurrentProcessId(), nullptr};
    REQUIRE(WaitFor([&] {
        box.wnd = nullptr;
        EnumWindows(FindBox, (LPARAM)&box);
        return box.wnd != nullptr;
    }, 30000) == true);
    std::string text;
    REQUIRE(box.wnd);
    EnumChildWindows(box.wnd, LongestText, (LPARAM)&text);
    CHECK(text == "Corvane in Process");
    PostMessageA(box.wnd, WM_COMMAND, IDOK, 0);
    CHECK(WaitFor([&] { return !IsWindow(box.wnd); }, 30000));
    /* The closing copy never touched the engine, and the first copy is still there. */
    Sleep(500);
    CHECK(ReadLines(secondTrace).empty());

    HWND mixer = FindWindowA(nullptr, "Corvane");
    REQUIRE(mixer);
    PostMessageA(mixer, WM_CLOSE, 0, 0);
    CHECK(WaitFor([&] { auto l = ReadLines(firstTrace); return !l.empty() && l.back() == "ReleaseEngine"; }, 30000));
    auto calls = ReadLines(firstTrace);
    REQUIRE(calls.size() >= 2);
    CHECK(calls.front() == "SetVideoSurfaceSize");
    CHECK(calls[calls.size() - 2] == "ReleaseDeviceLists");
    CHECK(calls.back() == "ReleaseEngine");
    for (HANDLE h : {first.hProcess, first.hThread, second.hProcess, second.hThread}) CloseHandle(h);
}
