#include "sources.h"
#include "file_source.h"
#include "mpeg2_source.h"
#include <stdio.h>

static CDecoder *make_file(int kind, int, int audio)
{
    auto *s = new CAviMpegReader;
    s->sourceKind = kind;
    s->deviceAudioIndex = audio;
    return s;
}

static CDecoder *make_capture(int, int video, int audio)
{
    auto *s = new CDSCapture;
    s->sourceKind = 0;
    s->videoDeviceIndex = video;
    s->audioDeviceIndex = audio;
    return s;
}

static CDecoder *make_network(int kind, int, int)
{
    auto *s = new CAsfReader;
    s->sourceKind = kind;
    return s;
}

static CDecoder *make_mpeg2(int kind, int, int audio)
{
    auto *s = new CMpeg2Reader;
    s->sourceKind = kind;
    s->audioDeviceIndex = audio;
    s->deviceAudioIndex = audio;
    return s;
}

static const SourceKindEntry kinds[] = {
    {SOURCE_FILE, "CAviMpegReader", make_file, true},
    {SOURCE_CAPTURE, "CDSCapture", make_capture, true},
    {SOURCE_NETWORK, "CAsfReader", make_network, true},
    {SOURCE_MPEG2, "CMpeg2Reader", make_mpeg2, true},
};

const SourceKindEntry *EngineSourceKind(SourceClass cls)
{
    for (const auto &k : kinds)
        if (k.cls == cls) return &k;
    return nullptr;
}
