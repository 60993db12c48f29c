// Message 1312 on the editor's main window: a template record of the
// host's data type given to, or taken from, the current effect.  The
// record has the layout of a card record (type word at byte 4, number,
// block size and block, name).
#include <cstring>

#include "fxeditor.h"
#include "fxmainview.h"
#include "fxregdlg.h"

namespace {

// Saves the effect into the record (save mode 2, foreign bit); with
// `currentOnly` the path list is cut to the current path for the save
// and given back after it.  The record keeps its own type word.
int SaveInto(FxInstance *inst, HWND owner, FxCardRecord *rec, bool currentOnly)
{
    FxEffect *e = FxCurrentEffect(inst);
    const uint32_t type = rec->type;
    FxSyncEffectHost(inst);
    int ok;
    if (currentOnly && e->current) {
        FxPath *first = e->first, *cur = e->current, *prev = cur->prev, *next = cur->next;
        cur->prev = cur->next = nullptr;
        e->first = cur;
        ok = SaveEffect(&inst->host, owner, FXSV_CARD | FXL_FOREIGN, rec);
        cur->prev = prev;
        cur->next = next;
        e->first = first;
    } else {
        ok = SaveEffect(&inst->host, owner, FXSV_CARD | FXL_FOREIGN, rec);
    }
    rec->type = type;
    return ok;
}

}  // namespace

LRESULT FxTemplateTransfer(FxInstance *inst, HWND w, WPARAM code, FxCardRecord *rec)
{
    FxEffect *e = FxCurrentEffect(inst);
    if (!inst || !rec || !e || rec->type != FxPersonalityRow(inst->personality).blockKind) return 0;
    switch (code) {
    case FX_CARD_STORE: {
        bool currentOnly = false;
        if (e->current) {
            char text[256] = "";
            if (!LoadStringA(GetFxInstance(), FX_STR_ADD_TEMPLATE, text, sizeof text))
                lstrcpynA(text, "Add Template\n\nInclude selected path only?.\n\n(Choose \"No\" to include all paths.)",
                          sizeof text);
            const int answer = MessageBoxA(w, text, inst->product[0] ? inst->product : "FX", MB_YESNOCANCEL);
            if (answer == IDCANCEL) return 0;
            currentOnly = answer == IDYES;
        }
        return SaveInto(inst, w, rec, currentOnly);
    }
    case FX_CARD_LOAD: {
        // Read as the system's own text: a foreign read would keep the
        // first path only.
        FxSyncEffectHost(inst);
        if (!LoadEffect(&inst->host, w, FXL_CARD, rec)) return 0;
        return 1;
    }
    case FX_CARD_NUMBER:
        rec->cardNumber = e->header.cardId;
        return 1;
    case FX_CARD_STORED:
    case FX_CARD_RENAMED: {
        e->flags &= ~(FXE_UNCARDED | FXE_UNSAVED);
        char name[64];
        lstrcpynA(name, rec->name, sizeof name);
        if (e->header.cardId != rec->cardNumber || std::strcmp(e->header.description, name) != 0) {
            std::memcpy(e->header.description, name, sizeof name);
            e->header.cardId = rec->cardNumber;
            e->flags |= FXE_UNSTORED;
        }
        return 1;
    }
    default:
        return 0;
    }
}
