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
    {SOURCE_NETWORK, "CAsfReader", make_network, false},
    {SOURCE_MPEG2, "CMpeg2Reader", make_mpeg2, true},
};

const SourceKindEntry *EngineSourceKind(SourceClass cls)
{
    for (const auto &k : kinds)
        if (k.cls == cls) return &k;
    return nullptr;
}

BOOL CPendingSource::Open(const char *video, const char *audio)
{
    lstrcpynA(videoPath, video ? video : "", ENGINE_TEXT);
    lstrcpynA(audioPath, audio ? audio : "", ENGINE_TEXT);
    char line[ENGINE_TEXT + 64];
    snprintf(line, sizeof(line), "corvengine: fixme: %s cannot open %s yet\n", name, videoPath);
    OutputDebugStringA(line);
    return FALSE;
}
