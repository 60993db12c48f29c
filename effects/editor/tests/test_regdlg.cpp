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

namespace {

// The host's placement messages (2254 with codes 26 and 27).
std::vector<FxPlacementMessage> g_placements;
CubbyNotify g_hostNotify;

INT_PTR WINAPI PlacementNotify(CubbyNode *node, CubbyNode *peer, UINT message, WPARAM wparam, void *record)
{
    if (message == FXN_VIDEO_SERVICE && record) {
        const auto *m = static_cast<const FxPlacementMessage *>(record);
        if (m->code == FX_PLACE_IN_DIALOG || m->code == FX_PLACE_EFFECT) {
            g_placements.push_back(*m);
            return 1;
        }
    }
    return g_hostNotify(node, peer, message, wparam, record);
}

// A DVE host (personality 1) in a PAL frame that records placements.
struct DveHost {
    TestHost host;
    FxInstance *inst = nullptr;
    explicit DveHost(int personality = 1)
    {
        host.Number(personality);
        host.PalFormat();
        g_hostNotify = host.self.node.notify;
        host.self.node.notify = PlacementNotify;
        REQUIRE(host.Attach() == 1);
        inst = host.Instance();
        REQUIRE(inst);
        REQUIRE(inst->personality == personality);
        REQUIRE(FxCurrentEffect(inst));
        g_placements.clear();
        g_fxDvePlacement = 0;
    }
    FxEffect *Effect() { return FxCurrentEffect(inst); }
};

} // namespace

TEST_CASE("Placing the first object: host pixels in, the same rectangle reported back", "[regdlg][placement]")
{
    DveHost h;
    REQUIRE(h.inst->frameWidth == 720);
    REQUIRE(h.inst->frameHeight == 576);
    const RECT r = {100, 50, 420, 290};
    CHECK(PlaceFirstObject(h.inst, &r) == 1);
    CHECK(g_fxDvePlacement == 1);
    const FxKeyframe *kf = h.Effect()->first->head;
    // Left 100 - 360, width 320: centre at -100; top 50 - 288, height 240: centre -118.
    CHECK(kf->position[0] == Approx(-100.0));
    CHECK(kf->position[1] == Approx(-118.0));
    CHECK(kf->width == Approx(320.0));
    CHECK(kf->height == Approx(240.0));
    REQUIRE(!g_placements.empty());
    const FxPlacementMessage &m = g_placements.back();
    CHECK(m.code == FX_PLACE_EFFECT);
    for (int i = 0; i < 4; ++i) {
        const long want[4] = {r.left, r.top, r.right, r.bottom};
        CHECK(std::abs(m.rect[i] - want[i]) <= 1);
    }
    CHECK(m.scaleX == Approx(320.0 / 720).epsilon(0.01));
    CHECK(m.scaleY == Approx(240.0 / 576).epsilon(0.01));

    SECTION("no rectangle clears the flag and reports the identity placement")
    {
        g_placements.clear();
        CHECK(PlaceFirstObject(h.inst, nullptr) == 1);
        CHECK(g_fxDvePlacement == 0);
        REQUIRE(!g_placements.empty());
        const FxPlacementMessage &id = g_placements.back();
        CHECK(id.rect[0] == 0);
        CHECK(id.rect[2] == 0);
        CHECK(id.scaleX == 1.0);
        CHECK(id.scaleY == 1.0);
    }
}

TEST_CASE("The placement pass runs only for the DVE personalities", "[regdlg][placement]")
{
    for (int personality : {0, 2, 7}) {
        DveHost h(personality);
        const bool dve = personality == 7;
        CHECK(RunPlacementPass(h.inst, 1) == (dve ? 1 : 0));
        CHECK(g_placements.empty() == !dve);
    }
    CHECK(RunPlacementPass(nullptr, 1) == 0);
    CHECK(PlaceFirstObject(nullptr, nullptr) == 0);
}

TEST_CASE("Object rectangle callback writes the corners' box at frame steps only", "[regdlg][placement]")
{
    FxRenderJob job;
    std::memset(&job, 0, sizeof job);
    int32_t box[4] = {-1, -1, -1, -1};
    job.user = box;
    job.corners.x0 = 10.4;
    job.corners.y0 = 20;
    job.corners.topDx = 100;
    job.corners.leftDy = 50;
    CHECK(ObjectRectangleCallback(RS_START, &job) == 1);
    CHECK(box[0] == -1);
    for (int step : {RS_FRAME, RS_FRAME_EXTRA}) {
        box[0] = -1;
        CHECK(ObjectRectangleCallback(step, &job) == 1);
        CHECK(box[0] == 10);
        CHECK(box[1] == 20);
        CHECK(box[2] == 110);
        CHECK(box[3] == 70);
    }
    CHECK(ObjectRectangleCallback(RS_FRAME, nullptr) == 0);
}
