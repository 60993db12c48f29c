// A mesh-effect plug-in of the editor's tests that really builds meshes:
// "Square Wave" ({5-4d45-5348-8000-000000000042}), parameters Width,
// Height and Amount (doubles), two presets (Amount 0.08 and 0.3).  Its mesh
// (kind 6) is one square quad of half-size Amount facing the viewer.
#include <windows.h>

#include <cstring>

#include "fxmeshreg.h"
#include "fxpicon.h"

namespace {

const GUID kId = {5, 0x4d45, 0x5348, {0x80, 0, 0, 0, 0, 0, 0, 0x42}};

class Square : public FxMeshEffect {
public:
    int ParamCount(int *count) override
    {
        *count = 3;
        return 0;
    }
    int ParamDescriptor(int index, FxMeshParamDesc *out) override
    {
        static const char *const names[] = {"Width", "Height", "Amount"};
        if (index < 0 || index > 2 || !out) return 1;
        memset(out, 0, sizeof *out);
        out->type = 5;
        strcpy(out->name, names[index]);
        out->defaultValue = index == 2 ? 0.2 : 1.0;
        return 0;
    }
    int SetParam(int index, const void *value) override
    {
        if (index < 0 || index > 2 || !value) return 1;
        params_[index] = *static_cast<const double *>(value);
        return 0;
    }
    int BuildMesh(ByteBuffer *buffer) override
    {
        const float h = float(params_[2]);
        const float xyz[4][3] = {{-h, -h, 0}, {h, -h, 0}, {h, h, 0}, {-h, h, 0}};
        const float normal[3] = {0, 0, 1};
        const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        int32_t face[FX_MESH_FACE_WORDS] = {};
        for (int c = 0; c < 4; ++c) {
            face[c * FX_FACE_CORNER_WORDS] = c;
            face[c * FX_FACE_CORNER_WORDS + 1] = 0;
            face[c * FX_FACE_CORNER_WORDS + 2] = c;
        }
        face[FX_FACE_COUNT_WORD] = 4;
        FxMeshHeader head = {6, {0, 0}, 4, 1, 4, 0, 40};
        const uint32_t size = sizeof head + sizeof xyz + sizeof normal + sizeof uv + sizeof face;
        if (!buffer->Reserve(size)) return 1;
        memcpy(buffer->Take(sizeof head), &head, sizeof head);
        memcpy(buffer->Take(sizeof xyz), xyz, sizeof xyz);
        memcpy(buffer->Take(sizeof normal), normal, sizeof normal);
        memcpy(buffer->Take(sizeof uv), uv, sizeof uv);
        memcpy(buffer->Take(sizeof face), face, sizeof face);
        return 0;
    }
    int RealtimeCost(int *first, int *second) override
    {
        *first = 40;
        *second = 0;
        return 0;
    }
    int PresetCount(int *count) override
    {
        *count = 2;
        return 0;
    }
    int PresetValues(void **values, int preset) override
    {
        static double sizes[2] = {1.0, 1.0};
        static double amounts[2] = {0.08, 0.3};
        if (preset < 0 || preset > 1) return 1;
        values[0] = &sizes[0];
        values[1] = &sizes[1];
        values[2] = &amounts[preset];
        return 0;
    }

private:
    double params_[3] = {1.0, 1.0, 0.2};
};

class Factory : public MeshFactory {
public:
    FxMeshEffect *CreateEffect() override { return new Square(); }
};
Factory g_factory;

}  // namespace

extern "C" int PicturePlugEnumerate(void *context, MeshEnumInfoCallback callback)
{
    MeshEffectInfo info;
    memset(&info, 0, sizeof info);
    info.id = kId;
    strcpy(info.name, "Square Wave");
    strcpy(info.text, "a square that grows");
    info.value = 1;
    callback(context, &info);
    return 0;
}

extern "C" MeshFactory *PicturePlugGetObject(const GUID *id)
{
    return id && IsEqualGUID(*id, kId) ? &g_factory : nullptr;
}
