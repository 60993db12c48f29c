/*
 * The system profiles: Windows Media Video 8 / Audio 8 stream pairs for the
 * usual connection speeds.  Stream 1 is the audio stream, stream 2 the video
 * stream; the writer scales whatever it is given to the video size.
 */
#include "wmwriter.h"

namespace {

struct SystemRow {
    const char16_t *name, *description;
    int videoBitrate, fps, width, height, keySeconds;
    int audioBitrate, sampleRate, channels;
};

const SystemRow kRows[] = {
    {u"Video for dial-up modems (28.8 Kbps)", u"Low-motion video and voice for 28.8 Kbps modems.",
     20000, 10, 160, 120, 8, 16000, 22050, 1},
    {u"Video for dial-up modems (56 Kbps)", u"Video and voice for 56 Kbps modems.",
     32000, 15, 176, 144, 8, 16000, 22050, 1},
    {u"Video for single-channel ISDN (64 Kbps)", u"Video and sound for single-channel ISDN.",
     48000, 15, 240, 176, 8, 16000, 22050, 1},
    {u"Video for dual-channel ISDN (128 Kbps)", u"Video and stereo sound for dual-channel ISDN.",
     96000, 15, 320, 240, 8, 32000, 22050, 2},
    {u"Video for broadband (256 Kbps)", u"Video and stereo sound for cable and DSL.",
     200000, 25, 320, 240, 5, 48000, 44100, 2},
    {u"Video for broadband (384 Kbps)", u"Video and stereo sound for cable and DSL.",
     320000, 25, 320, 240, 5, 64000, 44100, 2},
    {u"Video for broadband (768 Kbps)", u"Video and stereo sound for fast broadband.",
     670000, 25, 640, 480, 5, 96000, 44100, 2},
    {u"Video for local area network (1 Mbps)", u"Video and stereo sound for a local network.",
     900000, 25, 640, 480, 4, 128000, 44100, 2},
    {u"Video for local area network (1.5 Mbps)", u"Video and stereo sound for a local network.",
     1370000, 25, 720, 576, 4, 128000, 44100, 2},
    {u"Video for local area network (2 Mbps)", u"Full-size video and stereo sound for a local network (default).",
     1870000, 25, 720, 576, 4, 128000, 44100, 2},
    {u"Video for local area network (3 Mbps)", u"High-quality video and stereo sound for a local network.",
     2870000, 30, 720, 576, 4, 128000, 44100, 2},
    {u"Video for archiving (5 Mbps)", u"Archive-quality video and stereo sound.",
     4800000, 30, 720, 576, 2, 192000, 44100, 2},
};

} // namespace

int WmSystemProfileCount() { return (int)(sizeof(kRows) / sizeof(kRows[0])); }

bool WmSystemProfile(int index, WmProfile *out)
{
    if (!out || index < 0 || index >= WmSystemProfileCount()) return false;
    const SystemRow &r = kRows[index];
    WmProfile p;
    p.name = r.name;
    p.description = r.description;
    WmStreamConfig a;
    a.video = false;
    a.codec = "wmav2";
    a.bitrate = r.audioBitrate;
    a.sampleRate = r.sampleRate;
    a.channels = r.channels;
    a.streamNumber = 1;
    a.streamName = u"Audio Stream";
    a.connectionName = u"Audio";
    WmStreamConfig v;
    v.video = true;
    v.codec = "wmv2";
    v.bitrate = r.videoBitrate;
    v.width = r.width;
    v.height = r.height;
    v.avgTimePerFrame = 10000000LL / r.fps;
    v.keySpacingMs = r.keySeconds * 1000;
    v.quality = 75;
    v.streamNumber = 2;
    v.streamName = u"Video Stream";
    v.connectionName = u"Video";
    p.streams.push_back(a);
    p.streams.push_back(v);
    *out = p;
    return true;
}
