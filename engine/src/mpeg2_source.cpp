/*
 * CMpeg2Reader's video path and CGrabCB3.
 */
#include "mpeg2_source.h"
#include "graph_util.h"
#include "clock.h"
#include "painter.h"
#include "writers.h"
#include <uuids.h>

const GUID CLSID_Mpeg2VideoDecoder_Corv =
    {0xf50b3f13, 0x19c4, 0x11cf, {0xaa, 0x9a, 0x02, 0x60, 0x8c, 0x9b, 0xab, 0xa2}};

void (*g_mpeg2RenderProbe)(IGraphBuilder *);

template <class T> static void release(T *&p)
{
    if (p) p->Release();
    p = nullptr;
}

/* The pin connected to pin, or null (counted). */
static IPin *peer_of(IPin *pin)
{
    IPin *p = nullptr;
    if (pin && FAILED(pin->ConnectedTo(&p))) p = nullptr;
    return p;
}

static bool pin_of(IPin *pin, IBaseFilter *filter)
{
    if (!pin || !filter) return false;
    PIN_INFO pi = {};
    if (FAILED(pin->QueryPinInfo(&pi))) return false;
    const bool same = pi.pFilter == filter;
    if (pi.pFilter) pi.pFilter->Release();
    return same;
}

/* The decoder rendering chose and the overlay mixer go; the outside
 * decoder takes the demultiplexer's output and feeds what the mixer (or the
 * decoder) fed. */
HRESULT CMpeg2Reader::SwapDecoder(IBaseFilter *decoder, IBaseFilter *overlay)
{
    IPin *din = GetInputPin(decoder, 0), *dout = GetOutputPin(decoder, 0);
    IPin *demux = peer_of(din), *down = peer_of(dout);
    release(din);
    release(dout);
    if (pin_of(down, overlay)) {
        release(down);
        IPin *oout = GetOutputPin(overlay, 0);
        down = peer_of(oout);
        release(oout);
    }
    graph->RemoveFilter(decoder);
    graph->RemoveFilter(overlay);

    IBaseFilter *outside = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_Mpeg2VideoDecoder_Corv, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  (void **)&outside);
    if (SUCCEEDED(hr)) hr = graph->AddFilter(outside, L"Elecard MPEG 2 Video Decoder");
    if (FAILED(hr)) {
        release(outside);
        release(demux);
        release(down);
        EngineWarning("The Mpeg2 Video Decoder did not installed appropriatly");
        return hr;
    }
    IPin *in = GetInputPin(outside, 0);
    hr = (demux && in) ? graph->Connect(demux, in) : E_FAIL;
    release(in);
    release(demux);
    if (FAILED(hr)) {
        release(outside);
        release(down);
        EngineWarning("MPEG2 Video Decoder & Demultiplxer Connection failed");
        return hr;
    }
    /* What the old decoder fed is fed again (the renderer or the colour
     * filter before it); the grabber step below takes it from there. */
    IPin *out = GetOutputPin(outside, 0);
    if (down && out) graph->Connect(out, down);
    release(out);
    release(down);
    release(outside);
    return S_OK;
}

HRESULT CMpeg2Reader::BuildVideoPath()
{
    /* The video ends in a null renderer. */
    release(videoRenderer);
    HRESULT hr = CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  (void **)&videoRenderer);
    if (FAILED(hr)) { EngineWarning("Video Renderer Creation Error !!"); return hr; }

    hr = graph->RenderFile(videoPathW, nullptr);
    if (FAILED(hr)) { EngineWarning("FAILED Render File"); return hr; }
    if (g_mpeg2RenderProbe) g_mpeg2RenderProbe(graph);

    IBaseFilter *decoder = FindFilterByName(graph, L"Video Decoder", 1);
    if (!decoder) { EngineWarning("The Mpeg2 Decoder did not installed appropriatly"); return E_FAIL; }
    IBaseFilter *overlay = FindFilterByName(graph, L"Overlay Mixer", 1);
    hr = overlay ? SwapDecoder(decoder, overlay) : S_OK;
    release(overlay);
    release(decoder);
    if (FAILED(hr)) return hr;

    IBaseFilter *renderer = FindFilterByName(graph, L"Video Renderer", 1);
    AM_MEDIA_TYPE mt = {};
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_RGB24;
    mt.formattype = FORMAT_VideoInfo;
    hr = graph->AddFilter(videoGrabberFilter, L"Video Grabber");
    if (SUCCEEDED(hr)) hr = videoGrabber->SetMediaType(&mt);
    if (FAILED(hr)) { release(renderer); EngineWarning("Mismatching video media type"); return hr; }

    IPin *rin = renderer ? GetInputPin(renderer, 0) : nullptr;
    IPin *feed = peer_of(rin);
    if (feed) graph->Disconnect(feed);
    if (rin) graph->Disconnect(rin);
    if (renderer) graph->RemoveFilter(renderer);
    release(rin);
    release(renderer);
    IPin *gin = GetInputPin(videoGrabberFilter, 0);
    hr = (feed && gin) ? graph->Connect(feed, gin) : E_FAIL;
    release(feed);
    release(gin);
    if (FAILED(hr)) { EngineWarning("Video Connection Failed #7: %x", (unsigned)hr); return hr; }

    hr = graph->AddFilter(videoRenderer, L"Video End Renderer");
    IPin *gout = GetOutputPin(videoGrabberFilter, 0), *vin = GetInputPin(videoRenderer, 0);
    if (SUCCEEDED(hr)) hr = (gout && vin) ? graph->Connect(gout, vin) : E_FAIL;
    release(gout);
    release(vin);
    if (FAILED(hr)) { EngineWarning("MPEG2 video decoder open Error #8:%x", (unsigned)hr); return hr; }
    return S_OK;
}

HRESULT WINAPI CGrabCB3::BufferCB(double time, BYTE *buffer, LONG length)
{
    calls++;
    AcquireSRWLockShared(&gate);
    auto *src = static_cast<CMpeg2Reader *>(owner);
    if (!src) { ReleaseSRWLockShared(&gate); return 0; }
    EngineSurface *programme = g_transformer.ProgrammeSurface(), *selected = g_transformer.SelectedSurface();
    const bool onProgramme = src->surface && src->surface == programme;
    const bool isSelected = src->surface && src->surface == selected;

    if (!audioFlag) {
        if (src->videoType && (onProgramme || isSelected)) src->DrawFrame(buffer, length);
        if (src->surface && g_channelPainter[src->channelIndex])
            g_channelPainter[src->channelIndex]->Signal();
        ReleaseSRWLockShared(&gate);
        return 0;
    }

    if (src->audioType) {
        /* A program stream is a file (kind 1): its sound goes by the file
         * rule alone, never by a shared capture device. */
        const bool goes = g_engine.backMusic ? src->channelIndex == 4 : onProgramme;
        if (g_engineAudioProbe) g_engineAudioProbe(src->channelIndex, time, buffer, length);
        if (goes) {
            const WAVEFORMATEX *wf = reinterpret_cast<const WAVEFORMATEX *>(src->audioType->pbFormat);
            DWORD ms = (wf && wf->nAvgBytesPerSec) ? (DWORD)MulDiv(length, 1000, wf->nAvgBytesPerSec) : 0;
            EngineDeliverAudio(ms, buffer, length);
        }
        if (isSelected && src->videoType) EnginePost(WM_ENGINE_POSITION, src->channelIndex, (LPARAM)(LONG)time);
    }
    ReleaseSRWLockShared(&gate);
    return 0;
}
