/*
 * Graph routines shared by the file, capture and MPEG-2 sources.
 * Every returned interface is counted; the caller releases it.
 */
#ifndef CORVENGINE_GRAPH_UTIL_H
#define CORVENGINE_GRAPH_UTIL_H

#include <windows.h>
#include <strmif.h>
#include <qedit.h>

/* Find a filter of the graph by name (leading and trailing blanks of the
 * filter's name ignored).  mode 0: equal; 1: contains; 2: contains, and the
 * filter enumerated after the match is returned. */
IBaseFilter *FindFilterByName(IGraphBuilder *graph, const WCHAR *text, int mode);

/* Input / output pin n of a filter (first is 0), or null. */
IPin *GetInputPin(IBaseFilter *filter, int n);
IPin *GetOutputPin(IBaseFilter *filter, int n);

/* The filter owning the pin connected to pin, or null. */
IBaseFilter *UpstreamFilter(IPin *pin);

/* Render every output pin of the filter that is not connected. */
HRESULT RenderAllOutputs(IGraphBuilder *graph, IBaseFilter *filter);

/* An output pin of the graph that carries audio and is not connected. */
IPin *FindUnconnectedAudioOutput(IGraphBuilder *graph);

/* 16-bit stereo PCM at 22050 Hz on the ACM wrapper's output pin. */
HRESULT SetAcmOutputFormat(IBaseFilter *acm);

/* The tail of a sound path: 'feed' (released here) into the ACM wrapper,
 * whose output is set to 16-bit stereo 22050 Hz, then the audio grabber and
 * the null renderer.  Shows its own messages, 'nullText' for the last step;
 * returns a failure code when a step fails. */
HRESULT ConnectAudioTail(IGraphBuilder *graph, IPin *feed, IBaseFilter *acm, IBaseFilter *grabberFilter,
                         ISampleGrabber *grabber, IBaseFilter *nullRenderer, const char *nullText);

/* Silent audio: synthesizer -> ACM wrapper -> "Null Audio Renderer".
 * Shows its own messages; returns a failure code when a step fails. */
HRESULT BuildSilentAudio(IGraphBuilder *graph, IBaseFilter *acm, IBaseFilter *nullRenderer);

/* The audio synthesizer's parameter interface (as the synthesizer filter
 * of the platform layer answers it). */
struct IAudioSynthParams : public IUnknown {
    virtual HRESULT WINAPI SetAmplitude(int) = 0;
    virtual HRESULT WINAPI SetBitsPerSample(int) = 0;
    virtual HRESULT WINAPI SetChannels(int) = 0;
    virtual HRESULT WINAPI SetFrequency(int) = 0;
    virtual HRESULT WINAPI SetOutputFormat(int) = 0;
    virtual HRESULT WINAPI SetSamplesPerSec(int) = 0;
    virtual HRESULT WINAPI SetWaveform(int) = 0;
};
extern const GUID CLSID_AudioSynth_Corv;
extern const GUID IID_AudioSynthParams_Corv;

#endif
