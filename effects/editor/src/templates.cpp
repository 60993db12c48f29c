// FXD_EFFECT_SCRIPT: effect templates kept in the store of numbered
// entries ("tallyset.dll") under the personality's template kind, each a
// card record whose block carries the template as FX script text.  The
// host names a template in the request's extra word (a size query points
// that word at the name the instance keeps); names compare with every
// blank taken as "-".
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fxclip.h"
#include "fxedit.h"
#include "fxeditor.h"
#include "fxhost.h"

namespace {

typedef void *(__cdecl *GetDataProc)(int kind, int number, char *name, int *length);
typedef int(__cdecl *EnumProc)(int kind, int number, void *context);
typedef int(__cdecl *EnumDataProc)(int kind, int first, int last, EnumProc callback, void *context);

constexpr int kLastNumber = 0xFFFE;  // 0xFFFF means "no card"
constexpr size_t kNameMax = 63;

std::string Dashed(const char *name)
{
    std::string s(name ? name : "");
    for (char &c : s)
        if (c == ' ') c = '-';
    return s;
}

// The store, bound for one request, its file the one the host names.
struct Store {
    FxInstance *inst;
    explicit Store(FxInstance *i) : inst(i)
    {
        BindLibraries(GetFxInstance(), FXLIB_TALLYSET);
        if (const char *reg = reinterpret_cast<const char *>(FxCallHost(inst, FXN_GET_FILE, 1, nullptr)))
            if (*reg && g_fxTallyset.RegSetFile && g_fxTallyset.RegGetFile &&
                lstrcmpiA(g_fxTallyset.RegGetFile(), reg) != 0)
                g_fxTallyset.RegSetFile(reg);
    }
    ~Store() { FreeLibraries(FXLIB_TALLYSET); }
    bool Usable() const { return g_fxTallyset.RegGetData && g_fxTallyset.RegEnumData && g_fxTallyset.RegFreeData; }
    int Kind() const { return FxPersonalityRow(inst->personality).templateType; }
    void *Get(int number, char *name, int *length) const
    {
        return reinterpret_cast<GetDataProc>(g_fxTallyset.RegGetData)(Kind(), number, name, length);
    }
};

struct Search {
    const Store *store;
    std::string wanted;  // dashed
    int found = -1;
    int highest = 0;
};

int __cdecl Visit(int, int number, void *context)
{
    Search *s = static_cast<Search *>(context);
    if (number > s->highest) s->highest = number;
    char name[80] = "";
    int length = 0;
    void *record = s->store->Get(number, name, &length);
    if (!record) return 1;
    g_fxTallyset.RegFreeData(record);
    name[sizeof name - 1] = 0;
    if (s->found < 0 && Dashed(name) == s->wanted) s->found = number;
    return 1;
}

// The number of the template named `name` (-1 none) and the highest
// number in use.
int FindTemplate(const Store &store, const char *name, int *highest = nullptr)
{
    Search s;
    s.store = &store;
    s.wanted = Dashed(name);
    reinterpret_cast<EnumDataProc>(g_fxTallyset.RegEnumData)(store.Kind(), 0, kLastNumber, Visit, &s);
    if (highest) *highest = s.highest;
    return s.found;
}

// A name the caller's memory holds, ended within 64 characters.
bool CallerName(uintptr_t word, char *out)
{
    const char *s = reinterpret_cast<const char *>(word);
    if (!s || !FxHostMemory(const_cast<char *>(s), 1, false)) return false;
    for (size_t i = 0; i <= kNameMax; ++i) {
        if (!FxHostMemory(const_cast<char *>(s + i), 1, false)) return false;
        out[i] = s[i];
        if (!s[i]) return i > 0;
    }
    return false;
}

// A temporary effect over `paths` (taken), for its block.
FxEffectBlock *BlockOf(FxInstance *inst, FxPath *paths, const char *description, uint32_t *size)
{
    FxEffect *e = NewEffect(&inst->host, 0);
    if (!e) {
        FreeEffect(paths);
        return nullptr;
    }
    FreeEffect(e->first);
    e->first = e->current = paths;
    lstrcpynA(e->header.description, description, sizeof e->header.description);
    FxEffectBlock *b = FxMakeBlock(&inst->host, e, 0, size);
    DeleteEffect(e);
    return b;
}

// The template's text (from a fresh write of its paths) into `out`.
bool TemplateText(FxInstance *inst, const Store &store, int number, std::string *out)
{
    int length = 0;
    char name[80] = "";
    void *record = store.Get(number, name, &length);
    if (!record) return false;
    bool ok = false;
    const FxCardRecord *card = static_cast<const FxCardRecord *>(record);
    if (size_t(length) >= offsetof(FxCardRecord, name) && card->type == FX_CARD_TYPE && card->block) {
        FxPath *paths = PathsFromBlock(card->block, card->blockSize ? card->blockSize : SIZE_MAX);
        uint32_t size = 0;
        FxEffectBlock *b = paths ? BlockOf(inst, paths, card->block->description, &size) : nullptr;
        if (b) {
            out->assign(FxBlockText(b));
            std::free(b);
            ok = true;
        }
    }
    g_fxTallyset.RegFreeData(record);
    return ok;
}

// The template chosen in the templates page's list ("%5d name" items), or
// the one the instance last named.
bool ChosenTemplate(FxInstance *inst, const Store &store)
{
    FxEditorState *ed = FxEditorOf(inst);
    HWND page = ed ? ed->pages[FXP_TEMPLATES] : nullptr;
    HWND list = page ? GetDlgItem(page, 3740) : nullptr;
    if (!list && page) list = GetDlgItem(page, 3770);
    if (list) {
        char cls[16] = "";
        GetClassNameA(list, cls, sizeof cls);
        const bool combo = lstrcmpiA(cls, "ComboBox") == 0;
        const LRESULT item = SendMessageA(list, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
        char text[128] = "";
        if (item >= 0 && SendMessageA(list, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, WPARAM(item), 0) <
                             LRESULT(sizeof text))
            SendMessageA(list, combo ? CB_GETLBTEXT : LB_GETTEXT, WPARAM(item), LPARAM(text));
        if (text[0]) {
            char name[80] = "";
            int length = 0;
            if (void *record = store.Get(std::atoi(text), name, &length)) {
                g_fxTallyset.RegFreeData(record);
                name[sizeof name - 1] = 0;
                lstrcpynA(inst->templateName, Dashed(name).c_str(), sizeof inst->templateName);
                return true;
            }
        }
    }
    return inst->templateName[0] != 0 && FindTemplate(store, inst->templateName) >= 0;
}

}  // namespace

INT_PTR FxTemplateGive(FxInstance *inst, WPARAM phase, FxRequest &r)
{
    if (r.unit != FXM_TEXT) return 0;
    Store store(inst);
    if (!store.Usable()) return 0;
    INT_PTR result = 0;
    if (phase & FXP_SIZE) {
        if (!ChosenTemplate(inst, store)) return 0;
        std::string text;
        if (!TemplateText(inst, store, FindTemplate(store, inst->templateName), &text)) return 0;
        r.extra = reinterpret_cast<uintptr_t>(inst->templateName);
        r.second = text.size() + 1;
        result = 1;
    }
    if ((phase & FXP_TRANSFER) && r.data) {
        char name[kNameMax + 1];
        const char *which = CallerName(r.extra, name) ? name : inst->templateName;
        const int number = which[0] ? FindTemplate(store, which) : -1;
        std::string text;
        if (number < 0 || !TemplateText(inst, store, number, &text)) return 0;
        // Never past the buffer the size word gives.
        if (r.second < text.size() + 1 || !FxHostMemory(r.data, text.size() + 1, true)) return 0;
        std::memcpy(r.data, text.c_str(), text.size() + 1);
        result = INT_PTR(text.size());
    }
    return result;
}

INT_PTR FxTemplateReceive(FxInstance *inst, FxRequest &r)
{
    if (r.unit != FXM_TEXT || !r.data) return 0;
    char name[kNameMax + 1];
    const char *which = CallerName(r.extra, name) ? name : inst->templateName;
    if (!which[0]) return 0;
    Store store(inst);
    if (!store.Usable() || !g_fxTallyset.RegSetData) return 0;
    FxPath *paths = ParseEffectText(static_cast<const char *>(r.data));
    if (!paths) return 0;
    uint32_t size = 0;
    FxEffectBlock *block = BlockOf(inst, paths, which, &size);
    if (!block) return 0;
    // A template of the same name is replaced; a new one takes the next
    // free number.
    int highest = 0;
    int number = FindTemplate(store, which, &highest);
    if (number < 0) number = highest + 1;
    FxCardRecord card;
    std::memset(&card, 0, sizeof card);
    card.type = FX_CARD_TYPE;
    card.cardNumber = uint16_t(number);
    card.blockSize = size;
    card.block = block;
    lstrcpynA(card.name, which, int(kNameMax + 1));
    const int ok = number <= kLastNumber && g_fxTallyset.RegSetData(store.Kind(), number, which, &card, sizeof card);
    std::free(block);
    if (!ok) return 0;
    lstrcpynA(inst->templateName, Dashed(which).c_str(), sizeof inst->templateName);
    FxMarkChange(inst, 0x8000000);
    return 1;
}
