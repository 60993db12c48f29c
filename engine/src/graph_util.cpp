#include "graph_util.h"
#include "engine.h"
#include "decoder.h"
#include <uuids.h>
#include <mmreg.h>
#include <msacm.h>
#include <qedit.h>

const GUID CLSID_AudioSynth_Corv =
    {0x79a98de0, 0xbc00, 0x11ce, {0xac, 0x2e, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID IID_AudioSynthParams_Corv =
    {0x00487a78, 0xd875, 0x44b0, {0xad, 0xbb, 0xde, 0xca, 0x9c, 0xdb, 0x51, 0xfc}};

static bool is_blank(WCHAR c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

static bool name_matches(const WCHAR *name, const WCHAR *text, bool contains)
{
    while (*name && is_blank(*name)) name++;
    int len = lstrlenW(name);
    while (len > 0 && is_blank(name[len - 1])) len--;
    int tlen = lstrlenW(text);
    if (!contains) return len == tlen && !memcmp(name, text, tlen * sizeof(WCHAR));
    for (int i = 0; i + tlen <= len; i++)
        if (!memcmp(name + i, text, tlen * sizeof(WCHAR))) return true;
    return false;
}

IBaseFilter *FindFilterByName(IGraphBuilder *graph, const WCHAR *text, int mode)
{
    if (!graph || !text) return nullptr;
    IEnumFilters *en = nullptr;
    if (FAILED(graph->EnumFilters(&en)) || !en) return nullptr;
    IBaseFilter *f = nullptr, *found = nullptr;
    bool takeNext = false;
    while (en->Next(1, &f, nullptr) == S_OK) {
        if (takeNext) { found = f; break; }
        FILTER_INFO info = {};
        bool match = false;
        if (SUCCEEDED(f->QueryFilterInfo(&info))) {
            match = name_matches(info.achName, text, mode != 0);
            if (info.pGraph) info.pGraph->Release();
        }
        if (match && mode != 2) { found = f; break; }
        if (match) takeNext = true;
        f->Release();
    }
    en->Release();
    return found;
}

static IPin *pin_n(IBaseFilter *filter, PIN_DIRECTION want, int n)
{
    if (!filter) return nullptr;
    IEnumPins *en = nullptr;
    if (FAILED(filter->EnumPins(&en)) || !en) return nullptr;
    IPin *p = nullptr, *found = nullptr;
    while (en->Next(1, &p, nullptr) == S_OK) {
        PIN_DIRECTION dir;
        if (SUCCEEDED(p->QueryDirection(&dir)) && dir == want && n-- == 0) { found = p; break; }
        p->Release();
    }
    en->Release();
    return found;
}

IPin *GetInputPin(IBaseFilter *filter, int n) { return pin_n(filter, PINDIR_INPUT, n); }
IPin *GetOutputPin(IBaseFilter *filter, int n) { return pin_n(filter, PINDIR_OUTPUT, n); }

IBaseFilter *UpstreamFilter(IPin *pin)
{
    if (!pin) return nullptr;
    IPin *peer = nullptr;
    if (FAILED(pin->ConnectedTo(&peer)) || !peer) return nullptr;
    PIN_INFO info = {};
    HRESULT hr = peer->QueryPinInfo(&info);
    peer->Release();
    return SUCCEEDED(hr) ? info.pFilter : nullptr;
}

HRESULT RenderAllOutputs(IGraphBuilder *graph, IBaseFilter *filter)
{
    IEnumPins *en = nullptr;
    HRESULT hr = filter->EnumPins(&en);
    if (FAILED(hr)) return hr;
    IPin *p = nullptr;
    HRESULT result = S_OK;
    bool rendered = false;
    while (en->Next(1, &p, nullptr) == S_OK) {
        IPin *peer = nullptr;
        HRESULT c = p->ConnectedTo(&peer);
        if (peer) peer->Release();
        PIN_DIRECTION dir;
        if (c == VFW_E_NOT_CONNECTED && SUCCEEDED(p->QueryDirection(&dir)) && dir == PINDIR_OUTPUT) {
            HRESULT r = graph->Render(p);
            if (SUCCEEDED(r)) rendered = true; else result = r;
        }
        p->Release();
    }
    en->Release();
    return rendered ? S_OK : result;
}

HRESULT SetAcmOutputFormat(IBaseFilter *acm)
{
    IPin *out = GetOutputPin(acm, 0);
    if (!out) return E_FAIL;
    IAMStreamConfig *cfg = nullptr;
    HRESULT hr = out->QueryInterface(IID_IAMStreamConfig, (void **)&cfg);
    out->Release();
    if (FAILED(hr)) return hr;

    /* The format block is at least as large as the ACM's largest format and
     * as the current format plus 18 bytes. */
    DWORD maxSize = 0;
    acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &maxSize);
    AM_MEDIA_TYPE *cur = nullptr;
    DWORD size = maxSize;
    if (SUCCEEDED(cfg->GetFormat(&cur)) && cur) {
        if (cur->cbFormat + 18 > size) size = cur->cbFormat + 18;
    }
    if (size < sizeof(WAVEFORMATEX)) size = sizeof(WAVEFORMATEX);
    BYTE *block = static_cast<BYTE *>(CoTaskMemAlloc(size));
    if (!block) { EngineFreeMediaType(cur); cfg->Release(); return E_OUTOFMEMORY; }
    memset(block, 0, size);
    auto *wf = reinterpret_cast<WAVEFORMATEX *>(block);
    wf->wFormatTag = WAVE_FORMAT_PCM;
    wf->nChannels = 2;
    wf->nSamplesPerSec = 22050;
    wf->nAvgBytesPerSec = 88200;
    wf->nBlockAlign = 4;
    wf->wBitsPerSample = 16;
    wf->cbSize = 0;

    AM_MEDIA_TYPE mt = {};
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = MEDIASUBTYPE_PCM;
    mt.bFixedSizeSamples = TRUE;
    mt.lSampleSize = 4;
    mt.formattype = FORMAT_WaveFormatEx;
    mt.cbFormat = sizeof(WAVEFORMATEX);
    mt.pbFormat = block;
    hr = cfg->SetFormat(&mt);
    CoTaskMemFree(block);
    EngineFreeMediaType(cur);
    cfg->Release();
    return hr;
}

HRESULT BuildSilentAudio(IGraphBuilder *graph, IBaseFilter *acm, IBaseFilter *nullRenderer)
{
    IBaseFilter *synth = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_AudioSynth_Corv, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IBaseFilter, (void **)&synth);
    if (FAILED(hr)) { EngineWarning("Audio Synth. Creation Error !!"); return hr; }
    IAudioSynthParams *params = nullptr;
    if (SUCCEEDED(synth->QueryInterface(IID_AudioSynthParams_Corv, (void **)&params)) && params) {
        params->SetAmplitude(0);
        params->SetBitsPerSample(16);
        params->SetChannels(2);
        params->SetFrequency(440);
        params->SetOutputFormat(0);   /* PCM */
        params->SetSamplesPerSec(22050);
        params->SetWaveform(0);       /* sine */
        params->Release();
    }
    hr = graph->AddFilter(synth, L"Audio Synthesizer");
    if (FAILED(hr)) { synth->Release(); EngineWarning("Audio Synth. Adding Error !!"); return hr; }
    hr = graph->AddFilter(acm, L"ACM Wrapper");
    if (FAILED(hr)) { synth->Release(); EngineWarning("ACM Wrapper AddFilter Error !!"); return hr; }
    IPin *so = GetOutputPin(synth, 0), *ai = GetInputPin(acm, 0);
    hr = (so && ai) ? graph->Connect(so, ai) : E_FAIL;
    if (ai) ai->Release();
    synth->Release();
    bool throughAcm = SUCCEEDED(hr);
    if (!throughAcm) {
        /* An ACM wrapper that takes no PCM input (the platform's refuses
         * it): the synthesizer already gives the engine's format, so it
         * goes to the null renderer directly. */
        graph->RemoveFilter(acm);
        if (!so) { EngineWarning("ACM Wrapper Connect Error"); return hr; }
    }
    hr = graph->AddFilter(nullRenderer, L"Null Audio Renderer");
    IPin *ao = throughAcm ? GetOutputPin(acm, 0) : so, *ni = GetInputPin(nullRenderer, 0);
    if (!throughAcm) so = nullptr;
    if (SUCCEEDED(hr)) hr = (ao && ni) ? graph->Connect(ao, ni) : E_FAIL;
    if (so) so->Release();
    if (ao) ao->Release();
    if (ni) ni->Release();
    if (FAILED(hr)) {
        EngineWarning(throughAcm ? "Null Audio Renderer connection error" : "ACM Wrapper Connect Error");
        return hr;
    }
    if (throughAcm) SetAcmOutputFormat(acm);
    return S_OK;
}

IPin *FindUnconnectedAudioOutput(IGraphBuilder *graph)
{
    IEnumFilters *en = nullptr;
    if (FAILED(graph->EnumFilters(&en)) || !en) return nullptr;
    IBaseFilter *f = nullptr;
    IPin *found = nullptr;
    while (!found && en->Next(1, &f, nullptr) == S_OK) {
        IEnumPins *pins = nullptr;
        if (SUCCEEDED(f->EnumPins(&pins)) && pins) {
            IPin *p = nullptr;
            while (!found && pins->Next(1, &p, nullptr) == S_OK) {
                PIN_DIRECTION dir;
                IPin *peer = nullptr;
                bool free = p->ConnectedTo(&peer) == VFW_E_NOT_CONNECTED;
                if (peer) peer->Release();
                if (free && SUCCEEDED(p->QueryDirection(&dir)) && dir == PINDIR_OUTPUT) {
                    IEnumMediaTypes *types = nullptr;
                    AM_MEDIA_TYPE *mt = nullptr;
                    if (SUCCEEDED(p->EnumMediaTypes(&types)) && types) {
                        if (types->Next(1, &mt, nullptr) == S_OK && mt) {
                            if (IsEqualGUID(mt->majortype, MEDIATYPE_Audio)) { found = p; p->AddRef(); }
                            EngineFreeMediaType(mt);
                        }
                        types->Release();
                    }
                }
                p->Release();
            }
            pins->Release();
        }
        f->Release();
    }
    en->Release();
    return found;
}

HRESULT ConnectAudioTail(IGraphBuilder *graph, IPin *feed, IBaseFilter *acm, IBaseFilter *grabberFilter,
                         ISampleGrabber *grabber, IBaseFilter *nullRenderer, const char *nullText)
{
    IPin *ain = GetInputPin(acm, 0);
    HRESULT hr = ain ? graph->Connect(feed, ain) : E_FAIL;
    if (ain) ain->Release();
    feed->Release();
    if (FAILED(hr)) { EngineWarning("ACM Wrapper Connect Error"); return hr; }
    SetAcmOutputFormat(acm);
    AM_MEDIA_TYPE mt = {};
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = MEDIASUBTYPE_PCM;
    mt.formattype = FORMAT_WaveFormatEx;
    mt.bFixedSizeSamples = TRUE;
    hr = graph->AddFilter(grabberFilter, L"Audio Grabber");
    if (SUCCEEDED(hr)) hr = grabber->SetMediaType(&mt);
    if (FAILED(hr)) { EngineWarning("Mismatching audio media type"); return hr; }
    IPin *aout = GetOutputPin(acm, 0), *gin = GetInputPin(grabberFilter, 0);
    hr = (aout && gin) ? graph->Connect(aout, gin) : E_FAIL;
    if (aout) aout->Release();
    if (gin) gin->Release();
    if (FAILED(hr)) { EngineWarning("Audio Grabber Connect Error"); return hr; }
    hr = graph->AddFilter(nullRenderer, L"Null Audio Renderer");
    IPin *gout = GetOutputPin(grabberFilter, 0), *nin = GetInputPin(nullRenderer, 0);
    if (SUCCEEDED(hr)) hr = (gout && nin) ? graph->Connect(gout, nin) : E_FAIL;
    if (gout) gout->Release();
    if (nin) nin->Release();
    if (FAILED(hr)) { EngineWarning("%s", nullText); return hr; }
    SetAcmOutputFormat(acm);
    return S_OK;
}
