// A text-effects library for the link tests: it hands out one object, for
// the GUIDs whose first word is 1 to 9, whose panel value is that number
// and whose refresh counts its calls.
#include <windows.h>

#include "fxutil.h"

namespace {

struct Effect : FxTextEffectObject {
    LONG_PTR number;
    LONG_PTR refreshes;
};

LONG_PTR WINAPI Panel(FxTextEffectObject *o)
{
    return static_cast<Effect *>(o)->number;
}

LONG_PTR WINAPI Refresh(FxTextEffectObject *o)
{
    return ++static_cast<Effect *>(o)->refreshes;
}

const FxTextEffectObject::Ops kOps = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, Panel, nullptr, Refresh};
Effect g_effects[10];

}  // namespace

extern "C" FxTextEffectObject *WINAPI ScriptelGetObject(const GUID *id)
{
    if (!id || id->Data1 < 1 || id->Data1 > 9)
        return nullptr;
    Effect &e = g_effects[id->Data1];
    e.ops = &kOps;
    e.number = LONG_PTR(id->Data1);
    return &e;
}
