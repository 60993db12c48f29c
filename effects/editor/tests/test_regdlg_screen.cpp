// The editor's modal questions on a real display, opened from the editor a
// host opens and answered with real clicks: the clip-length method from
// the tool frame's "Clip Length Options..." button, and the "DVE Templates"
// cards dialog from the host's command 3099 over the store library itself
// (bin/tallyset.dll, the registry file the host names).  Screenshots of the
// dialogs are kept as artefacts.
#include <catch2/catch.hpp>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "editor_host.h"
#include "fxclip.h"
#include "fxedit.h"
#include "fxregdlg.h"
#include "modal_answer.h"
#include "tallyset.h"

using namespace fxtest;

namespace {

bool Checked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

}  // namespace

TEST_CASE("Clip Length Options: the tool frame's button asks, OK stores the method, Cancel keeps it",
          "[regdlg][screen]")
{
    REQUIRE(Library());
    EditorHost e(1);
    REQUIRE(e.Open());
    HWND button = e.Control(FX_ID_CLIP_METHOD_0);
    REQUIRE(button);
    FxSetClipLengthMethod(e.Effect(), 1);

    bool shownFirst = false;
    HWND d = Answer(FX_ID_CLIP_METHOD_0 + 3, [&] { Click(button); }, [&](HWND dlg) {
        shownFirst = Checked(dlg, FX_ID_CLIP_METHOD_0 + 1) && !Checked(dlg, FX_ID_CLIP_METHOD_0);
        Click(GetDlgItem(dlg, FX_ID_CLIP_METHOD_0 + 2));
        SaveShot(dlg, "regdlg_cliplength.bmp");
        Click(GetDlgItem(dlg, IDOK));
    });
    REQUIRE(d);
    CHECK(shownFirst);
    CHECK(FxClipLengthMethod(e.Effect()) == 2);

    // Again: the stored method is shown; another pick and Cancel change nothing.
    bool shownSecond = false;
    d = Answer(FX_ID_CLIP_METHOD_0 + 3, [&] { Click(button); }, [&](HWND dlg) {
        shownSecond = Checked(dlg, FX_ID_CLIP_METHOD_0 + 2);
        Click(GetDlgItem(dlg, FX_ID_CLIP_METHOD_0 + 3));
        Click(GetDlgItem(dlg, IDCANCEL));
    });
    REQUIRE(d);
    CHECK(shownSecond);
    CHECK(FxClipLengthMethod(e.Effect()) == 2);
}

namespace {

// The store library as the editor binds it, over the registry file the
// test host names.
struct Store {
    HMODULE dll = LoadLibraryA((BinDir() + "\\tallyset.dll").c_str());
    std::string file;
    template <class F> F Get(const char *n) { return reinterpret_cast<F>(GetProcAddress(dll, n)); }
    decltype(&RegSetData) setData = Get<decltype(&RegSetData)>("RegSetData");
    decltype(&RegGetData) getData = Get<decltype(&RegGetData)>("RegGetData");
    decltype(&RegFreeData) freeData = Get<decltype(&RegFreeData)>("RegFreeData");
    Store()
    {
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        file = std::string(dir) + "fxcards_screen_" + std::to_string(GetCurrentProcessId()) + ".tly";
        DeleteFileA(file.c_str());
    }
    ~Store()
    {
        if (auto setFile = Get<decltype(&RegSetFile)>("RegSetFile")) setFile("");
        DeleteFileA(file.c_str());
        if (dll) FreeLibrary(dll);
    }
};

// Paths are told apart by the x position of their first keyframe: "P1" is
// at 101, "C3" at 203.
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

// FXN_COMMAND as the host sends it: {command id, lParam}.
INT_PTR Command(TestHost &host, uintptr_t id, uintptr_t lp)
{
    uintptr_t record[2] = {id, lp};
    return host.Send(FXN_COMMAND, 0, record);
}

}  // namespace

TEST_CASE("DVE Templates from the host's command: a clicked card is applied, Cancel puts the paths back",
          "[regdlg][screen][cards]")
{
    REQUIRE(Library());
    Store store;
    REQUIRE(store.dll);
    EditorHost e(1);
    e.host.regPath = store.file;
    REQUIRE(e.Open());
    // The editor binds the same store and hands it the host's registry file.
    REQUIRE(GetModuleHandleA("tallyset.dll") == store.dll);

    FxEffect *fx = e.Effect();
    REQUIRE(fx->first);
    // Card 7 "Sweep" in the store: three paths, copies of the effect's own.
    FxPath *card = nullptr;
    for (int i = 1; i <= 3; ++i) {
        FxPath *p = DuplicateEffect(fx->first);
        REQUIRE(p);
        p->number = i;
        Mark(p, ("C" + std::to_string(i)).c_str());
        AppendPath(&card, p);
    }
    Mark(fx->first, "P1");
    FxPath *second = DuplicateEffect(fx->first);
    REQUIRE(second);
    second->number = 2;
    Mark(second, "P2");
    AppendPath(&fx->first, second);
    FxPath *mine = fx->first;
    fx->first = fx->current = card;
    FxSyncEffectHost(e.Inst());
    uint32_t size = 0;
    FxEffectBlock *block = FxMakeBlock(&e.Inst()->host, fx, 0, &size);
    fx->first = mine;
    fx->current = second;
    FxSyncEffectHost(e.Inst());
    FreeEffect(card);
    REQUIRE(block);
    FxCardRecord rec = {};
    rec.type = FX_CARD_TYPE;
    rec.cardNumber = 7;
    rec.blockSize = size;
    rec.block = block;
    lstrcpynA(rec.name, "Sweep", sizeof rec.name);
    REQUIRE(store.setData(2, 7, "Sweep", &rec, int(sizeof rec)) == 1);
    std::free(block);
    REQUIRE(Names(fx->first) == std::vector<std::string>{"P1", "P2"});

    for (int button : {IDCANCEL, IDOK}) {
        INFO("button " << button);
        std::vector<std::string> items, during;
        HWND d = Answer(FX_ID_PLACEMENT_VIEW, [&] { Command(e.host, 3099, 0x2D000000); }, [&](HWND dlg) {
            HWND list = GetDlgItem(dlg, FX_ID_CARD_LIST);
            const int n = int(SendMessageA(list, LB_GETCOUNT, 0, 0));
            for (int i = 0; i < n; ++i) {
                char text[128] = "";
                SendMessageA(list, LB_GETTEXT, i, LPARAM(text));
                items.push_back(text);
            }
            RECT r = {};
            SendMessageA(list, LB_GETITEMRECT, 0, LPARAM(&r));
            Click(list, r.left + 10, (r.top + r.bottom) / 2);
            PumpUntil([&] { return CountPaths(FxCurrentEffect(e.Inst())->first) == 3; }, 3000);
            during = Names(FxCurrentEffect(e.Inst())->first);
            if (button == IDCANCEL) SaveShot(dlg, "regdlg_cards_picked.bmp");
            Click(GetDlgItem(dlg, button));
        });
        REQUIRE(d);
        fx = e.Effect();
        CHECK(items == std::vector<std::string>{"    7 Sweep"});
        CHECK(during == std::vector<std::string>{"C1", "C2", "C3"});
        if (button == IDCANCEL) {
            CHECK(Names(fx->first) == std::vector<std::string>{"P1", "P2"});
            CHECK(fx->current == fx->first);
        } else {
            CHECK(Names(fx->first) == std::vector<std::string>{"C1", "C2", "C3"});
            CHECK(fx->header.cardId == 7);
        }
        // The dialog gave the editor's windows back.
        CHECK(e.Inst()->mainWindow != d);
    }
    e.Shot("regdlg_cards_after.bmp");
}
