/*
 * The FLV writer's settings as the mixer keeps them: the 560-byte record the
 * engine takes (SetFLVEncProfile), its place in the application profile
 * (section "EncodingOption\FLV") and the frame-rate text.
 */
#ifndef CORV_MIXER_FLV_SETTINGS_H
#define CORV_MIXER_FLV_SETTINGS_H

#include <windows.h>
#include <cstddef>
#include <string>

namespace cl { class CProfile; }

/* The engine's record, byte for byte (natural alignment: the double at 528,
 * four tail bytes the mixer never sets). */
struct FlvSettings {
    INT32 Format;                 /* 0 FLV, 1 SWF */
    char ArchivingFileName[512];  /* zero-terminated */
    INT32 VideoWidth;
    INT32 VideoHeight;
    INT32 VideoBitrate;           /* kbit/s */
    double FrameRate;
    INT32 AudioSampleRate;        /* Hz */
    INT32 AudioChannel;
    INT32 AudioBits;
    INT32 AudioBitrate;           /* kbit/s */
    INT32 RWShared;
};
static_assert(sizeof(FlvSettings) == 560, "FlvSettings is 560 bytes");
static_assert(offsetof(FlvSettings, Format) == 0, "Format");
static_assert(offsetof(FlvSettings, ArchivingFileName) == 4, "ArchivingFileName");
static_assert(offsetof(FlvSettings, VideoWidth) == 516, "VideoWidth");
static_assert(offsetof(FlvSettings, VideoHeight) == 520, "VideoHeight");
static_assert(offsetof(FlvSettings, VideoBitrate) == 524, "VideoBitrate");
static_assert(offsetof(FlvSettings, FrameRate) == 528, "FrameRate");
static_assert(offsetof(FlvSettings, AudioSampleRate) == 536, "AudioSampleRate");
static_assert(offsetof(FlvSettings, AudioChannel) == 540, "AudioChannel");
static_assert(offsetof(FlvSettings, AudioBits) == 544, "AudioBits");
static_assert(offsetof(FlvSettings, AudioBitrate) == 548, "AudioBitrate");
static_assert(offsetof(FlvSettings, RWShared) == 552, "RWShared");

extern const char kFlvSection[];          /* "EncodingOption\FLV" */
extern const char kDefaultFlvFile[];      /* "C:\output.flv" */
extern const char kFlvFormatName[];       /* "FLV (Flash Video)" */
extern const char kSwfFormatName[];       /* "SWF (ShockWave Flash)" */

/* The frame rate as it is stored: rounded to one decimal ("30.0" for 29.97). */
std::string FlvFrameRateText(double fps);
/* The stored frame-rate text as a number; text that is not a number in 1..60
 * gives the default 30 (the writer never gets a rate it cannot use). */
double FlvFrameRateFromText(const std::string &text);
/* Copies a path into the record's name, cut to fit with its terminator. */
void SetFlvFileName(FlvSettings *s, const std::string &path);

/* Reads every key of the section into s (the four tail bytes are left as
 * they are); an empty file name stands for "C:\output.flv". */
void LoadFlvSettings(const cl::CProfile &profile, FlvSettings *s);
/* Writes every key back in the order the mixer always writes them. */
void SaveFlvSettings(const cl::CProfile &profile, const FlvSettings &s);

#endif
