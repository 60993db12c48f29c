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
#include "tallyset.h"

using namespace fxtest;

namespace {

std::function<void(HWND)> g_act;
HWND g_dialog;
// Message boxes over the dialog: answered with this button, text kept.
WPARAM g_boxAnswer = IDYES;
std::vector<std::string> g_boxTexts, g_boxCaptions;
// What the store's name prompt is answered with.
std::string g_promptName = "Sweep";

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
    } else if (code == HCBT_ACTIVATE && HWND(wparam) != g_dialog && GetDlgItem(HWND(wparam), TALLY_ID_NAME)) {
        // The store's name prompt: the name typed, then OK.
        SetDlgItemTextA(HWND(wparam), TALLY_ID_NAME, g_promptName.c_str());
        PostMessageA(HWND(wparam), WM_COMMAND, IDOK, 0);
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

// The store library itself (bin/tallyset.dll) behind the dialog, over a
// store file of the test's own.
struct Store {
    HMODULE dll = LoadLibraryA((BinDir() + "\\tallyset.dll").c_str());
    std::string file;
    template <class F> F Get(const char *n) { return reinterpret_cast<F>(GetProcAddress(dll, n)); }
    decltype(&RegSetFile) setFile = Get<decltype(&RegSetFile)>("RegSetFile");
    decltype(&RegGetData) getData = Get<decltype(&RegGetData)>("RegGetData");
    Store()
    {
        REQUIRE(dll);
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        file = std::string(dir) + "fxcards_" + std::to_string(GetCurrentProcessId()) + ".tly";
        DeleteFileA(file.c_str());
        REQUIRE(setFile(file.c_str()) == 1);
        g_fxTallyset.RegFillLBEx = Get<decltype(g_fxTallyset.RegFillLBEx)>("RegFillLBEx");
        g_fxTallyset.RegGetData = Get<decltype(g_fxTallyset.RegGetData)>("RegGetData");
        g_fxTallyset.RegSetData = Get<decltype(g_fxTallyset.RegSetData)>("RegSetData");
        g_fxTallyset.RegFreeData = Get<decltype(g_fxTallyset.RegFreeData)>("RegFreeData");
        g_fxTallyset.RegBtnAdd = Get<decltype(g_fxTallyset.RegBtnAdd)>("RegBtnAdd");
        g_fxTallyset.RegBtnUpdate = Get<decltype(g_fxTallyset.RegBtnUpdate)>("RegBtnUpdate");
        g_fxTallyset.RegBtnRename = Get<decltype(g_fxTallyset.RegBtnRename)>("RegBtnRename");
        g_fxTallyset.RegBtnDelete = Get<decltype(g_fxTallyset.RegBtnDelete)>("RegBtnDelete");
        g_fxTallyset.RegBtnLoad = Get<decltype(g_fxTallyset.RegBtnLoad)>("RegBtnLoad");
        g_fxTallyset.RegGetStrKey = Get<decltype(g_fxTallyset.RegGetStrKey)>("RegGetStrKey");
        REQUIRE(g_fxTallyset.RegBtnAdd);
        REQUIRE(g_fxTallyset.RegGetStrKey);
    }
    ~Store()
    {
        setFile("");
        DeleteFileA(file.c_str());
    }
    // The stored card's paths; empty when there is no such card.
    FxPath *Paths(int number, std::string *name = nullptr)
    {
        char n[80] = "";
        int length = 0;
        auto *rec = static_cast<FxCardRecord *>(getData(2, number, n, &length));
        if (!rec) return nullptr;
        FxPath *p = rec->type == FX_CARD_TYPE ? PathsFromBlock(rec->block, rec->blockSize) : nullptr;
        if (name) *name = n;
        g_fxTallyset.RegFreeData(rec);
        return p;
    }
    std::string Key(int number)
    {
        char k[96] = "";
        return g_fxTallyset.RegGetStrKey(2, number, LONG_PTR(k), sizeof k) > 0 ? k : "";
    }
};

std::vector<std::string> Items(HWND dialog)
{
    std::vector<std::string> v;
    HWND list = GetDlgItem(dialog, FX_ID_CARD_LIST);
    const int n = int(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        char text[128] = "";
        SendMessageA(list, LB_GETTEXT, i, LPARAM(text));
        v.push_back(text);
    }
    return v;
}

int __cdecl CountEntry(int, int, void *count)
{
    ++*static_cast<int *>(count);
    return 1;
}

void Pick(HWND dialog, int index)
{
    HWND list = GetDlgItem(dialog, FX_ID_CARD_LIST);
    SendMessageA(list, LB_SETCURSEL, WPARAM(index), 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(FX_ID_CARD_LIST, LBN_SELCHANGE), LPARAM(list));
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
    Store store;
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
        g_boxTexts.clear();
        g_boxCaptions.clear();
        g_promptName = "Sweep";
    }
    ~CardsFixture() { g_fxTallyset = saved; }
    INT_PTR Run(std::function<void(HWND)> act) { return RunDialog(FX_DLG_CARDS, CarteRegDlg, LPARAM(inst), act); }
};

} // namespace

TEST_CASE("Cards dialog: storing the current path or all paths", "[regdlg][cards]")
{
    CardsFixture f;
    FxEffect *e = f.Effect();
    struct Case {
        WPARAM answer;
        std::vector<std::string> paths;   // empty: nothing stored
        std::vector<std::string> items;
    };
    const Case cases[] = {{IDYES, {"P2"}, {"    1 Sweep"}},
                          {IDNO, {"P1", "P2"}, {"    1 Sweep", "    2 Sweep"}},
                          {IDCANCEL, {}, {"    1 Sweep", "    2 Sweep"}}};
    int number = 0;
    for (const Case &c : cases) {
        g_boxAnswer = c.answer;
        g_boxTexts.clear();
        g_boxCaptions.clear();
        int before = -1;
        std::vector<std::string> after;
        const INT_PTR r = f.Run([&](HWND d) {
            before = int(Items(d).size());
            CHECK(g_fxCardDialogOpen == 1);
            CHECK(f.inst->mainWindow == d);
            Press(d, FX_ID_CARD_ADD);
            after = Items(d);
            Press(d, IDOK);
        });
        INFO("answer " << c.answer);
        CHECK(r == 1);
        CHECK(before == number);
        CHECK(after == c.items);
        REQUIRE(g_boxTexts.size() == 1);
        CHECK(g_boxTexts[0] ==
              "Add Template\n\nInclude selected path only?.\n\n(Choose \"No\" to include all paths.)");
        CHECK(g_boxCaptions[0] == "FX");
        if (!c.paths.empty()) {
            ++number;
            std::string name;
            FxPath *stored = f.store.Paths(number, &name);
            REQUIRE(stored);
            CHECK(name == "Sweep");
            CHECK(Names(stored) == c.paths);
            FreeEffect(stored);
            // The stored card is the effect's card now.
            CHECK(e->header.cardId == number);
        }
        CHECK(f.store.Paths(number + 1) == nullptr);
        // The effect keeps both paths and its current one.
        CHECK(Names(e->first) == std::vector<std::string>{"P1", "P2"});
        CHECK(e->current == e->first->next);
        CHECK(g_fxCardDialogOpen == 0);
        CHECK(f.inst->mainWindow == nullptr);
    }
    g_boxAnswer = IDYES;
}

TEST_CASE("Cards dialog: the strip stores, renames and deletes cards in the store file", "[regdlg][cards]")
{
    CardsFixture f;
    FxEffect *e = f.Effect();
    g_boxAnswer = IDYES;
    std::vector<std::string> added, renamed, deleted;
    f.Run([&](HWND d) {
        g_promptName = "Sweep";
        Press(d, FX_ID_CARD_ADD);
        g_promptName = "Tilt";
        Press(d, FX_ID_CARD_ADD);
        added = Items(d);
        Pick(d, 0);
        g_promptName = "Swoop";
        Press(d, FX_ID_CARD_RENAME);
        renamed = Items(d);
        // The renamed card is the effect's card, under its new name.
        CHECK(f.Effect()->header.cardId == 1);
        CHECK(std::string(f.Effect()->header.description) == "Swoop");
        // Picked (and so loaded), then deleted: the second card goes.
        Pick(d, 1);
        Press(d, FX_ID_CARD_DELETE);
        deleted = Items(d);
        Press(d, IDOK);
    });
    CHECK(added == std::vector<std::string>{"    1 Sweep", "    2 Tilt"});
    CHECK(renamed == std::vector<std::string>{"    1 Swoop", "    2 Tilt"});
    CHECK(deleted == std::vector<std::string>{"    1 Swoop"});
    REQUIRE(g_boxTexts.size() == 3);
    CHECK(g_boxTexts[2] == "Delete 2 Tilt?");
    // The store file read afresh holds exactly that card.
    REQUIRE(f.store.setFile(f.store.file.c_str()) == 1);
    CHECK(f.store.Key(1) == "    1 Swoop");
    CHECK(f.store.Key(2).empty());
    std::string name;
    FxPath *stored = f.store.Paths(1, &name);
    REQUIRE(stored);
    CHECK(name == "Swoop");
    CHECK(Names(stored) == std::vector<std::string>{"P2"});
    FreeEffect(stored);
    int count = 0;
    auto enumerate = f.store.Get<decltype(&RegEnumData)>("RegEnumData");
    CHECK(enumerate(2, 0, 0xFFFF, CountEntry, &count) == 1);
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
    // The card in the store: three paths, number 7.
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
    uint32_t size = 0;
    FxEffectBlock *block = FxMakeBlock(&other.Instance()->host, o, 0, &size);
    REQUIRE(block);
    FxCardRecord card = {};
    card.type = FX_CARD_TYPE;
    card.cardNumber = 7;
    card.blockSize = size;
    card.block = block;
    lstrcpynA(card.name, "Sweep", sizeof card.name);
    REQUIRE(g_fxTallyset.RegSetData(2, 7, "Sweep", &card, int(sizeof card)) == 1);
    std::free(block);

    for (int button : {IDOK, IDCANCEL}) {
        g_fxDvePlacement = 0;
        std::vector<std::string> during, items;
        const INT_PTR r = f.Run([&](HWND d) {
            CHECK(g_fxDvePlacement == 1);
            items = Items(d);
            Pick(d, 0);
            during = Names(FxCurrentEffect(f.inst)->first);
            Press(d, button);
        });
        e = f.Effect();
        INFO("button " << button);
        CHECK(items == std::vector<std::string>{"    7 Sweep"});
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
}

TEST_CASE("Cards dialog: DVE On sends the placement or the identity", "[regdlg][cards]")
{
    CardsFixture f;   // an empty store
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
