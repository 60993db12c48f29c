// Realtime DVE descriptions: the matrix and layered writers, their records,
// and the catalogue of effect types (see fxrtdve.h).
#include "fxrtdve.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "fxmatrix.h"

void (*g_fxRtObjectInfo)(const FxPath *path, FxRtObjectInfo *info) = nullptr;

namespace {

// ---------------------------------------------------------------- identifiers

constexpr GUID MakeGuid(uint32_t d1, uint16_t d2, uint16_t d3, uint16_t d4, uint64_t node)
{
    return GUID{ d1, d2, d3,
                 { uint8_t(d4 >> 8), uint8_t(d4), uint8_t(node >> 40), uint8_t(node >> 32), uint8_t(node >> 24),
                   uint8_t(node >> 16), uint8_t(node >> 8), uint8_t(node) } };
}

// The families the realtime engine's identifiers come from.
constexpr GUID A9(uint32_t d1, uint16_t d2) { return MakeGuid(d1, d2, 0x11CF, 0xA9D1, 0x444553540000ull); }
constexpr GUID K95(uint32_t d1) { return MakeGuid(d1, 0xA754, 0x11CF, 0x9567, 0x0000C5380AECull); }
constexpr GUID D1(uint32_t d1, uint16_t d2, uint16_t d4) { return MakeGuid(d1, d2, 0x11D1, d4, 0x0060083DFC7Cull); }
constexpr GUID LayerSubtype(uint32_t d1) { return MakeGuid(d1, 0x12FC, 0x11CF, 0x97E5, 0x0020AF39E254ull); }

const GUID kMatrixMajor = A9(0x77DEA721, 0x7677);
const GUID kMatrixSubtype = A9(0xE83E5A81, 0x7760);
const GUID kMatrixFormat = A9(0x624FDAC1, 0x7760);
const GUID kLayerMajor = MakeGuid(0x51E4ED90, 0xF9D9, 0x11CE, 0xB95D, 0x0020AF0FFEABull);
const GUID kBlank = MakeGuid(0x21300440, 0x6314, 0x11CF, 0xBF5C, 0x00608C52C6A3ull);

const GUID kGroupIds[7] = { A9(0x0DE198E2, 0xAE7C), A9(0x0DE198E3, 0xAE7C), A9(0x7B340241, 0xC83D),
                            A9(0x7B340242, 0xC83D), D1(0x884126B1, 0x5B7F, 0xADA8),
                            D1(0x6F0C0609, 0x5F63, 0xADAF), D1(0xB84BC0A1, 0x6DB9, 0xADBC) };

const GUID kGeometry[18] = { A9(0x49767801, 0x7B4E), A9(0x49767802, 0x7B4E), A9(0x49767803, 0x7B4E),
                             A9(0x49767804, 0x7B4E), A9(0xA1203FA1, 0x8319), A9(0xA1203FA2, 0x8319),
                             A9(0xA1203FA3, 0x8319), A9(0x5DB19246, 0x86FD), A9(0x5DB19245, 0x86FD),
                             A9(0x5DB19244, 0x86FD), A9(0x5DB19243, 0x86FD), A9(0x5DB19242, 0x86FD),
                             K95(0x3FA1E620),        K95(0xE84BB1C0),        K95(0xE84BB1C2),
                             K95(0xE84BB1C1),        D1(0x37C64F51, 0x61D6, 0xADB7), D1(0x37C64F52, 0x61D6, 0xADB7) };
const GUID kCrop[5] = { K95(0xE84BB1C3), K95(0xE84BB1C4), K95(0xE84BB1C8), K95(0xE84BB1CA),
                        D1(0xF610A831, 0x6527, 0xADB9) };
const GUID kEdgeFirst = A9(0x7FD01EE2, 0xC056);
const GUID kEdgeColour[2] = { A9(0x7FD01EE1, 0xC056), A9(0x6F66D741, 0xBEE6) };
const GUID kEdgeKind[3] = { A9(0x1AF05401, 0xC078), A9(0x1AF05403, 0xC078), A9(0x1AF05402, 0xC078) };
const GUID kTypeCommon[2] = { MakeGuid(0x61D41D6B, 0x4605, 0x11D1, 0x9E81, 0x00A0C914114Eull),
                              A9(0x81688641, 0xC2D4) };
const GUID kOffsetMode = D1(0x884126B2, 0x5B7F, 0xADA8);
const GUID kOffsetColour[3] = { D1(0xB84BC0A2, 0x6DB9, 0xADBC), D1(0xB84BC0A3, 0x6DB9, 0xADBC),
                                D1(0xB84BC0A4, 0x6DB9, 0xADBC) };
const GUID kOffsetPlace[4] = { D1(0x884126B3, 0x5B7F, 0xADA8), D1(0x884126B4, 0x5B7F, 0xADA8),
                               D1(0x884126B5, 0x5B7F, 0xADA8), D1(0x6F0C0601, 0x5F63, 0xADAF) };

// The effect types this library hands to the engine and their own
// parameters: a plain move (the two common parameters only), a page turn
// (sub-kind chosen per keyframe: curl radius, angle, back shade) and a
// ripple (amplitude, wavelength, phase, damping).
const GUID kTypeOwn[] = {
    MakeGuid(0x5A3C2E10, 0x41B7, 0x4E02, 0x8C11, 0x7D2A90E4C301ull),
    MakeGuid(0x5A3C2E11, 0x41B7, 0x4E02, 0x8C11, 0x7D2A90E4C301ull),
    MakeGuid(0x5A3C2E12, 0x41B7, 0x4E02, 0x8C11, 0x7D2A90E4C301ull),
    MakeGuid(0x5A3C2E20, 0x41B7, 0x4E02, 0x8C11, 0x7D2A90E4C301ull),
    MakeGuid(0x5A3C2E21, 0x41B7, 0x4E02, 0x8C11, 0x7D2A90E4C301ull),
    MakeGuid(0x5A3C2E22, 0x41B7, 0x4E02, 0x8C11, 0x7D2A90E4C301ull),
    MakeGuid(0x5A3C2E23, 0x41B7, 0x4E02, 0x8C11, 0x7D2A90E4C301ull),
};
const RtEffectType kTypes[] = {
    { 0, 0, 0, 2 },
    { 1, 1, 0, 5 },
    { 2, 0, 3, 6 },
};

// ---------------------------------------------------------------- helpers

// Offers a format or a sample; an output that wants a reset first gets
// one and a second offer.  Other errors are the engine's to report.
template <typename F>
HRESULT Offer(IRtOutput *out, F call)
{
    if (!out)
        return S_OK;
    HRESULT hr = call();
    if (hr == RT_E_RESET_WANTED && SUCCEEDED(out->Reset()))
        hr = call();
    return hr;
}

void Release(IUnknown **p)
{
    if (*p) {
        (*p)->Release();
        *p = nullptr;
    }
}
template <typename T>
void ReleaseAs(T **p)
{
    IUnknown *u = *p;
    Release(&u);
    *p = nullptr;
}

HRESULT WriteAll(IStream *s, const void *data, ULONG size)
{
    if (!s)
        return E_POINTER;
    ULONG written = 0;
    HRESULT hr = s->Write(data, size, &written);
    if (SUCCEEDED(hr) && written != size)
        hr = STG_E_MEDIUMFULL;
    return hr;
}

const DWORD kCreateMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;   // 0x1012

HRESULT CreateStream(IStorage *stg, const WCHAR *name, IStream **out)
{
    *out = nullptr;
    return stg ? stg->CreateStream(name, kCreateMode, 0, 0, out) : E_POINTER;
}

FxKeyframe *FirstKeyframe(const FxRtJob *job)
{
    return job && job->firstObject ? job->firstObject->head : nullptr;
}

int32_t FirstAttributeMode(const FxRtJob *job)
{
    FxKeyframe *kf = FirstKeyframe(job);
    return kf ? kf->attributeMode : 0;
}

FxRtObjectInfo ObjectInfo(const FxPath *path)
{
    FxRtObjectInfo info = { -1, -1, 0, 0.0 };
    if (path && g_fxRtObjectInfo)
        g_fxRtObjectInfo(path, &info);
    return info;
}

bool Placed(const FxRtJob *job, const FxKeyframe *state)
{
    return state && !(job->positionFlags & RT_EMPTY_FRAME) && job->width != 0 && job->height != 0;
}

void FullFrame(RtWindowRecord *out)
{
    *out = RtWindowRecord{ 0, 0, 0, 0x1000000, 0x1000000 };
}

void SetWindow(RtWindowRecord *out, double l, double t, double w, double h)
{
    if (l < 0) {
        w += l;
        l = 0;
    }
    if (t < 0) {
        h += t;
        t = 0;
    }
    *out = RtWindowRecord{ 0, RtFixed824(l), RtFixed824(t), RtFixed824(w), RtFixed824(h) };
}

int32_t Truncate(double v)
{
    if (!(v > INT32_MIN && v < INT32_MAX))
        return v > 0 ? INT32_MAX : INT32_MIN;
    return int32_t(v);
}

int32_t Round(double v)
{
    return Truncate(v < 0 ? v - 0.5 : v + 0.5);
}

uint32_t Red(uint32_t c) { return c & 0xFF; }
uint32_t Green(uint32_t c) { return (c >> 8) & 0xFF; }
uint32_t Blue(uint32_t c) { return (c >> 16) & 0xFF; }

// ---------------------------------------------------------------- matrix writer

class MatrixWriter : public RtWriter {
public:
    MatrixWriter(uint32_t k, IStorage *root, const CLSID &clsid) : root_(root), clsid_(clsid)
    {
        kind = k;
        if (root_)
            root_->AddRef();
    }
    ~MatrixWriter() override
    {
        ReleaseAs(&header_);
        ReleaseAs(&data_);
        ReleaseAs(&description_);
        ReleaseAs(&root_);
    }

    int BeginDescription(FxRtJob *job) override;
    int WriteFrame(FxRtJob *job) override;
    int RestartAndWrite(FxRtJob *job) override
    {
        sampleIndex_ = startIndex_;
        scale_ = RT_SCALE;
        return WriteFrame(job);
    }
    int Write(FxRtJob *job) override { return RestartAndWrite(job); }
    int EndDescription(FxRtJob *job) override
    {
        ReleaseAs(&header_);
        ReleaseAs(&data_);
        ReleaseAs(&description_);
        if (output_ && !(job && job->hostKind == RT_HOST_KEEPS_OUTPUT))
            output_->Stop();
        return 1;
    }

    IRtOutput *output_ = nullptr;
    RtParamBlock *block_ = nullptr;

private:
    void BuildSample(FxRtJob *job, RtMatrixSample *s);

    IStorage *root_ = nullptr;
    IStorage *description_ = nullptr;
    IStream *header_ = nullptr;
    IStream *data_ = nullptr;
    CLSID clsid_;
    int32_t scale_ = RT_SCALE;
    double viewBox_[4] = { -4.0, 4.0, -3.0, 3.0 };   // x from, x to, y from, y to
    int32_t scale2_ = RT_SCALE;
    int32_t sampleIndex_ = 0, startIndex_ = 0;
    int32_t typeCount_ = RT_TYPE_PARAMS, typeIndex_ = 0;
    int32_t edgeCache_[6] = {};
    int32_t edgeFrame_ = INT_MIN / 2;
};

int MatrixWriter::BeginDescription(FxRtJob *job)
{
    if (!job || (!root_ && !output_ && !block_))
        return 0;

    // The effect type: the first object with a mesh effect.
    typeIndex_ = 0;
    typeCount_ = RT_TYPE_PARAMS;
    for (FxPath *p = job->firstObject; p; p = p->next) {
        FxRtObjectInfo info = ObjectInfo(p);
        if (info.meshType >= 0) {
            typeIndex_ = info.meshType;
            break;
        }
    }
    sampleIndex_ = startIndex_ = 0;
    edgeFrame_ = INT_MIN / 2;

    if (root_) {
        if (FAILED(root_->CreateStorage(L"Wishkit.DVE 1", kCreateMode, 0, 0, &description_)) || !description_)
            return 0;
        description_->SetClass(clsid_);
        if (FAILED(CreateStream(description_, L"FX_HEADER", &header_)) || !header_)
            return 0;
    }

    uint32_t num, den;
    RtFrameRate(job->frameRate, &num, &den);
    RtStreamHeader head = { kMatrixMajor, kMatrixSubtype, 2, 1, num, den, uint32_t(job->frameCount), RT_SAMPLE_SIZE,
                            1 };
    RtMediaType type = { kMatrixMajor, kMatrixSubtype, 1, 0, RT_SAMPLE_SIZE, kMatrixFormat, 0, RT_FORMAT_SIZE, 0 };
    if (header_) {
        WriteAll(header_, &head, sizeof head);
        WriteAll(header_, &type, sizeof type);
    }

    // The catalogue goes into the connection's own block when it holds one.
    void *held = nullptr;
    if (!output_ || FAILED(output_->GetFormatBlock(&held)))
        held = nullptr;
    RtFormatBlock *block = held ? static_cast<RtFormatBlock *>(held)
                                : static_cast<RtFormatBlock *>(CoTaskMemAlloc(sizeof(RtFormatBlock)));
    if (!block)
        return 0;
    BuildFormatBlock(block, typeIndex_, ObjectInfo(job->firstObject));
    if (header_)
        WriteAll(header_, block, block->size);
    Offer(output_, [&] { return output_->SetFormat(&type, block); });
    if (!held)
        CoTaskMemFree(block);

    if (header_) {
        RtTrailer trailer = { 2, uint32_t(job->frameCount) };
        WriteAll(header_, &trailer, sizeof trailer);
        ReleaseAs(&header_);
        CreateStream(description_, L"FX_DATA", &data_);
    }
    return 1;
}

void MatrixWriter::BuildSample(FxRtJob *job, RtMatrixSample *s)
{
    std::memset(s, 0, sizeof *s);
    FxKeyframe *kf = job->state;
    FxRtObjectInfo info = ObjectInfo(job->firstObject);

    // The full view box onto the object's rectangle (row vectors): each
    // step is applied before those already in the matrix, so the last one
    // named here acts first on a point: view units to -0.5..0.5, to 0..1,
    // to the object's size, to its top-left corner.
    double m[16] = { 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1 };
    double w = job->topDx, h = job->leftDy;
    double xExtent = viewBox_[1] - viewBox_[0], yExtent = viewBox_[3] - viewBox_[2];
    double xHalf = viewBox_[1], yHalf = viewBox_[3];
    TranslateMatrix(m, job->x0, job->y0, 0);
    ScaleMatrixAxes(m, w, h, 1);
    TranslateMatrix(m, 0.5, 0.5, 0);
    ScaleMatrixAxes(m, 1 / xExtent, 1 / yExtent, 1);
    ScaleMatrixAxes(m, xHalf, yHalf, 1);
    ScaleMatrixAxes(m, 1 / xHalf, 1 / yHalf, 1);
    static const int kTake[12] = { 0, 1, 3, 4, 5, 7, 8, 9, 11, 12, 13, 15 };
    for (int i = 0; i < 12; ++i)
        s->matrix[i] = Round(m[kTake[i]] * scale_);

    if (!kf) {
        // An empty frame: nothing visible.
        s->visibility[1] = 100;
        s->offset[0] = 1;
        s->offset[7] = 1;
        return;
    }

    // Blur width and height, then the crop margins left, right, top, bottom.
    const double v[6] = { kf->blur[0], kf->blur[1], kf->crop[0], kf->crop[1], kf->crop[2], kf->crop[3] };
    s->crop[0] = Round(v[3] * 100);
    s->crop[1] = Round((100 - v[5]) * 100);
    s->crop[2] = Round(v[2] * 100);
    s->crop[3] = Round((100 - v[4]) * 100);
    s->crop[4] = Round(v[0]);
    s->crop[5] = Round(v[1]);

    s->visibility[0] = Round((100 - kf->fade) * 100.0);
    s->visibility[1] = 100;

    if (job->currentIndex - edgeFrame_ > 6 || edgeFrame_ - job->currentIndex > 6) {
        std::memset(edgeCache_, 0, sizeof edgeCache_);
        edgeCache_[0] = Round(kf->softness * 100);
        if (info.edgeColour >= 0) {
            uint32_t c = uint32_t(info.edgeColour);
            edgeCache_[1] = Round(info.edgeWidth * 100);
            edgeCache_[2] = info.edgeKind;
            edgeCache_[3] = int32_t(Red(c));
            edgeCache_[4] = int32_t(Green(c) * 125 * 80 / 256);
            edgeCache_[5] = int32_t(Blue(c) * 100);
        }
        edgeFrame_ = job->currentIndex;
    }
    std::memcpy(s->edge, edgeCache_, sizeof edgeCache_);

    const RtEffectType *type = RtEffectTypeAt(typeIndex_);
    if (type) {
        s->typeParams[0] = type->variable ? kf->warpNumber : type->subKind;
        int params = std::min<int>(std::min(type->count, typeCount_), 16 + 1);
        for (int i = 1; i < params; ++i)
            s->typeParams[i] = Round(kf->warpParams[i - 1]);
    }

    bool still = kf->shadowRect[0] == 0 && kf->shadowRect[1] == 0;
    s->offset[0] = still ? 1 : 4;
    s->offset[1] = int32_t(Red(kf->shadowColour));
    s->offset[2] = int32_t(Green(kf->shadowColour));
    s->offset[3] = int32_t(Blue(kf->shadowColour));
    s->offset[4] = Round(kf->shadowRect[0] * 10);
    s->offset[5] = Round(-kf->shadowRect[1]);
    s->offset[6] = Round((100 - kf->shadowFade) * 100);
    s->offset[7] = 1;
}

int MatrixWriter::WriteFrame(FxRtJob *job)
{
    if (!job)
        return 0;
    bool empty = (job->positionFlags & RT_EMPTY_FRAME) != 0;
    if (!empty && !job->state)
        return 0;
    if (!empty && job->objectNumber != 1)
        return 1;

    RtMatrixSample sample;
    if (empty) {
        FxRtJob blank = *job;
        blank.state = nullptr;
        blank.x0 = viewBox_[0];
        blank.y0 = viewBox_[2];
        blank.topDx = viewBox_[1] - viewBox_[0];
        blank.leftDy = viewBox_[3] - viewBox_[2];
        BuildSample(&blank, &sample);
    } else {
        BuildSample(job, &sample);
    }

    HRESULT hr = S_OK;
    if (data_)
        hr = WriteAll(data_, &sample, sizeof sample);
    if (block_ && block_->buffer) {
        uint64_t at = uint64_t(sampleIndex_) * RT_SAMPLE_SIZE;
        if (sampleIndex_ >= 0 && at + RT_SAMPLE_SIZE <= block_->capacity) {
            std::memcpy(block_->buffer + at, &sample, sizeof sample);
            block_->used = std::max<uint32_t>(block_->used, uint32_t(at + RT_SAMPLE_SIZE));
        }
    }
    ++sampleIndex_;
    Offer(output_, [&] { return output_->Deliver(&sample, sizeof sample); });
    return SUCCEEDED(hr) ? 1 : 0;
}

// ---------------------------------------------------------------- layered writer

enum { L_DVE, L_UNUSED, L_MASK, L_CHROMA, L_PAINT, L_PROCAMP, L_TBC, L_FADER, L_COUNT };

struct LayerInfo {
    const WCHAR *name;
    uint32_t subtype;
    uint32_t recordSize;
};
const LayerInfo kLayers[L_COUNT] = {
    { L"2D-DVE", 0x29E9AEA4, 48 }, { nullptr, 0, 0 },     { L"Mask", 0x29E9AEA2, 20 }, { L"ChromaMask", 0x29E9AEA2, 20 },
    { L"PAINT", 0x29E9AEA5, 16 },  { L"Procamp", 0x29E9AEA6, 20 }, { L"TBC", 0x29E9AEA7, 8 }, { L"Fader", 0x29E9AEA9, 8 },
};

class LayeredWriter : public RtWriter {
public:
    LayeredWriter(IStorage *root, const CLSID &clsid) : root_(root), clsid_(clsid)
    {
        kind = RT_LAYERED;
        if (root_)
            root_->AddRef();
    }
    ~LayeredWriter() override
    {
        ReleaseAll();
        ReleaseAs(&root_);
    }

    int BeginDescription(FxRtJob *job) override;
    int WriteFrame(FxRtJob *job) override;
    int RestartAndWrite(FxRtJob *job) override { return WriteFrame(job); }
    int Write(FxRtJob *job) override { return RestartAndWrite(job); }
    int EndDescription(FxRtJob *) override
    {
        ReleaseAll();
        return 1;
    }

    IRtOutput *outputs_[L_COUNT] = {};

private:
    void ReleaseAll()
    {
        for (int i = 0; i < L_COUNT; ++i) {
            ReleaseAs(&data_[i]);
            ReleaseAs(&storage_[i]);
        }
        ReleaseAs(&header_);
    }

    IStorage *root_ = nullptr;
    IStorage *storage_[L_COUNT] = {};
    IStream *data_[L_COUNT] = {};
    IStream *header_ = nullptr;
    CLSID clsid_;
    int32_t state_[4] = {};
};

int LayeredWriter::BeginDescription(FxRtJob *job)
{
    if (!job)
        return 0;
    state_[0] = state_[1] = 0;
    state_[2] = state_[3] = 0x1000000;
    if (!root_)
        return 0;
    ReleaseAll();

    uint32_t num, den;
    RtFrameRate(job->frameRate, &num, &den);
    bool fader = (FirstAttributeMode(job) & RT_FADER_FLAG) != 0;
    for (int i = 0; i < L_COUNT; ++i) {
        if (!kLayers[i].name || (i == L_FADER && !fader))
            continue;
        // A layer whose storage cannot be made is left out; the others go on.
        if (FAILED(root_->CreateStorage(kLayers[i].name, kCreateMode, 0, 0, &storage_[i])) || !storage_[i]) {
            storage_[i] = nullptr;
            continue;
        }
        storage_[i]->SetClass(clsid_);
        if (SUCCEEDED(CreateStream(storage_[i], L"FX_HEADER", &header_)) && header_) {
            RtStreamHeader head = { kLayerMajor, LayerSubtype(kLayers[i].subtype), 1, 1, num, den,
                                    uint32_t(job->frameCount), kLayers[i].recordSize, 1 };
            RtTrailer trailer = { 2, uint32_t(job->frameCount) };
            WriteAll(header_, &head, sizeof head);
            WriteAll(header_, &trailer, sizeof trailer);
        }
        ReleaseAs(&header_);
    }
    for (int i = L_COUNT - 1; i > L_DVE; --i)
        if (storage_[i])
            CreateStream(storage_[i], L"FX_DATA", &data_[i]);
    return storage_[L_DVE] && SUCCEEDED(CreateStream(storage_[L_DVE], L"FX_DATA", &data_[L_DVE])) && data_[L_DVE];
}

int LayeredWriter::WriteFrame(FxRtJob *job)
{
    if (!job)
        return 0;
    bool empty = (job->positionFlags & RT_EMPTY_FRAME) != 0;
    if (!empty && !job->state)
        return 0;
    if (!empty && job->objectNumber != 1)
        return 1;

    FxKeyframe *state = empty ? nullptr : job->state;
    int32_t mode = FirstAttributeMode(job);
    RtDveRecord dve;
    RtWindowRecord mask, chroma;
    RtPaintRecord paint;
    RtProcampRecord procamp;
    RtPairRecord tbc, fader;
    BuildDveRecord(job, state, mode, &dve);
    BuildMaskRecord(job, state, mode, &mask);
    BuildChromaMaskRecord(job, state, mode, &chroma);
    BuildPaintRecord(state, &paint);
    BuildProcampRecord(state, &procamp);
    BuildTbcRecord(state, &tbc);
    BuildFaderRecord(state, &fader);
    const void *records[L_COUNT] = { &dve, nullptr, &mask, &chroma, &paint, &procamp, &tbc, &fader };

    HRESULT last = S_OK;
    for (int i = 0; i < L_COUNT; ++i) {
        if (!records[i])
            continue;
        uint32_t size = kLayers[i].recordSize;
        if (data_[i])
            last = WriteAll(data_[i], records[i], size);
        IRtOutput *out = outputs_[i];
        Offer(out, [&] { return out->Deliver(records[i], size); });
    }
    return SUCCEEDED(last) ? 1 : 0;
}

// ---------------------------------------------------------------- parameter list

// Over a caller's entry list: the writer keeps its own copy of the
// entries' data pointers; the records themselves are filled by the effect
// model's parameter routine, so a frame only has to be accepted here.
class ParamListWriter : public RtWriter {
public:
    explicit ParamListWriter(RtParamBlock *block)
    {
        kind = RT_PARAM_LIST;
        count_ = block && block->entries ? int(block->entryCount) : 0;
        if (count_ > 0) {
            data_ = new (std::nothrow) void *[count_];
            if (!data_)
                count_ = 0;
            for (int i = 0; i < count_; ++i)
                data_[i] = block->entries[i].data;
        }
    }
    ~ParamListWriter() override { delete[] data_; }
    int BeginDescription(FxRtJob *job) override { return job ? 1 : 0; }
    int WriteFrame(FxRtJob *job) override { return job ? 1 : 0; }
    int RestartAndWrite(FxRtJob *job) override { return WriteFrame(job); }
    int Write(FxRtJob *job) override { return RestartAndWrite(job); }
    int EndDescription(FxRtJob *) override { return 1; }

private:
    void **data_ = nullptr;
    int count_ = 0;
};

void PrepareJob(FxRtJob *job, uint32_t kind)
{
    if (!job)
        return;
    if (kind == RT_LAYERED) {
        job->originMode = 5;
    } else {
        job->width = 8.0;
        job->height = 6.0;
        job->originMode = 0;
    }
}

} // namespace

// ---------------------------------------------------------------- public

void RtFrameRate(int fps, uint32_t *numerator, uint32_t *denominator)
{
    uint32_t n = 1, d = uint32_t(fps);
    if (fps == 30 || fps == 60) {
        n = 1001;
        d = 60000;
    } else if (fps == 25) {
        d = 50;
    }
    if (numerator)
        *numerator = n;
    if (denominator)
        *denominator = d;
}

uint32_t RtPackColour(uint32_t rgb, double opacity)
{
    int r = int(Red(rgb)), g = int(Green(rgb)), b = int(Blue(rgb));
    int y = (((16895 * r + 33023 * g + 6403 * b + 128) >> 8) + 4224) >> 8;
    int cb = (((28927 * b - 9725 * r - 19202 * g + 128) >> 8) + 32896) >> 8;
    int cr = (((28927 * r - 24320 * g - 4607 * b + 128) >> 8) + 32896) >> 8;
    cb = std::min(240, std::max(16, cb));
    cr = std::min(240, std::max(16, cr));
    uint32_t a = uint32_t(Round(opacity * 255)) & 0xFF;
    return a << 24 | uint32_t(y & 0xFF) << 16 | uint32_t(cb) << 8 | uint32_t(cr);
}

int32_t RtFixed824(double v)
{
    return Truncate(v * 0x1000000 + 0.5);
}

int32_t RtFixed1616(double v)
{
    return Truncate(v * 65536 + 0.5);
}

void BuildDveRecord(const FxRtJob *job, const FxKeyframe *s, int32_t mode, RtDveRecord *out)
{
    if (!Placed(job, s)) {
        *out = RtDveRecord{ 0, 0, 0, 0x1000000, 0x1000000, 0, 0, 0, { 0, 0, 0, 0 } };
        return;
    }
    double W = job->width, H = job->height, dx = job->topDx, dy = job->leftDy;
    double x = 0, y = 0, w = 1, h = 1;
    if (s->cropMode == 0) {
        x = job->x0 / W;
        y = job->y0 / H;
        w = dx / W;
        h = dy / H;
        if (!(mode & RT_CHROMA_MASK_FLAG) && w != 0 && h != 0) {
            x -= s->crop[0] / 100 * (1 - w);
            y -= s->crop[2] / 100 * (1 - h);
        }
    }
    out->zero = 0;
    out->x = RtFixed824(x);
    out->y = RtFixed824(y);
    out->w = RtFixed824(w);
    out->h = RtFixed824(h);
    out->borderWidth = Truncate(s->cropMode != 0 ? s->borderWidth * dx / W : s->borderWidth);
    out->borderColour = RtPackColour(s->borderColour, 1 - s->fade / 100.0);
    out->shadowColour = RtPackColour(s->shadowColour, 1 - s->shadowFade / 100.0);
    auto clamp = [](double v, double lo, double hi) { return std::min(hi, std::max(lo, v)); };
    out->shadow[0] = RtFixed1616(clamp(s->shadowRect[0] * dx / 100, -2 * W, 2 * W));
    out->shadow[1] = RtFixed1616(clamp(s->shadowRect[1] * dy / 100, -2 * H, 2 * H));
    out->shadow[2] = RtFixed1616(clamp(s->shadowRect[2] * dx / 100, -W, 2 * W));
    out->shadow[3] = RtFixed1616(clamp(s->shadowRect[3] * dy / 100, -H, 2 * H));
}

void BuildMaskRecord(const FxRtJob *job, const FxKeyframe *s, int32_t mode, RtWindowRecord *out)
{
    if (!Placed(job, s)) {
        FullFrame(out);
    } else if (s->cropMode != 0) {
        SetWindow(out, job->x0 / job->width, job->y0 / job->height, job->topDx / job->width,
                  job->leftDy / job->height);
    } else if (!(mode & RT_CHROMA_MASK_FLAG)) {
        SetWindow(out, s->crop[0] / 100, s->crop[2] / 100, (100 - s->crop[0] - s->crop[1]) / 100,
                  (100 - s->crop[2] - s->crop[3]) / 100);
    } else {
        FullFrame(out);
    }
}

void BuildChromaMaskRecord(const FxRtJob *job, const FxKeyframe *s, int32_t mode, RtWindowRecord *out)
{
    if (!Placed(job, s) || !(mode & RT_CHROMA_MASK_FLAG)) {
        FullFrame(out);
        return;
    }
    double W = job->width, H = job->height;
    double l = job->x0 / W, t = job->y0 / H, w = job->topDx / W, h = job->leftDy / H;
    if (s->cropMode == 0) {
        l += w * s->crop[0] / 100;
        t += h * s->crop[2] / 100;
        w -= w * (s->crop[0] + s->crop[1]) / 100;
        h -= h * (s->crop[2] + s->crop[3]) / 100;
    }
    l = std::ceil(l * W) / W;
    t = std::ceil(t * H) / H;
    w = std::floor(w * W) / W;
    h = std::floor(h * H) / H;
    SetWindow(out, l, t, w, h);
}

void BuildPaintRecord(const FxKeyframe *s, RtPaintRecord *out)
{
    *out = RtPaintRecord{};
    if (!s)
        return;
    out->monoFlags = s->monoFlags & 3;
    out->monoColour = (s->monoColour & 0x80000000u) ? 0 : RtPackColour(s->monoColour & 0xFFFFFF, 1.0);
    out->posterize = uint16_t(s->posterize & 7);
    out->mosaicWidth = uint16_t((s->mosaic[0] + 2) / 4 * 4);
    out->mosaicHeight = uint16_t((s->mosaic[1] + 1) / 2 * 2);
}

void BuildProcampRecord(FxKeyframe *s, RtProcampRecord *out)
{
    if (!s) {
        *out = RtProcampRecord{ 0, 0x10000, 0, 0x10000, 0 };
        return;
    }
    static const double lo[4] = { 0, -1, 0, -180 }, hi[4] = { 2, 1, 2, 180 };
    for (int i = 0; i < 4; ++i)
        s->procamp[i] = std::min(hi[i], std::max(lo[i], s->procamp[i]));
    *out = RtProcampRecord{ 0, RtFixed1616(s->procamp[0]), RtFixed1616(s->procamp[1]), RtFixed1616(s->procamp[2]),
                            RtFixed1616(s->procamp[3]) };
}

void BuildTbcRecord(FxKeyframe *s, RtPairRecord *out)
{
    if (!s) {
        *out = RtPairRecord{ 0, 1 };
        return;
    }
    s->strobeValue = std::min(255, std::max(0, s->strobeValue));
    *out = RtPairRecord{ int32_t(s->strobeFlags & 3), s->strobeValue };
}

void BuildFaderRecord(const FxKeyframe *s, RtPairRecord *out)
{
    *out = RtPairRecord{ 0, s ? RtFixed824((100 - s->fade) / 100.0) : 0 };
}

const RtEffectType *RtEffectTypeAt(int index)
{
    return index >= 0 && index < int(sizeof kTypes / sizeof kTypes[0]) ? &kTypes[index] : nullptr;
}

void BuildFormatBlock(RtFormatBlock *b, int typeIndex, const FxRtObjectInfo &first)
{
    std::memset(b, 0, sizeof *b);
    b->size = RT_FORMAT_SIZE;
    b->one = 1;
    b->paramCount = RT_TYPE_PARAMS + 37;
    GUID *p = b->params;
    for (const GUID &g : kGeometry)
        *p++ = g;
    for (const GUID &g : kCrop)
        *p++ = g;
    *p++ = kEdgeFirst;
    if (first.edgeColour >= 0) {
        *p++ = kEdgeColour[0];
        *p++ = kEdgeColour[1];
        for (const GUID &g : kEdgeKind)
            *p++ = first.edgeKind < 9 ? g : kBlank;
    } else {
        for (int i = 0; i < 5; ++i)
            *p++ = kBlank;
    }
    GUID *typeStart = p;
    *p++ = kTypeCommon[0];
    *p++ = kTypeCommon[1];
    if (const RtEffectType *t = RtEffectTypeAt(typeIndex))
        for (int i = 0; i < t->count - 2 && i < RT_TYPE_PARAMS - 2; ++i)
            *p++ = kTypeOwn[t->first + i];
    while (p < typeStart + RT_TYPE_PARAMS)
        *p++ = kBlank;
    *p++ = kOffsetMode;
    for (const GUID &g : kOffsetColour)
        *p++ = g;
    for (const GUID &g : kOffsetPlace)
        *p++ = g;

    b->groupCount = 7;
    const uint32_t N = RT_TYPE_PARAMS;
    const uint32_t counts[7] = { 18, 5, 6, N, 1, 3, 4 };
    uint32_t firstIndex = 0;
    for (int i = 0; i < 7; ++i) {
        b->groups[i] = RtParamGroup{ kGroupIds[i], 0, counts[i], firstIndex, 0, 0 };
        firstIndex += counts[i];
    }
}

RtWriter *CreateRealtimeParam(uint32_t kind, IStorage *root, const CLSID &clsid, FxRtJob *job)
{
    RtWriter *w = nullptr;
    if (kind == RT_LAYERED)
        w = new (std::nothrow) LayeredWriter(root, clsid);
    else if (kind == RT_MATRIX)
        w = new (std::nothrow) MatrixWriter(RT_MATRIX, root, clsid);
    if (w)
        PrepareJob(job, kind);
    return w;
}

RtWriter *CreateRealtimeParamEx(uint32_t kind, RtParamBlock *block, FxRtJob *job)
{
    if (!block)
        return nullptr;
    if (kind == RT_MATRIX_MEMORY) {
        MatrixWriter *w = new (std::nothrow) MatrixWriter(RT_MATRIX_MEMORY, nullptr, CLSID_NULL);
        if (w) {
            w->block_ = block;
            PrepareJob(job, RT_MATRIX);
        }
        return w;
    }
    if (kind == RT_PARAM_LIST)
        return new (std::nothrow) ParamListWriter(block);
    return nullptr;
}

RtWriter *CreateRealtimeParamFromList(const RtOutputItem *list, FxRtJob *job, uint32_t kind, IStorage *root,
                                      const CLSID &clsid, RtParamBlock *block)
{
    if (kind == RT_MATRIX || kind == RT_MATRIX_MEMORY) {
        MatrixWriter *w = kind == RT_MATRIX ? static_cast<MatrixWriter *>(CreateRealtimeParam(kind, root, clsid, job))
                                            : static_cast<MatrixWriter *>(CreateRealtimeParamEx(kind, block, job));
        if (w)
            for (const RtOutputItem *it = list; it && it->connection; ++it)
                if (IsEqualGUID(it->subtype, kMatrixSubtype)) {
                    w->output_ = it->connection;
                    break;
                }
        return w;
    }
    if (kind != RT_LAYERED)
        return nullptr;
    LayeredWriter *w = static_cast<LayeredWriter *>(CreateRealtimeParam(kind, root, clsid, job));
    if (!w)
        return nullptr;
    bool fader = (FirstAttributeMode(job) & RT_FADER_FLAG) != 0;
    for (const RtOutputItem *it = list; it && it->connection; ++it) {
        for (int i = 0; i < L_COUNT; ++i) {
            const GUID subtype = LayerSubtype(kLayers[i].subtype);
            if (!kLayers[i].name || !IsEqualGUID(it->subtype, subtype) || w->outputs_[i])
                continue;
            if (i == L_FADER && !fader)
                continue;
            // Mask and ChromaMask share a subtype: the first item goes to
            // Mask, the second to ChromaMask.
            w->outputs_[i] = it->connection;
            break;
        }
    }
    return w;
}

int64_t GetRealtimeParamSize(RtParamBlock *block, int frames, uint32_t kind)
{
    if (frames < 0)
        return 0;
    if (kind == RT_MATRIX_MEMORY) {
        if (block)
            block->formatSize = RT_FORMAT_SIZE;
        return int64_t(frames) * RT_SAMPLE_SIZE;
    }
    if (kind == RT_PARAM_LIST) {
        int64_t per = 0;
        if (block && block->entries)
            for (uint32_t i = 0; i < block->entryCount; ++i) {
                const RtParamEntry &e = block->entries[i];
                per += e.size ? e.size : (e.type == 0 ? 72 : 104);
            }
        return int64_t(frames) * per;
    }
    return 0;
}

void DeleteRealtimeParam(RtWriter *writer)
{
    delete writer;
}
