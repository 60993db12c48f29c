#include "flv_settings.h"
#include "dialog.h"
#include "profile.h"
#include <cmath>
#include <cstdio>
#include <cstring>

const char kFlvSection[] = "EncodingOption\\FLV";
const char kDefaultFlvFile[] = "C:\\output.flv";
const char kFlvFormatName[] = "FLV (Flash Video)";
const char kSwfFormatName[] = "SWF (ShockWave Flash)";

std::string FlvFrameRateText(double fps)
{
    if (!std::isfinite(fps)) fps = 30.0;
    char text[64];
    snprintf(text, sizeof(text), "%.1f", fps);
    return text;
}

double FlvFrameRateFromText(const std::string &text)
{
    double fps = 0;
    if (!cl::ParseDouble(text, &fps) || !(fps >= 1.0 && fps <= 60.0)) return 30.0;
    return fps;
}

void SetFlvFileName(FlvSettings *s, const std::string &path)
{
    size_t n = path.size() < sizeof(s->ArchivingFileName) - 1 ? path.size() : sizeof(s->ArchivingFileName) - 1;
    memset(s->ArchivingFileName, 0, sizeof(s->ArchivingFileName));
    memcpy(s->ArchivingFileName, path.data(), n);
}

void LoadFlvSettings(const cl::CProfile &p, FlvSettings *s)
{
    s->Format = p.GetInt(kFlvSection, "Format", 0);
    s->VideoWidth = p.GetInt(kFlvSection, "VideoWidth", 320);
    s->VideoHeight = p.GetInt(kFlvSection, "VideoHeight", 240);
    s->VideoBitrate = p.GetInt(kFlvSection, "VideoBitrate", 256);
    s->FrameRate = FlvFrameRateFromText(p.GetString(kFlvSection, "FrameRate", "30.0"));
    std::string file = p.GetString(kFlvSection, "ArchivingFileName", "");
    SetFlvFileName(s, file.empty() ? kDefaultFlvFile : file);
    s->AudioSampleRate = p.GetInt(kFlvSection, "AudioSampleRate", 22050);
    s->AudioBitrate = p.GetInt(kFlvSection, "AudioBitrate", 64);
    s->AudioChannel = p.GetInt(kFlvSection, "AudioChannel", 2);
    s->AudioBits = p.GetInt(kFlvSection, "AudioBits", 16);
    s->RWShared = p.GetInt(kFlvSection, "RWShared", 0);
}

void SaveFlvSettings(const cl::CProfile &p, const FlvSettings &s)
{
    p.WriteInt(kFlvSection, "Format", s.Format);
    p.WriteInt(kFlvSection, "VideoWidth", s.VideoWidth);
    p.WriteInt(kFlvSection, "VideoHeight", s.VideoHeight);
    p.WriteInt(kFlvSection, "VideoBitrate", s.VideoBitrate);
    p.WriteString(kFlvSection, "FrameRate", FlvFrameRateText(s.FrameRate));
    p.WriteString(kFlvSection, "ArchivingFileName",
                  std::string(s.ArchivingFileName, strnlen(s.ArchivingFileName, sizeof(s.ArchivingFileName))));
    p.WriteInt(kFlvSection, "AudioSampleRate", s.AudioSampleRate);
    p.WriteInt(kFlvSection, "AudioBitrate", s.AudioBitrate);
    p.WriteInt(kFlvSection, "AudioChannel", s.AudioChannel);
    p.WriteInt(kFlvSection, "AudioBits", s.AudioBits);
    p.WriteInt(kFlvSection, "RWShared", s.RWShared);
}
