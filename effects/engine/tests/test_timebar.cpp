// Time-bar callbacks: rows and the scroll position choose the path, the
// items list every keyframe of the ring with its flags, and notifications
// select, mark and move keyframes and tell the editor.
#include <catch2/catch.hpp>

#include <vector>

#include "fxedit.h"
#include "fxtimebar.h"

namespace {

// What the editor instance is to the callbacks here.
struct FakeInstance {
    FxPath *first = nullptr;
    uint32_t flags = 0;
    HWND editor = nullptr;
    int flushed = 0;
    FxKeyframe *made = nullptr;
};

std::vector<WPARAM> g_updates;
int g_scroll = 0;

LRESULT CALLBACK EditorProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == FX_EDITOR_UPDATE) {
        g_updates.push_back(wp);
        return 0;
    }
    return DefWindowProcW(w, m, wp, lp);
}

LRESULT CALLBACK ScrollProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == TIMEBAR_GET_POS && wp == 4096)
        return g_scroll;
    return DefWindowProcW(w, m, wp, lp);
}

ATOM Register(const WCHAR *name, WNDPROC proc)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = name;
    RegisterClassW(&wc);
    return 1;
}

// A panel with the four rows and the scroll control, over an effect of
// three paths: one keyframe; keyframes held at 1, 5..7 and 12; one keyframe.
struct Panel {
    FakeInstance inst;
    HWND panel = nullptr;
    HWND rows[6] = {};   // ids 3340..3345
    Panel()
    {
        static ATOM once = (Register(L"FxTestEditor", EditorProc), Register(L"FxTestScroll", ScrollProc));
        (void)once;
        inst.editor = CreateWindowW(L"FxTestEditor", L"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        panel = CreateWindowW(L"FxTestEditor", L"", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
        REQUIRE(panel);
        SetWindowLongPtrW(panel, GWLP_USERDATA, LONG_PTR(&inst));
        for (int i = 0; i < 6; ++i)
            rows[i] = CreateWindowW(L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, panel, HMENU(INT_PTR(3340 + i)), nullptr,
                                    nullptr);
        CreateWindowW(L"FxTestScroll", L"", WS_CHILD, 0, 0, 10, 10, panel, HMENU(INT_PTR(TIMEBAR_SCROLL)), nullptr,
                      nullptr);
        FxPath *slot = nullptr;
        for (int i = 0; i < 3; ++i) {
            REQUIRE(AppendNewPath(&slot));
            if (!inst.first)
                inst.first = slot;
        }
        FxPath *p = inst.first->next;
        AddKey(p, 5, 7);
        AddKey(p, 12, 12);
        p->head->next->flags |= 1u << 20;
        p->head->next->flags |= 1u << 26;
        g_fxTimeBarHost.firstPath = [](void *i) { return static_cast<FakeInstance *>(i)->first; };
        g_fxTimeBarHost.effectFlags = [](void *i) { return &static_cast<FakeInstance *>(i)->flags; };
        g_fxTimeBarHost.editorWindow = [](void *i) { return static_cast<FakeInstance *>(i)->editor; };
        g_fxTimeBarHost.flushPending = [](void *i) { static_cast<FakeInstance *>(i)->flushed++; };
        g_fxTimeBarHost.makeCurrent = [](void *i, FxPath *, FxKeyframe *kf) { static_cast<FakeInstance *>(i)->made = kf; };
        g_updates.clear();
        g_scroll = 0;
    }
    ~Panel()
    {
        g_fxTimeBarHost = {};
        FreeEffect(inst.first);
        DestroyWindow(panel);
        DestroyWindow(inst.editor);
    }
    HWND Row(int id) { return rows[id - 3340]; }
    static void AddKey(FxPath *p, int start, int end)
    {
        FxKeyframe *last = p->head->prev;
        FxKeyframe *kf = NewKeyframe();
        REQUIRE(kf);
        CopyKeyframe(kf, last);
        last->next = kf;
        kf->prev = last;
        kf->next = p->head;
        p->head->prev = kf;
        kf->index = last->index + 1;
        kf->startFrame = start;
        kf->endFrame = end;
        kf->startTime = start;
        kf->endTime = end;
        kf->delay = end - start;
    }
    std::vector<SpanruleItem> Items(int id, std::vector<int> *indices = nullptr)
    {
        std::vector<SpanruleItem> out;
        SpanruleCursor *c = SpanruleFirstItem(Row(id));
        if (!c)
            return out;
        SpanruleItem it;
        for (int n; (n = SpanruleNextItem(nullptr, c, &it)) != 0;) {
            out.push_back(it);
            if (indices)
                indices->push_back(n);
        }
        CHECK(SpanruleFreeItem(c) == 1);
        return out;
    }
};

} // namespace

TEST_CASE("Rows and the scroll position choose the path", "[timebar]")
{
    Panel p;
    const struct {
        int row, scroll;
        int path;   // 0: no cursor
    } cases[] = { { 3341, 0, 1 }, { 3342, 0, 2 }, { 3343, 0, 3 }, { 3344, 0, 0 }, { 3340, 0, 0 }, { 3345, 0, 0 },
                  { 3341, 2, 3 }, { 3342, 2, 0 }, { 3342, -1, 1 }, { 3341, -1, 0 } };
    for (auto &c : cases) {
        INFO("row " << c.row << " scroll " << c.scroll);
        g_scroll = c.scroll;
        SpanruleCursor *cur = SpanruleFirstItem(p.Row(c.row));
        if (!c.path) {
            CHECK(cur == nullptr);
            continue;
        }
        REQUIRE(cur);
        CHECK(cur->path->number == c.path);
        CHECK(cur->last == nullptr);
        SpanruleFreeItem(cur);
    }
    CHECK(SpanruleFirstItem(nullptr) == nullptr);
}

TEST_CASE("Items list the keyframes of the ring with their flags", "[timebar]")
{
    Panel p;
    std::vector<int> indices;
    auto items = p.Items(3342, &indices);
    REQUIRE(items.size() == 3);
    CHECK(indices == std::vector<int>{ 1, 2, 3 });
    CHECK(items[0].flags == SPAN_FIRST);
    CHECK(items[0].start == 1);
    CHECK(items[0].length == 0);
    CHECK(items[1].flags == (SPAN_MARK1 | SPAN_MARK2));
    CHECK(items[1].start == 5);
    CHECK(items[1].length == 2);
    CHECK(items[2].flags == SPAN_LAST);
    CHECK(items[2].start == 12);

    auto one = p.Items(3341);
    REQUIRE(one.size() == 1);
    CHECK(one[0].flags == (SPAN_FIRST | SPAN_LAST));
    CHECK(SpanruleNextItem(nullptr, nullptr, nullptr) == 0);
}

TEST_CASE("Notifications select, mark and move keyframes", "[timebar]")
{
    Panel p;
    FxPath *path = p.inst.first->next;
    HWND row = p.Row(3342);
    CHECK(SpanruleNotify(row, 0, SPAN_CURSOR_EDGE, 0) == 1);
    CHECK(SpanruleNotify(row, 0, SPAN_CURSOR_BAR, 0) == 1);

    SECTION("select: the keyframe becomes current; pending edits are flushed first")
    {
        REQUIRE(SpanruleNotify(row, 2, SPAN_SELECT, 0) == 1);
        CHECK(path->current == path->head->next);
        CHECK(p.inst.made == path->head->next);
        CHECK(p.inst.flushed == 0);
        CHECK(g_updates == std::vector<WPARAM>{ 0x20000C00 });
        p.inst.flags = FX_EFFECT_CHANGED;
        REQUIRE(SpanruleNotify(row, 3, SPAN_SELECT, 0) == 1);
        CHECK(p.inst.flushed == 1);
        CHECK(SpanruleNotify(row, 9, SPAN_SELECT, 0) == 0);   // no such keyframe
    }
    SECTION("a change marks the effect")
    {
        REQUIRE(SpanruleNotify(row, 1, SPAN_CHANGED, 0) == 1);
        CHECK(p.inst.flags == FX_EFFECT_CHANGED);
        CHECK(g_updates == std::vector<WPARAM>{ 0x50000400 });
    }
    SECTION("a move stays between the neighbours; later keyframes keep their frames")
    {
        const struct {
            int to, start, end;
        } moves[] = { { 3, 3, 5 }, { 20, 9, 11 }, { 0, 2, 4 }, { 6, 6, 8 } };
        for (auto &m : moves) {
            INFO("to " << m.to);
            REQUIRE(SpanruleNotify(row, 2, SPAN_MOVE, m.to) == 1);
            auto items = p.Items(3342);
            REQUIRE(items.size() == 3);
            CHECK(items[0].start == 1);
            CHECK(items[1].start == m.start);
            CHECK(items[1].start + items[1].length == m.end);
            CHECK(items[2].start == 12);
        }
        // The head moves on its own too, never before frame 1.
        REQUIRE(SpanruleNotify(row, 1, SPAN_MOVE, 4) == 1);
        CHECK(path->head->startFrame == 4);
        CHECK(path->head->next->startFrame == 6);
        REQUIRE(SpanruleNotify(row, 1, SPAN_MOVE, -3) == 1);
        CHECK(path->head->startFrame == 1);
        CHECK(p.inst.flags == FX_EFFECT_CHANGED);
    }
    CHECK(SpanruleNotify(p.Row(3345), 1, SPAN_CHANGED, 0) == 0);
}
