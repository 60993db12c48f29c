// Public identifiers of the Ffsplit.ax module: the FFmpeg source, still-image
// source, decoders, the Windows Media ASF reader stand-in and the audio
// synthesizer with its parameter interface.
#pragma once
#include <windows.h>
#include <objbase.h>

// Filters of our own.
static const GUID CLSID_FFSource = {0x1081ed69, 0x2ee4, 0x4a49, {0xbd, 0x6b, 0xf3, 0xa7, 0x28, 0x10, 0xac, 0x8f}};
static const GUID CLSID_FFStillSource = {0xab7817bf, 0x267e, 0x40f0, {0xab, 0x52, 0x43, 0x5d, 0x4b, 0x67, 0xb3, 0xa4}};
static const GUID CLSID_FFVideoDecoder = {0xc1d4c96d, 0x5322, 0x4954, {0x85, 0x4a, 0x69, 0xe4, 0x17, 0x4d, 0x23, 0xb0}};
static const GUID CLSID_FFAudioDecoder = {0xd191ab5a, 0xa253, 0x4842, {0xa3, 0x9e, 0x51, 0x8b, 0x16, 0xd7, 0xe3, 0x2b}};

// Stand-ins registered under the class identifiers the engine creates.
static const GUID CLSID_FFWMAsfReader = {0x187463a0, 0x5bb7, 0x11d3, {0xac, 0xbe, 0x00, 0x80, 0xc7, 0x5e, 0x24, 0x6e}};
static const GUID CLSID_FFAudioSynth = {0x79a98de0, 0xbc00, 0x11ce, {0xac, 0x2e, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
static const GUID IID_IAudioSynthParams = {0x00487a78, 0xd875, 0x44b0, {0xad, 0xbb, 0xde, 0xca, 0x9c, 0xdb, 0x51, 0xfc}};

// Compressed streams between our source and our decoders: the subtype marks
// them as ours (no other decoder matches it) and the format block carries the
// codec parameters (ffcore::CodecParams followed by the codec's extra data).
static const GUID MEDIASUBTYPE_FFStream = {0xf65de737, 0x1876, 0x477d, {0xbd, 0x04, 0x49, 0x9a, 0xd6, 0xef, 0x2b, 0xb0}};
static const GUID FORMAT_FFCodecParams = {0x93f4a806, 0xfa7a, 0x4664, {0x92, 0xd2, 0xde, 0x3d, 0xd1, 0x01, 0x80, 0xbc}};

// Parameters of the audio synthesizer, set before its output is connected.
//   amplitude      0..100, percent of full scale (0 = silence)
//   bits           8 or 16
//   channels       1 or 2
//   frequency      1..20000 Hz
//   output format  0 = PCM (the only one)
//   samples/sec    8000..96000
//   waveform       0 = sine (the only one)
// Each answers E_INVALIDARG outside its range and VFW_E_ALREADY_CONNECTED
// while the output pin is connected.
struct IAudioSynthParams : public IUnknown {
    virtual HRESULT WINAPI SetAmplitude(int amplitude) = 0;
    virtual HRESULT WINAPI SetBitsPerSample(int bits) = 0;
    virtual HRESULT WINAPI SetChannels(int channels) = 0;
    virtual HRESULT WINAPI SetFrequency(int hz) = 0;
    virtual HRESULT WINAPI SetOutputFormat(int format) = 0;
    virtual HRESULT WINAPI SetSamplesPerSec(int rate) = 0;
    virtual HRESULT WINAPI SetWaveform(int waveform) = 0;
};
