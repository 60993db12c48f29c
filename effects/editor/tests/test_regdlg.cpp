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
// Message boxes over the dialog: answered with this button, text kept.
WPARAM g_boxAnswer = IDYES;
std::vector<std::string> g_boxTexts, g_boxCaptions;

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
    } else if (code == HCBT_ACTIVATE && HWND(wparam) != g_dialog && GetDlgItem(HWND(wparam), IDYES)) {
        HWND box = HWND(wparam);
        char text[512] = {}, caption[64] = {};
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        GetWindowTextA(box, caption, sizeof caption);
        g_boxTexts.push_back(text);
        g_boxCaptions.push_back(caption);
        PostMessageA(box, WM_COMMAND, g_boxAnswer, 0);
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

    // A DVE effect loaded from the host runs the pass through the data
    // layer's hook of the instance.
    DveHost h;
    REQUIRE(h.inst->host.hooks.placeDve);
    g_fxDvePlacement = 0;
    h.inst->host.hooks.placeDve(&h.inst->host);
    REQUIRE(g_placements.size() == 1);
    CHECK(g_placements[0].code == FX_PLACE_EFFECT);
    CHECK(g_placements[0].scaleX == 1.0);
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

namespace {

// The store's side of the dialog: the list filler and the buttons send the
// dialog its requests as the store library does.
FxCardRecord g_card;
std::vector<INT_PTR> g_answers;
FxEffectBlock *g_loadBlock;
uint32_t g_loadSize;
int g_fillKind = -1;

LONG_PTR __cdecl FakeFill(HWND list, int kind, int, int, void *, void *)
{
    g_fillKind = kind;
    SendMessageA(list, LB_ADDSTRING, 0, LPARAM("    7 Sweep"));
    return 1;
}

int __cdecl FakeAdd(HWND dialog, HWND, DWORD, void *record)
{
    const auto *b = static_cast<const FxCardButtonRecord *>(record);
    CHECK(b->dialog == dialog);
    std::memset(&g_card, 0, sizeof g_card);
    g_answers.push_back(SendMessageA(dialog, FX_MSG_CARD_REQUEST, FX_CARD_STORE, LPARAM(&g_card)));
    return 1;
}

LONG_PTR __cdecl FakeLoad(HWND dialog, HWND, void *, DWORD flags)
{
    CHECK(flags == 0x30000);
    std::memset(&g_card, 0, sizeof g_card);
    g_card.type = FX_CARD_TYPE;
    g_card.cardNumber = 7;
    g_card.block = g_loadBlock;
    g_card.blockSize = g_loadSize;
    lstrcpynA(g_card.name, "Sweep", sizeof g_card.name);
    g_answers.push_back(SendMessageA(dialog, FX_MSG_CARD_REQUEST, FX_CARD_LOAD, LPARAM(&g_card)));
    return 1;
}

// Paths are told apart by the x position of their first keyframe: "P1"
// is at 101, "C3" at 203.
void Mark(FxPath *p, const char *label)
{
    const double x = (label[0] == 'P' ? 100 : 200) + (label[1] - '0');
    p->head->position[0] = p->head->defaultX = x;
}

std::vector<std::string> Names(FxPath *first)
{
    std::vector<std::string> n;
    for (FxPath *p = first; p; p = p->next) {
        const int x = p->head ? int(p->head->position[0] + 0.5) : 0;
        n.push_back(std::string(1, x >= 200 ? 'C' : 'P') + std::to_string(x % 100));
    }
    return n;
}

struct CardsFixture : DveHost {
    FxTallysetSlots saved = g_fxTallyset;
    CardsFixture()
    {
        FxEffect *e = Effect();
        REQUIRE(e->first);
        Mark(e->first, "P1");
        FxPath *second = DuplicateEffect(e->first);
        REQUIRE(second);
        second->number = 2;
        Mark(second, "P2");
        AppendPath(&e->first, second);
        e->current = second;
        g_fxTallyset.RegFillLBEx = FakeFill;
        g_fxTallyset.RegBtnAdd = FakeAdd;
        g_fxTallyset.RegBtnLoad = FakeLoad;
        g_answers.clear();
        g_boxTexts.clear();
        g_boxCaptions.clear();
    }
    ~CardsFixture()
    {
        g_fxTallyset = saved;
        if (g_card.block && g_card.block != g_loadBlock) GlobalFree(g_card.block);
        g_card.block = nullptr;
    }
    INT_PTR Run(std::function<void(HWND)> act) { return RunDialog(FX_DLG_CARDS, CarteRegDlg, LPARAM(inst), act); }
};

} // namespace

TEST_CASE("Cards dialog: storing the current path or all paths", "[regdlg][cards]")
{
    CardsFixture f;
    FxEffect *e = f.Effect();
    struct Case {
        WPARAM answer;
        INT_PTR stored;
        std::vector<std::string> paths;
    };
    const Case cases[] = {{IDYES, 1, {"P2"}}, {IDNO, 1, {"P1", "P2"}}, {IDCANCEL, 0, {}}};
    for (const Case &c : cases) {
        g_boxAnswer = c.answer;
        g_answers.clear();
        g_boxTexts.clear();
        g_boxCaptions.clear();
        int items = -1;
        const INT_PTR r = f.Run([&](HWND d) {
            items = int(SendDlgItemMessageA(d, FX_ID_CARD_LIST, LB_GETCOUNT, 0, 0));
            CHECK(g_fxCardDialogOpen == 1);
            CHECK(f.inst->mainWindow == d);
            Press(d, FX_ID_CARD_ADD);
            Press(d, IDOK);
        });
        INFO("answer " << c.answer);
        CHECK(r == 1);
        CHECK(items == 1);
        CHECK(g_fillKind == 2);
        REQUIRE(g_answers.size() == 1);
        CHECK(g_answers[0] == c.stored);
        REQUIRE(g_boxTexts.size() == 1);
        CHECK(g_boxTexts[0] ==
              "Add Template\n\nInclude selected path only?.\n\n(Choose \"No\" to include all paths.)");
        CHECK(g_boxCaptions[0] == "FX");
        if (c.stored) {
            REQUIRE(g_card.block);
            CHECK(g_card.type == FX_CARD_TYPE);
            FxPath *stored = PathsFromBlock(g_card.block, g_card.blockSize);
            CHECK(Names(stored) == c.paths);
            FreeEffect(stored);
            GlobalFree(g_card.block);
        } else {
            CHECK(g_card.block == nullptr);
        }
        g_card.block = nullptr;
        // The effect keeps both paths and its current one.
        CHECK(Names(e->first) == std::vector<std::string>{"P1", "P2"});
        CHECK(e->current == e->first->next);
        CHECK(g_fxCardDialogOpen == 0);
        CHECK(f.inst->mainWindow == nullptr);
    }
    g_boxAnswer = IDYES;
}

TEST_CASE("Cards dialog: a stored or renamed card becomes the effect's card", "[regdlg][cards]")
{
    CardsFixture f;
    FxEffect *e = f.Effect();
    e->flags |= FXE_UNCARDED | FXE_UNSAVED;
    e->flags &= ~FXE_UNSTORED;
    FxCardRecord rec = {};
    rec.cardNumber = 7;
    lstrcpynA(rec.name, std::string(70, 'n').c_str(), sizeof rec.name);
    INT_PTR number = 0;
    f.Run([&](HWND d) {
        SendMessageA(d, FX_MSG_CARD_REQUEST, FX_CARD_STORED, LPARAM(&rec));
        FxCardRecord ask = {};
        SendMessageA(d, FX_MSG_CARD_REQUEST, FX_CARD_NUMBER, LPARAM(&ask));
        number = ask.cardNumber;
        // The same card again changes nothing.
        e->flags &= ~FXE_UNSTORED;
        SendMessageA(d, FX_MSG_CARD_REQUEST, FX_CARD_RENAMED, LPARAM(&rec));
        Press(d, IDOK);
    });
    CHECK(e->header.cardId == 7);
    CHECK(number == 7);
    CHECK(std::string(e->header.description) == std::string(63, 'n'));
    CHECK((e->flags & (FXE_UNCARDED | FXE_UNSAVED)) == 0);
    CHECK((e->flags & FXE_UNSTORED) == 0);
}

TEST_CASE("Cards dialog: a picked card is applied, Cancel puts the paths back", "[regdlg][cards]")
{
    CardsFixture f;
    FxEffect *e = f.Effect();
    // The card: three paths.
    TestHost other;
    REQUIRE(other.Attach() == 1);
    FxEffect *o = FxCurrentEffect(other.Instance());
    Mark(o->first, "C1");
    for (int i = 2; i <= 3; ++i) {
        FxPath *p = DuplicateEffect(o->first);
        p->number = i;
        Mark(p, ("C" + std::to_string(i)).c_str());
        AppendPath(&o->first, p);
    }
    FxSyncEffectHost(other.Instance());
    g_loadBlock = FxMakeBlock(&other.Instance()->host, o, 0, &g_loadSize);
    REQUIRE(g_loadBlock);

    for (int button : {IDOK, IDCANCEL}) {
        g_answers.clear();
        g_fxDvePlacement = 0;
        std::vector<std::string> during;
        const INT_PTR r = f.Run([&](HWND d) {
            CHECK(g_fxDvePlacement == 1);
            HWND list = GetDlgItem(d, FX_ID_CARD_LIST);
            SendMessageA(list, LB_SETCURSEL, 0, 0);
            SendMessageA(d, WM_COMMAND, MAKEWPARAM(FX_ID_CARD_LIST, LBN_SELCHANGE), LPARAM(list));
            during = Names(FxCurrentEffect(f.inst)->first);
            Press(d, button);
        });
        e = f.Effect();
        INFO("button " << button);
        REQUIRE(g_answers.size() == 1);
        CHECK(g_answers[0] == 1);
        CHECK(during == std::vector<std::string>{"C1", "C2", "C3"});
        if (button == IDOK) {
            CHECK(r == 1);
            CHECK(Names(e->first) == std::vector<std::string>{"C1", "C2", "C3"});
            CHECK(e->header.cardId == 7);
            CHECK(g_fxDvePlacement == 1);
            // Back to two paths for the Cancel round.
            FreeEffect(e->first->next->next);
            e->first->next->next = nullptr;
            Mark(e->first, "P1");
            Mark(e->first->next, "P2");
        } else {
            CHECK(r == 0);
            CHECK(Names(e->first) == std::vector<std::string>{"P1", "P2"});
            CHECK(e->current == e->first);
            CHECK(g_fxDvePlacement == 0);
        }
    }
    std::free(g_loadBlock);
    g_loadBlock = nullptr;
}

TEST_CASE("Cards dialog: DVE On sends the placement or the identity", "[regdlg][cards]")
{
    CardsFixture f;
    g_fxTallyset.RegFillLBEx = nullptr;   // an empty store: no list filler
    g_fxLastPlacement = {FX_PLACE_EFFECT, 0, {10, 20, 110, 220}, 0, 0.5, 0.25};
    int items = -1;
    f.Run([&](HWND d) {
        items = int(SendDlgItemMessageA(d, FX_ID_CARD_LIST, LB_GETCOUNT, 0, 0));
        CHECK(IsDlgButtonChecked(d, FX_ID_DVE_ON) == BST_CHECKED);
        g_placements.clear();
        CheckDlgButton(d, FX_ID_DVE_ON, BST_UNCHECKED);
        Press(d, FX_ID_DVE_ON);
        CheckDlgButton(d, FX_ID_DVE_ON, BST_CHECKED);
        Press(d, FX_ID_DVE_ON);
        // Each readout shows its own value of the rectangle 10, 20 - 110, 220.
        const struct {
            int id;
            int value;
        } readouts[] = {{3280, 10}, {3285, 20}, {3725, 100}, {3727, 200}, {3729, 110}, {3731, 220}};
        for (const auto &r : readouts) {
            INFO("readout " << r.id);
            CHECK(int(GetDlgItemInt(d, r.id, nullptr, TRUE)) == r.value);
        }
        Press(d, IDOK);
    });
    CHECK(items == 0);
    REQUIRE(g_placements.size() == 2);
    CHECK(g_placements[0].code == FX_PLACE_IN_DIALOG);
    CHECK(g_placements[0].rect[2] == 0);
    CHECK(g_placements[0].scaleX == 1.0);
    CHECK(g_placements[1].code == FX_PLACE_IN_DIALOG);
    CHECK(g_placements[1].rect[2] == 110);
    CHECK(g_placements[1].scaleY == 0.25);
}
