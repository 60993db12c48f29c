/* Pacifiers: templates, bar drawing and cancellation polling. */
#include <catch2/catch.hpp>

#include "dialog_support.h"
#include "tundrix32.h"

#include <cstdio>

namespace {

/* Records what the pacifier sends its bar. */
struct BarSpy {
    static BarSpy *current;
    HWND bar;
    WNDPROC old;
    int draws = 0;
    LPARAM last_value = 0;
    explicit BarSpy(HWND b) : bar(b)
    {
        current = this;
        old = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Proc)));
    }
    ~BarSpy()
    {
        SetWindowLongPtrA(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        current = nullptr;
    }
    static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
    {
        if (msg == WM_USER + 14 && wp == 0x7F) {
            ++current->draws;
            current->last_value = lp;
        }
        return CallWindowProcA(current->old, w, msg, wp, lp);
    }
};
BarSpy *BarSpy::current = nullptr;

struct PacifierFixture {
    ControlsLoaded controls;
    OwnerWindow owner;
    PACIFIER pac = nullptr;
    HWND dlg = nullptr;
    void Open(int range, BOOL cancel)
    {
        pac = iPacifierInit(owner.hwnd, range, cancel);
        REQUIRE(pac);
        dlg = FindThreadDialog(owner.hwnd);
        REQUIRE(dlg);
    }
    ~PacifierFixture() { iPacifierClose(pac); }
    std::string BarText() const { return WindowText(GetDlgItem(dlg, 1008)); }
};

}  // namespace

TEST_CASE("Pacifier templates and texts", "[pacifier]")
{
    PacifierFixture f;
    REQUIRE(f.controls.ok);
    SECTION("with cancel")
    {
        f.Open(100, TRUE);
        CHECK(WindowText(GetDlgItem(f.dlg, 1007)) == "Please Wait...");
        REQUIRE(GetDlgItem(f.dlg, IDCANCEL));
        CHECK(WindowText(GetDlgItem(f.dlg, IDCANCEL)) == "Cancel");
    }
    SECTION("without cancel")
    {
        f.Open(100, FALSE);
        CHECK(WindowText(GetDlgItem(f.dlg, 1007)) == "Please Wait..");
        CHECK_FALSE(GetDlgItem(f.dlg, IDCANCEL));
        char cls[32] = {};
        GetClassNameA(GetDlgItem(f.dlg, 1008), cls, sizeof cls);
        CHECK(std::string(cls) == "Knobset");
    }
    f.Open(100, TRUE);
    iPacifierSetStatusText(f.pac, "Rendering frame 3");
    iPacifierSetCaption(f.pac, "Export");
    CHECK(WindowText(GetDlgItem(f.dlg, 1007)) == "Rendering frame 3");
    CHECK(WindowText(f.dlg) == "Export");
}

TEST_CASE("Pacifier calls accept null", "[pacifier]")
{
    OwnerWindow owner;
    CHECK(iPacifierInit(nullptr, 100, TRUE) == nullptr);
    CHECK(iPacifierInitEx(nullptr, nullptr, 0, 100, nullptr) == nullptr);
    iPacifierSetPos(nullptr, 5);
    iPacifierSetRange(nullptr, 0, 9);
    iPacifierSetIncr(nullptr, 3);
    iPacifierSetStatusText(nullptr, "x");
    iPacifierSetCaption(nullptr, "x");
    CHECK(iPacifierCheckCancel(nullptr) == 0);
    iPacifierClose(nullptr);
    /* A template the module does not have: no pacifier. */
    CHECK(iPacifierInitEx(owner.hwnd, nullptr, 4321, 100, nullptr) == nullptr);
}

TEST_CASE("Pacifier bar redraws by the step", "[pacifier]")
{
    PacifierFixture f;
    f.Open(200, TRUE);
    BarSpy spy(GetDlgItem(f.dlg, 1008));
    iPacifierSetIncr(f.pac, 10);
    for (int pos = 0; pos <= 200; ++pos) iPacifierSetPos(f.pac, pos);
    /* 0%, 10%, ... 100%: once per ten percent. */
    CHECK(spy.draws == 11);
    CHECK(f.BarText() == "100%");
    CHECK(static_cast<DWORD>(spy.last_value) == 0xFF808080u);

    iPacifierSetPos(f.pac, 100);
    CHECK(spy.draws == 12);
    CHECK(f.BarText() == "50%");
    CHECK(static_cast<DWORD>(spy.last_value) == ((((50 * 127 / 100) | 0x80u) << 24) | 0x808080u));

    SECTION("positions beyond the range show a full bar")
    {
        iPacifierSetPos(f.pac, 1000);
        CHECK(f.BarText() == "100%");
        CHECK(static_cast<DWORD>(spy.last_value) == 0xFF808080u);
        iPacifierSetPos(f.pac, -40);
        CHECK(f.BarText() == "0%");
    }
    SECTION("a new range draws 0 and steps by 2")
    {
        iPacifierSetRange(f.pac, 1, 50);
        CHECK(spy.draws == 13);
        CHECK(f.BarText() == "0%");
        iPacifierSetPos(f.pac, 1); /* 2% */
        CHECK(spy.draws == 14);
        iPacifierSetPos(f.pac, 1);
        CHECK(spy.draws == 14);
    }
}

TEST_CASE("Pacifier range 0 takes positions as percentages", "[pacifier]")
{
    PacifierFixture f;
    f.Open(0, FALSE);
    iPacifierSetPos(f.pac, 37);
    CHECK(f.BarText() == "37%");
    iPacifierSetPos(f.pac, 100);
    CHECK(f.BarText() == "100%");
}

TEST_CASE("Pacifier automatic step follows the range", "[pacifier]")
{
    struct Row { int range, step; } rows[] = {{999, 10}, {1000, 5}, {4999, 5}, {5000, 2}, {10000, 1}};
    for (const Row &r : rows) {
        PacifierFixture f;
        f.Open(r.range, FALSE);
        BarSpy spy(GetDlgItem(f.dlg, 1008));
        iPacifierSetIncr(f.pac, -1);
        for (int pos = 0; pos <= r.range; ++pos) iPacifierSetPos(f.pac, pos);
        INFO("range " << r.range);
        /* One drawing per step of the percentage, 0% and 100% included. */
        CHECK(spy.draws == 100 / r.step + 1 + (100 % r.step ? 1 : 0));
    }
}

TEST_CASE("Pacifier cancellation polling", "[pacifier]")
{
    PacifierFixture f;
    f.Open(100, TRUE);
    PumpMessages();
    HWND cancel = GetDlgItem(f.dlg, IDCANCEL);

    SECTION("other input is discarded")
    {
        PostMessageA(f.dlg, WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
        PostMessageA(f.dlg, WM_CHAR, 'x', 0);
        PostMessageA(f.dlg, WM_KEYUP, VK_ESCAPE, 0);
        CHECK(iPacifierCheckCancel(f.pac) == 0);
        MSG msg;
        CHECK_FALSE(PeekMessageA(&msg, f.dlg, 0, 0, PM_NOREMOVE));
    }
    SECTION("the Cancel command")
    {
        PostMessageA(f.dlg, WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(cancel));
        CHECK(iPacifierCheckCancel(f.pac) == 1);
        CHECK(iPacifierCheckCancel(f.pac) == 1);
    }
    SECTION("Escape")
    {
        PostMessageA(f.dlg, WM_KEYDOWN, VK_ESCAPE, 0);
        CHECK(iPacifierCheckCancel(f.pac) == 1);
    }
    SECTION("a click on Cancel")
    {
        PostMessageA(cancel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        CHECK(iPacifierCheckCancel(f.pac) == 1);
        CHECK(GetCapture() == nullptr);
    }
    SECTION("a click elsewhere decides nothing")
    {
        PostMessageA(f.dlg, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        CHECK(iPacifierCheckCancel(f.pac) == 0);
    }
    SECTION("the first input found wins")
    {
        PostMessageA(f.dlg, WM_KEYDOWN, 'A', 0);
        PostMessageA(f.dlg, WM_KEYDOWN, VK_ESCAPE, 0);
        CHECK(iPacifierCheckCancel(f.pac) == 0);
        CHECK(iPacifierCheckCancel(f.pac) == 1);
    }
    SECTION("the owner's Cancel command")
    {
        PostMessageA(f.owner.hwnd, WM_COMMAND, IDCANCEL, 0);
        CHECK(iPacifierCheckCancel(f.pac) == 1);
    }
    SECTION("a command sent to the dialog")
    {
        SendMessageA(f.dlg, WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(cancel));
        CHECK(iPacifierCheckCancel(f.pac) == 1);
    }
}
