/* Log printers: filters, chains, the error box and the event log. */
#include <catch2/catch.hpp>

#include "dialog_support.h"
#include "printers.h"
#include "qtk_log.h"
#include "tabdlg.h"
#include "tundrix32.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

/* Every box the thread shows: its caption, buttons and text, read once it
 * runs; answered with its first button ("Ok"). */
struct Boxes {
    static Boxes *current;
    HHOOK hook;
    HWND helper;
    std::vector<std::vector<std::string>> seen;
    Boxes()
    {
        current = this;
        WNDCLASSA wc = {};
        wc.lpfnWndProc = HelperProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "PrinterTestHelper";
        RegisterClassA(&wc);
        helper = CreateWindowA("PrinterTestHelper", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        hook = SetWindowsHookExA(WH_CBT, Proc, nullptr, GetCurrentThreadId());
    }
    ~Boxes()
    {
        UnhookWindowsHookEx(hook);
        DestroyWindow(helper);
        current = nullptr;
    }
    static LRESULT CALLBACK Proc(int code, WPARAM wp, LPARAM lp)
    {
        if (code == HCBT_ACTIVATE && current) {
            HWND w = reinterpret_cast<HWND>(wp);
            if (GetPropA(w, TAB_PROP) && !GetPropA(w, "seen")) {
                SetPropA(w, "seen", reinterpret_cast<HANDLE>(1));
                PostMessageA(current->helper, WM_APP, wp, 0);
            }
        }
        return CallNextHookEx(nullptr, code, wp, lp);
    }
    static LRESULT CALLBACK HelperProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
    {
        if (msg != WM_APP || !current) return DefWindowProcA(w, msg, wp, lp);
        HWND frame = reinterpret_cast<HWND>(wp);
        if (!IsWindow(frame)) return 0;
        std::vector<std::string> texts{WindowText(frame)};
        for (int id = 1; HWND b = GetDlgItem(frame, id); ++id) texts.push_back(WindowText(b));
        auto *d = static_cast<TabDialogDescription *>(GetPropA(frame, TAB_PROP));
        if (d && d->currentPage) texts.push_back(WindowText(GetDlgItem(d->currentPage, 2)));
        current->seen.push_back(texts);
        PostMessageA(frame, WM_COMMAND, 1, 0);
        return 0;
    }
    bool Contains(size_t i, const std::string &text) const
    {
        for (const auto &t : seen.at(i))
            if (t.find(text) != std::string::npos) return true;
        return false;
    }
};
Boxes *Boxes::current;

struct Report {
    WORD type;
    DWORD id;
    std::string text;
};
std::vector<Report> g_reports;
BOOL WINAPI RecordReport(HANDLE, WORD type, WORD, DWORD id, PSID, WORD count, DWORD, LPCSTR *strings, LPVOID)
{
    g_reports.push_back({type, id, count ? strings[0] : ""});
    return TRUE;
}

IQtkPrinter *Printer(void *p) { return static_cast<IQtkPrinter *>(p); }

DWORD Code(BYTE level, BYTE category) { return static_cast<DWORD>(level) << 24 | static_cast<DWORD>(category) << 16 | 7; }

std::string ReadKey(const char *name, DWORD *type)
{
    std::string key = std::string("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") + name;
    HKEY k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &k)) return "(none)";
    char buf[MAX_PATH + 8] = {};
    DWORD size = sizeof buf;
    std::string out;
    if (!RegQueryValueExA(k, "EventMessageFile", nullptr, type, reinterpret_cast<BYTE *>(buf), &size))
        out.assign(buf, size);
    DWORD types = 0, t2 = 0;
    size = sizeof types;
    RegQueryValueExA(k, "TypesSupported", nullptr, &t2, reinterpret_cast<BYTE *>(&types), &size);
    RegCloseKey(k);
    char tail[16];
    snprintf(tail, sizeof tail, "|%lu", t2 == REG_DWORD ? types : 0xFFFFul);
    return out + tail;
}

}  // namespace

TEST_CASE("The event-log printer registers its source and reports by level", "[printers]")
{
    EventReportFn old = PrinterSetEventWriter(RecordReport);
    g_reports.clear();
    IQtkPrinter *p = Printer(CreateEventLogPrinter("TundrixTestSource"));
    REQUIRE(p);
    DWORD type = 0;
    char program[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, program, sizeof program);
    CHECK(ReadKey("TundrixTestSource", &type) == std::string(program, n + 1) + "|7");
    CHECK(type == REG_EXPAND_SZ);

    struct Row { BYTE level; WORD type; } rows[] = {
        {0, EVENTLOG_INFORMATION_TYPE}, {4, EVENTLOG_INFORMATION_TYPE}, {5, EVENTLOG_ERROR_TYPE},
        {8, EVENTLOG_WARNING_TYPE}, {9, EVENTLOG_ERROR_TYPE}, {255, EVENTLOG_ERROR_TYPE},
    };
    for (const Row &r : rows) {
        g_reports.clear();
        CHECK(qtkLog(p, Code(r.level, 1), "disk full"));
        REQUIRE(g_reports.size() == 1);
        CHECK(g_reports[0].type == r.type);
        CHECK(g_reports[0].id == 0xC0000000u);
        CHECK(g_reports[0].text == "disk full");
    }
    g_reports.clear();
    static const WCHAR wide[] = {'w', 'i', 'd', 'e', 0};
    CHECK(qtkLogW(p, Code(1, 1), wide));
    REQUIRE(g_reports.size() == 1);
    CHECK(g_reports[0].text == "wide");

    SECTION("the filter's ranges")
    {
        p->SetFilter(2, 8, 10, 20);
        struct F { BYTE level, category; bool pass; } cases[] = {
            {1, 15, false}, {2, 15, true}, {8, 10, true}, {9, 15, false}, {5, 9, false}, {5, 20, true}, {5, 21, false},
        };
        for (const F &c : cases) {
            g_reports.clear();
            qtkLog(p, Code(c.level, c.category), "x");
            CHECK(g_reports.size() == (c.pass ? 1u : 0u));
        }
    }
    SECTION("a chain passes every message on")
    {
        IQtkPrinter *second = Printer(CreateEventLogPrinter("TundrixTestSource2"));
        REQUIRE(second);
        p->SetFilter(0, 0, 0, 255);
        p->SetNext(second);
        second->Release(); /* the chain holds it now */
        g_reports.clear();
        qtkLog(p, Code(3, 0), "both?");
        CHECK(g_reports.size() == 1); /* only the second passes level 3 */
        qtkLog(p, Code(0, 0), "both");
        CHECK(g_reports.size() == 3);
        p->SetNext(p); /* never itself */
    }
    CHECK(p->Release() == 0);
    PrinterSetEventWriter(old);
    CHECK(CreateEventLogPrinter(nullptr) == nullptr);
    CHECK(CreateEventLogPrinter("") == nullptr);
}

TEST_CASE("The message-box printer shows the error box", "[printers]")
{
    ControlsLoaded controls;
    IQtkPrinter *p = Printer(CreateMessageBoxPrinter());
    REQUIRE(p);
    Boxes boxes;
    /* A message is text, never a format. */
    CHECK(qtkLog(p, Code(3, 2), "50% done %s %n"));
    REQUIRE(boxes.seen.size() == 1);
    CHECK(boxes.seen[0][0] == "Quillon");
    CHECK(boxes.Contains(0, "50% done %s %n"));
    CHECK(boxes.Contains(0, "Ok"));
    CHECK(boxes.Contains(0, "Ignore"));

    p->SetFilter(5, 255, 0, 255);
    qtkLog(p, Code(3, 2), "filtered");
    CHECK(boxes.seen.size() == 1);

    static const WCHAR wide[] = {'w', 'i', 'd', 'e', ' ', 't', 'e', 'x', 't', 0};
    qtkLog(p, Code(6, 0), "second");
    REQUIRE(boxes.seen.size() == 2);
    CHECK(boxes.Contains(1, "second"));
    /* The wide form shows its box too. */
    qtkLogW(p, Code(6, 0), wide);
    REQUIRE(boxes.seen.size() == 3);
    CHECK(boxes.seen[2][0] == "Quillon");
    CHECK(boxes.Contains(2, "Ignore"));
    CHECK(boxes.Contains(2, "wide text"));
    CHECK(p->AddRef() == 2);
    CHECK(p->Release() == 1);
    CHECK(p->Release() == 0);
}
