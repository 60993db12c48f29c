// Links to outside objects: the text-effects library and the realtime
// renderer.
#include "fxutil.h"

#include <new>

// {5D7A31C2-8E44-4C1B-9A7E-1F2B3C4D5E61} and {..62}: the realtime renderer's
// two interfaces as this library asks for them.
const IID IID_FxRealtimeRenderer = {0x5d7a31c2, 0x8e44, 0x4c1b, {0x9a, 0x7e, 0x1f, 0x2b, 0x3c, 0x4d, 0x5e, 0x61}};
const IID IID_FxRealtimeValue = {0x5d7a31c2, 0x8e44, 0x4c1b, {0x9a, 0x7e, 0x1f, 0x2b, 0x3c, 0x4d, 0x5e, 0x62}};

struct FxTextEffects {
    char unused;
};

namespace {

typedef FxTextEffectObject *(WINAPI *GetObjectProc)(const GUID &id);

// The GUID handed out by TextEffectGuid; its first word is the effect's number.
GUID g_textEffectGuid = {0, 0x6a1f, 0x4b2e, {0x8c, 0x3d, 0x5e, 0x7f, 0x90, 0xa1, 0xb2, 0xc3}};

}  // namespace

int LoadScriptelObject(const GUID *id, FxTextEffectObject **object)
{
    if (object)
        *object = nullptr;
    HMODULE dll = LoadLibraryA("Scriptel.dll");
    if (!dll)
        return 4;
    auto get = reinterpret_cast<GetObjectProc>(GetProcAddress(dll, "?GetObjectA@@YAPAXABU_GUID@@@Z"));
    if (!get)
        return 7;
    static const GUID none = {};
    FxTextEffectObject *o = get(id ? *id : none);
    if (!o)
        return 8;
    if (object)
        *object = o;
    return 0;
}

FxTextEffects *TextEffectsOpen()
{
    return new (std::nothrow) FxTextEffects();
}

void TextEffectsClose(FxTextEffects *session)
{
    delete session;
}

const GUID *TextEffectGuid(FxTextEffects *session, uint32_t n)
{
    if (!session)
        return nullptr;
    g_textEffectGuid.Data1 = n;
    return &g_textEffectGuid;
}

FxTextEffectObject *TextEffectGetObject(FxTextEffects *session, const GUID *id)
{
    if (!session)
        return nullptr;
    FxTextEffectObject *o = nullptr;
    return LoadScriptelObject(id, &o) == 0 ? o : nullptr;
}

LONG_PTR TextEffectGetPanel(FxTextEffects *session, FxTextEffectObject *object)
{
    if (!session || !object || !object->ops || !object->ops->GetPanel)
        return 0;
    return object->ops->GetPanel(object);
}

LONG_PTR TextEffectRefresh(FxTextEffects *session, FxTextEffectObject *object)
{
    if (!session || !object || !object->ops || !object->ops->Refresh)
        return 0;
    return object->ops->Refresh(object);
}

int TextEffectKey(FxTextEffects *)
{
    return 1;
}

void ReleaseAuxObject(void *)
{
}

// ---------------------------------------------------------------- realtime renderer

namespace {

FxRealtimeRenderer *Renderer(IUnknown *link)
{
    void *r = nullptr;
    if (!link || FAILED(link->QueryInterface(IID_FxRealtimeRenderer, &r)))
        return nullptr;
    return static_cast<FxRealtimeRenderer *>(r);
}

LONG_PTR Operation(FxRealtimeRenderer *r, int op, void *arg)
{
    auto fn = (op >= 3 && op <= 10) ? r->ops->op[op - 3] : nullptr;
    return fn ? fn(r, arg) : 0;
}

}  // namespace

LONG_PTR RendererCommand(int command, IUnknown *link)
{
    int op;
    switch (command) {
    case 0: op = 4; break;
    case 1: op = 3; break;
    case 2: op = 5; break;
    case 5: op = 6; break;
    case 9: op = 7; break;
    case 11: op = 8; break;
    default: return 0;
    }
    FxRealtimeRenderer *r = Renderer(link);
    if (!r)
        return 1;
    if (command == 0 || command == 5 || command == 9 || command == 11) {
        void *v = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_FxRealtimeValue, &v)) && v) {
            auto *value = static_cast<FxRealtimeValue *>(v);
            if (value->ops->SetValue)
                value->ops->SetValue(value, link);
            value->ops->Release(value);
        }
    }
    LONG_PTR result = Operation(r, op, link);
    r->ops->Release(r);
    return result;
}

LONG_PTR RendererAddPath(IUnknown *link, void *path)
{
    FxRealtimeRenderer *r = Renderer(link);
    if (!r)
        return 0;
    LONG_PTR result = Operation(r, 9, path);
    r->ops->Release(r);
    return result;
}

LONG_PTR RendererRemovePath(IUnknown *link, void *path)
{
    FxRealtimeRenderer *r = Renderer(link);
    if (!r)
        return 0;
    LONG_PTR result = Operation(r, 10, path);
    r->ops->Release(r);
    return result;
}

void ReleaseInterface(IUnknown *object)
{
    if (object)
        object->Release();
}
