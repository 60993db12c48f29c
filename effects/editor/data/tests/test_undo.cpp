// Undo snapshots: unchanged effects are not pushed twice, the list is cut
// from 100 to its newest 75, a push drops the redo list, each node holds
// the effect's text and where the editor stood, and the undo and redo
// controls follow the lists.
#include <catch2/catch.hpp>

#include <cstring>
#include <ctime>
#include <string>

#include "fxdata.h"
#include "fxedit.h"

namespace {

struct Fixture {
    FxEffectHost host{};
    Fixture()
    {
        host.personality = 1;
        host.effect = NewEffect(&host, 0);
        REQUIRE(host.effect);
    }
    ~Fixture() { DeleteEffect(host.effect); }
    FxEffect *e() { return host.effect; }
    int Push() { return PushUndoSnapshot(&host, &e()->undo, &e()->redo, &e()->undoCount); }
    int Length()
    {
        int n = 0;
        for (FxUndoNode *u = e()->undo; u; u = u->next)
            ++n;
        return n;
    }
    void Change(int i) { e()->first->head->position[0] = i; }
};

}  // namespace

TEST_CASE("an unchanged effect is pushed once", "[undo]")
{
    Fixture f;
    CHECK(f.Push() == 1);
    CHECK(f.Push() == 0);
    CHECK(f.Length() == 1);
    CHECK(f.e()->undoCount == 1);
    f.Change(5);
    CHECK(f.Push() == 1);
    CHECK(f.Length() == 2);

    // The node holds the effect's text without a header.
    FxUndoNode *n = f.e()->undo;
    std::string text(n->text);
    CHECK(n->length == text.size() + 1);
    CHECK(text.find("Header") == std::string::npos);
    CHECK(text.find("x = 5,") != std::string::npos);
    CHECK(n->text == reinterpret_cast<char *>(n + 1));
}

TEST_CASE("a pushed snapshot stamps the effect with a new time", "[undo]")
{
    Fixture f;
    const uint32_t before = uint32_t(time(nullptr));
    // The first snapshot is the effect as loaded: its stamp stays.
    f.e()->timeStamp = before + 1000;
    CHECK(f.Push() == 1);
    CHECK(f.e()->timeStamp == before + 1000);
    // A stamp from the future (a block loaded from another clock) still
    // moves on, so the next store never matches the loaded block.
    f.Change(6);
    CHECK(f.Push() == 1);
    CHECK(f.e()->timeStamp == before + 1001);
    f.e()->timeStamp = 12345;
    CHECK(f.Push() == 0);                 // nothing new: the stamp stays
    CHECK(f.e()->timeStamp == 12345u);
    f.Change(7);
    CHECK(f.Push() == 1);
    CHECK(f.e()->timeStamp >= before);
    f.e()->timeStamp = 0xFFFFFFFFu;
    f.Change(8);
    CHECK(f.Push() == 1);
    CHECK(f.e()->timeStamp >= before);
    CHECK(f.e()->timeStamp != 0xFFFFFFFFu);
}

TEST_CASE("the list is cut to its newest 75 when it holds 100", "[undo]")
{
    Fixture f;
    for (int i = 0; i < 100; ++i) {
        f.Change(i);
        REQUIRE(f.Push() == 1);
    }
    CHECK(f.e()->undoCount == 100);
    CHECK(f.Length() == 100);
    f.Change(1000);
    REQUIRE(f.Push() == 1);
    CHECK(f.e()->undoCount == 76);
    CHECK(f.Length() == 76);
    // The newest survive: the head is the last push, the tail the 25th of
    // the first hundred (values 25..99 kept).
    CHECK(std::string(f.e()->undo->text).find("x = 1000,") != std::string::npos);
    FxUndoNode *last = f.e()->undo;
    while (last->next)
        last = last->next;
    CHECK(std::string(last->text).find("x = 25,") != std::string::npos);
}

TEST_CASE("a push drops the redo list and records where the editor stood", "[undo]")
{
    Fixture f;
    REQUIRE(f.Push() == 1);
    // Hand one node to the redo list, as an undo step would.
    f.Change(3);
    REQUIRE(f.Push() == 1);
    FxUndoNode *moved = f.e()->undo;
    f.e()->undo = moved->next;
    moved->next = nullptr;
    f.e()->redo = moved;
    --f.e()->undoCount;

    // A second path, current, on its second keyframe.
    FxPath *second = f.e()->first;
    REQUIRE(AppendNewPath(&second));   // appends and points the slot at the new path
    REQUIRE(f.e()->first->next == second);
    REQUIRE(InsertKeyframeCopy(second, 0, INSERT_AFTER));
    second->current = second->head->next;
    f.e()->current = second;
    REQUIRE(f.Push() == 1);
    CHECK(f.e()->redo == nullptr);
    CHECK(f.e()->undo->pathNumber == 2);
    CHECK(f.e()->undo->keyIndex == 1);
}

TEST_CASE("undo and redo controls follow the lists", "[undo]")
{
    Fixture f;
    HMENU menu = CreateMenu();
    AppendMenuA(menu, MF_STRING, FX_ID_UNDO, "Undo");
    AppendMenuA(menu, MF_STRING, FX_ID_REDO, "Redo");
    HWND tool = CreateWindowA("STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND undo = CreateWindowA("BUTTON", "", WS_CHILD, 0, 0, 5, 5, tool, HMENU(INT_PTR(FX_ID_UNDO)), nullptr, nullptr);
    HWND redo = CreateWindowA("BUTTON", "", WS_CHILD, 0, 0, 5, 5, tool, HMENU(INT_PTR(FX_ID_REDO)), nullptr, nullptr);
    f.host.menu = menu;
    f.host.toolWindow = tool;
    auto grayed = [&](int id) { return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) != 0; };

    REQUIRE(f.Push() == 1);
    CHECK(grayed(FX_ID_UNDO));      // one snapshot: nothing to go back to
    CHECK(grayed(FX_ID_REDO));
    CHECK(!IsWindowEnabled(undo));
    f.Change(9);
    REQUIRE(f.Push() == 1);
    CHECK(!grayed(FX_ID_UNDO));
    CHECK(IsWindowEnabled(undo));
    CHECK(!IsWindowEnabled(redo));

    f.e()->redo = static_cast<FxUndoNode *>(calloc(1, sizeof(FxUndoNode)));
    UpdateUndoControls(&f.host);
    CHECK(!grayed(FX_ID_REDO));
    CHECK(IsWindowEnabled(redo));

    DestroyWindow(tool);
    DestroyMenu(menu);
}

TEST_CASE("no effect, no push", "[undo]")
{
    FxEffectHost host{};
    FxUndoNode *u = nullptr, *r = nullptr;
    int32_t n = 0;
    CHECK(PushUndoSnapshot(&host, &u, &r, &n) == -1);
    CHECK(PushUndoSnapshot(nullptr, &u, &r, &n) == -1);
    CHECK(n == 0);
}

namespace {

std::string Text(FxEffect *e)
{
    int n = WriteFxScriptText(e->first, nullptr, nullptr);
    std::string s(size_t(n), '\0');
    WriteFxScriptText(e->first, nullptr, &s[0]);
    s.resize(strlen(s.c_str()));
    return s;
}

int Keyframes(FxPath *p)
{
    int n = 0;
    for (FxKeyframe *k = p->head; k; k = k->next != p->head ? k->next : nullptr)
        ++n;
    return n;
}

}  // namespace

TEST_CASE("undo and redo steps make the effect equal to its snapshots", "[undo][step]")
{
    Fixture f;
    FxEffect *e = f.e();
    REQUIRE(f.Push() == 1);
    const std::string a = Text(e);

    // B: a second keyframe at frame 20, current.
    REQUIRE(InsertKeyframeCopy(e->first, 0, INSERT_AFTER));
    FxKeyframe *k2 = LastKeyframe(e->first);
    k2->startFrame = k2->endFrame = 20;
    k2->startTime = k2->endTime = 20;
    k2->position[0] = 50;
    e->first->current = k2;
    REQUIRE(f.Push() == 1);
    const std::string b = Text(e);

    // C: a second path, current.
    FxPath *slot = e->first;
    REQUIRE(AppendNewPath(&slot));
    slot->head->position[1] = 77;
    e->current = slot;
    REQUIRE(f.Push() == 1);
    const std::string c = Text(e);
    REQUIRE(e->undoCount == 3);
    e->flags &= ~(FXE_UNWRITTEN | FXE_UNSTORED);

    REQUIRE(StepUndo(&f.host, &e->undo, &e->redo, 0) == 1);
    CHECK(Text(e) == b);
    CHECK(CountPaths(e->first) == 1);          // the path C added is gone
    CHECK(e->current == e->first);
    CHECK(e->first->current == LastKeyframe(e->first));   // B's snapshot stood on keyframe 2
    CHECK(e->undoCount == 2);
    CHECK((e->flags & (FXE_UNWRITTEN | FXE_UNSTORED)) == (FXE_UNWRITTEN | FXE_UNSTORED));

    REQUIRE(StepUndo(&f.host, &e->undo, &e->redo, 0) == 1);
    CHECK(Text(e) == a);
    CHECK(Keyframes(e->first) == 1);           // the keyframe B added is gone
    CHECK(e->first->current == e->first->head);
    CHECK(e->undoCount == 1);
    CHECK(StepUndo(&f.host, &e->undo, &e->redo, 0) == 0);   // one node: nothing to go back to
    CHECK(Text(e) == a);

    REQUIRE(StepUndo(&f.host, &e->redo, &e->undo, 1) == 1);
    CHECK(Text(e) == b);
    REQUIRE(StepUndo(&f.host, &e->redo, &e->undo, 1) == 1);
    CHECK(Text(e) == c);
    CHECK(CountPaths(e->first) == 2);
    CHECK(e->current == e->first->next);
    CHECK(e->undoCount == 3);
    CHECK(StepUndo(&f.host, &e->redo, &e->undo, 1) == 0);

    SECTION("a change after an undo drops what could be redone")
    {
        REQUIRE(StepUndo(&f.host, &e->undo, &e->redo, 0) == 1);
        REQUIRE(e->redo);
        e->first->head->position[2] = 500;
        REQUIRE(f.Push() == 1);
        CHECK(e->redo == nullptr);
        CHECK(StepUndo(&f.host, &e->redo, &e->undo, 1) == 0);
    }
    SECTION("a snapshot that cannot be read changes nothing")
    {
        // The text of the node undo would apply is damaged.
        FxUndoNode *target = e->undo->next;
        target->text[0] = 0;
        const std::string now = Text(e);
        FxUndoNode *head = e->undo;
        CHECK(StepUndo(&f.host, &e->undo, &e->redo, 0) == 0);
        CHECK(e->undo == head);
        CHECK(e->redo == nullptr);
        CHECK(Text(e) == now);
    }
}

TEST_CASE("the refresh pushes on undoable changes and marks the effect changed", "[undo][refresh]")
{
    Fixture f;
    FxEffect *e = f.e();
    e->flags = 0;
    // The first refresh records the starting point without calling it a change.
    CHECK(FxNoteUndoableChange(&f.host, 0) == 1);
    CHECK(e->flags == 0);
    CHECK(FxNoteUndoableChange(&f.host, 0x1000) == -1);
    f.Change(8);
    CHECK(FxNoteUndoableChange(&f.host, FX_MASK_UNDOABLE) == 1);
    CHECK(e->flags == (FXE_UNWRITTEN | FXE_UNCARDED | FXE_UNSTORED | FXE_RENDER_STALE | FXE_UNSAVED));
    e->flags = 0;
    f.Change(9);
    CHECK(FxNoteUndoableChange(&f.host, FX_MASK_UNDOABLE | FX_MASK_KEEP_RENDER) == 1);
    CHECK(e->flags == (FXE_UNWRITTEN | FXE_UNCARDED | FXE_UNSTORED | FXE_UNSAVED));
    CHECK(e->undoCount == 3);
    // Suspended: the change is marked, nothing is pushed.
    e->undoSuspended = 1;
    f.Change(10);
    CHECK(FxNoteUndoableChange(&f.host, FX_MASK_UNDOABLE) == -1);
    CHECK(e->undoCount == 3);
    CHECK(FxNoteUndoableChange(nullptr, FX_MASK_UNDOABLE) == -1);
}
