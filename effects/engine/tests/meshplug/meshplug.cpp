// Mesh-effect plug-ins of the registry tests.  One source, built as four
// libraries: MESHPLUG_SET picks the effects offered (1: GUIDs 1 and 2,
// 2: GUIDs 2 and 3, 3: GUID 4; GUID n is {n-4d45-5348-8000-000000000042}); a library built without MESHPLUG_ENUM or
// MESHPLUG_FACTORY lacks that export (see the .spec files).  Each effect
// has the two sizes and one "Amount" parameter and builds a one-face mesh.
#include <windows.h>

#include <cstring>

#include "fxmeshreg.h"

namespace {

struct Offer {
    unsigned number;
    const char *name;
    const char *text;
    uint32_t value;
};

#if MESHPLUG_SET == 1
const Offer kOffers[] = { { 1, "Ripple", "waves from the centre", 11 }, { 2, "Twist (first)", "a turn", 12 } };
#elif MESHPLUG_SET == 2
const Offer kOffers[] = { { 2, "Twist (second)", "a turn", 22 }, { 3, "Fold", "a fold", 23 } };
#else
const Offer kOffers[] = { { 4, "Orphan", "never offered", 34 } };
#endif

GUID MakeGuid(unsigned number)
{
    GUID g = { number, 0x4d45, 0x5348, { 0x80, 0, 0, 0, 0, 0, 0, 0x42 } };
    return g;
}

class Effect : public FxMeshEffect {
public:
    explicit Effect(unsigned n) : number_(n) {}
    int ParamCount(int *count) override
    {
        *count = 3;
        return 0;
    }
    int ParamDescriptor(int index, FxMeshParamDesc *out) override
    {
        static const char *const names[] = { "Width", "Height", "Amount" };
        if (index < 0 || index > 2 || !out)
            return 1;
        memset(out, 0, sizeof *out);
        out->type = 5;
        strcpy(out->name, names[index]);
        out->defaultValue = index == 2 ? 0.5 : 1.0;
        return 0;
    }
    int SetParam(int index, const void *value) override
    {
        if (index < 0 || index > 2 || !value)
            return 1;
        params_[index] = *static_cast<const double *>(value);
        return 0;
    }
    int BuildMesh(ByteBuffer *buffer) override
    {
        (void)buffer;
        return 1;   // the registry tests never draw
    }
    int RealtimeCost(int *first, int *second) override
    {
        *first = int(number_);
        *second = 0;
        return 0;
    }
    int PresetCount(int *count) override
    {
        *count = 0;
        return 0;
    }
    int PresetValues(void **, int) override { return 1; }

private:
    unsigned number_;
    double params_[3] = {};
};

class Factory : public MeshFactory {
public:
    unsigned number = 0;
    FxMeshEffect *CreateEffect() override { return new Effect(number); }
};

Factory g_factories[sizeof kOffers / sizeof kOffers[0]];

} // namespace

extern "C" int MeshPlugEnumerate(void *context, MeshEnumInfoCallback callback)
{
    for (const Offer &o : kOffers) {
        MeshEffectInfo info;
        memset(&info, 0, sizeof info);
        info.id = MakeGuid(o.number);
        strcpy(info.name, o.name);
        strcpy(info.text, o.text);
        info.value = o.value;
        if (!callback(context, &info))
            break;
    }
    return 0;
}

extern "C" MeshFactory *MeshPlugGetObject(const GUID *id)
{
    for (size_t i = 0; i < sizeof kOffers / sizeof kOffers[0]; ++i) {
        GUID g = MakeGuid(kOffers[i].number);
        if (id && IsEqualGUID(g, *id)) {
            g_factories[i].number = kOffers[i].number;
            return &g_factories[i];
        }
    }
    return nullptr;
}
