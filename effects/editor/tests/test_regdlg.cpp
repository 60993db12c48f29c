// The registry cards dialog, the DVE placement and the clip-length and
// insert questions, run as modal dialogs from the library's own templates
// and driven from a timer inside their loop.
#include <catch2/catch.hpp>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fxclip.h"
#include "fxedit.h"
#include "fxhost_host.h"
#include "fxregdlg.h"
#include "msgbox_capture.h"

using namespace fxtest;

namespace {

std::function<void(HWND)> g_act;
HWND g_dialog;

void CALLBACK ActTimer(HWND w, UINT, UINT_PTR id, DWORD)
{
    KillTimer(w, id);
    auto act = std::move(g_act);
    g_act = nullptr;
    if (act) act(w);
}

LRESULT CALLBACK DialogHook(int code, WPARAM wparam, LPARAM lparam)
{
    if (code == HCBT_ACTIVATE && !g_dialog) {
        g_dialog = HWND(wparam);
        SetTimer(g_dialog, 77, 1, ActTimer);
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

// Runs a dialog of the library's resources modally; `act` runs inside its
// loop once it is shown and must end it.
INT_PTR RunDialog(int id, DLGPROC proc, LPARAM param, std::function<void(HWND)> act)
{
    REQUIRE(Library());
    SetFxInstance(Library());
    g_act = std::move(act);
    g_dialog = nullptr;
    HHOOK hook = SetWindowsHookExA(WH_CBT, DialogHook, nullptr, GetCurrentThreadId());
    const INT_PTR r = DialogBoxParamA(Library(), MAKEINTRESOURCEA(id), nullptr, proc, param);
    UnhookWindowsHookEx(hook);
    g_dialog = nullptr;
    return r;
}

std::string Text(HWND dialog, int id)
{
    char buf[512] = {};
    GetDlgItemTextA(dialog, id, buf, sizeof buf);
    return buf;
}

void Press(HWND dialog, int id)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(dialog, id)));
}

void Choose(HWND dialog, int first, int last, int id)
{
    CheckRadioButton(dialog, first, last, id);
}

} // namespace

TEST_CASE("Clip-length dialog shows the effect's method and ends with the chosen one", "[regdlg]")
{
    TestHost host;
    REQUIRE(host.Attach() == 1);
    FxInstance *inst = host.Instance();
    FxEffect *e = FxCurrentEffect(inst);
    REQUIRE(e);
    for (int method = 0; method < 4; ++method) {
        FxSetClipLengthMethod(e, method);
        const int pick = (method + 1) % 4;
        int shown = -1;
        const INT_PTR r = RunDialog(FX_DLG_CLIP_LENGTH, ClipLenDlg, LPARAM(inst), [&](HWND d) {
            for (int i = 0; i < 4; ++i)
                if (IsDlgButtonChecked(d, FX_ID_CLIP_METHOD_0 + i) == BST_CHECKED) shown = i;
            Choose(d, FX_ID_CLIP_METHOD_0, FX_ID_CLIP_METHOD_0 + 3, FX_ID_CLIP_METHOD_0 + pick);
            Press(d, IDOK);
        });
        CHECK(shown == method);
        CHECK(r == pick);
        // The caller stores the method; the dialog leaves the effect alone.
        CHECK(FxClipLengthMethod(e) == method);
    }
    char caption[64] = {};
    const INT_PTR r = RunDialog(FX_DLG_CLIP_LENGTH, ClipLenDlg, LPARAM(inst), [&](HWND d) {
        GetWindowTextA(d, caption, sizeof caption);
        Choose(d, FX_ID_CLIP_METHOD_0, FX_ID_CLIP_METHOD_0 + 3, FX_ID_CLIP_METHOD_0 + 2);
        Press(d, IDCANCEL);
    });
    CHECK(r == -1);
    CHECK(std::string(caption) == "Clip Length Options");
}

TEST_CASE("Insert question: texts, disabled choices and the remembered choice", "[regdlg]")
{
    struct Case {
        FxGapQuestion q;
        std::string text;
        bool onlyEnabled, scaleEnabled;
    };
    const Case cases[] = {
        {{12, 40, 5, 1},
         "Adding 12 frames will cause one or more keyframes to go beyond the End Frame.\n"
         "Adding 5 frames will set last Keyframe at End Frame.",
         true, true},
        {{8, 30, 0, 1},
         "Adding 8 frames will cause one or more keyframes to go beyond the End Frame.\n"
         "Adding 0 frames would set last Keyframe at End Frame, if that were possible!.",
         false, true},
        {{3, 9, 1, 0},
         "Adding 3 frames will cause one or more keyframes to go beyond the End Frame.\n"
         "Adding 1 frames will set last Keyframe at End Frame.",
         true, false},
    };
    for (const Case &c : cases) {
        g_fxGapChoice = 1;
        std::vector<std::string> texts;
        bool onlyEnabled = false, scaleEnabled = false;
        int checked = -1;
        FxGapQuestion q = c.q;
        const INT_PTR r = RunDialog(FX_DLG_GAP, GapDlg, LPARAM(&q), [&](HWND d) {
            for (int id = FX_ID_GAP_EXTEND; id <= FX_ID_GAP_TEXT; ++id) texts.push_back(Text(d, id));
            onlyEnabled = IsWindowEnabled(GetDlgItem(d, FX_ID_GAP_EXTEND + 2)) != 0;
            scaleEnabled = IsWindowEnabled(GetDlgItem(d, FX_ID_GAP_EXTEND + 3)) != 0;
            for (int i = 0; i < 4; ++i)
                if (IsDlgButtonChecked(d, FX_ID_GAP_EXTEND + i) == BST_CHECKED) checked = i;
            Choose(d, FX_ID_GAP_EXTEND, FX_ID_GAP_EXTEND + 3, FX_ID_GAP_EXTEND);
            Press(d, IDOK);
        });
        INFO("frames to add " << c.q.framesToAdd);
        REQUIRE(texts.size() == 5);
        CHECK(texts[0] == "Add " + std::to_string(c.q.framesToAdd) + " frames and Extend Past End");
        CHECK(texts[1] == "Set End to " + std::to_string(c.q.framesToEnd) + " frames, to accomodate");
        CHECK(texts[2] == "Insert Only " + std::to_string(c.q.framesThatFit) + " frames");
        CHECK(texts[3] == "Insert " + std::to_string(c.q.framesToAdd) + " frames, Then Scale back to Fit");
        CHECK(texts[4] == c.text);
        CHECK(onlyEnabled == c.onlyEnabled);
        CHECK(scaleEnabled == c.scaleEnabled);
        CHECK(checked == 1);
        CHECK(r == 0);
        CHECK(g_fxGapChoice == 0);
    }

    SECTION("OK remembers the choice, Cancel answers -1 and keeps it")
    {
        FxGapQuestion q = {4, 10, 2, 1};
        g_fxGapChoice = 0;
        CHECK(RunDialog(FX_DLG_GAP, GapDlg, LPARAM(&q), [](HWND d) {
                  Choose(d, FX_ID_GAP_EXTEND, FX_ID_GAP_EXTEND + 3, FX_ID_GAP_EXTEND + 3);
                  Press(d, IDOK);
              }) == 3);
        CHECK(g_fxGapChoice == 3);
        int checked = -1;
        CHECK(RunDialog(FX_DLG_GAP, GapDlg, LPARAM(&q), [&](HWND d) {
                  for (int i = 0; i < 4; ++i)
                      if (IsDlgButtonChecked(d, FX_ID_GAP_EXTEND + i) == BST_CHECKED) checked = i;
                  Choose(d, FX_ID_GAP_EXTEND, FX_ID_GAP_EXTEND + 3, FX_ID_GAP_EXTEND + 1);
                  Press(d, IDCANCEL);
              }) == -1);
        CHECK(checked == 3);
        CHECK(g_fxGapChoice == 3);
    }

    SECTION("A remembered choice that is disabled now is not offered")
    {
        FxGapQuestion q = {4, 10, 0, 0};
        g_fxGapChoice = 2;
        int checked = -1;
        CHECK(RunDialog(FX_DLG_GAP, GapDlg, LPARAM(&q), [&](HWND d) {
                  for (int i = 0; i < 4; ++i)
                      if (IsDlgButtonChecked(d, FX_ID_GAP_EXTEND + i) == BST_CHECKED) checked = i;
                  Press(d, IDOK);
              }) == 0);
        CHECK(checked == 0);
    }
}
