/*
 * The remote-control protocol between the scheduler ("Tarnell") and the
 * mixer ("Corvane"): two separate processes on one desktop that know each
 * other only by window handle.  Header-only, shared by both programs.
 *
 * 1. MixerRemoteMessage: window message 3000, always posted, both ways.
 *    wParam = an RC_* code, lParam = one packed signed 32-bit argument:
 *
 *      form                   packing                       unpacking
 *      channel and item       (CH << 16) | item             CH = l >> 16, item = l & 0xFFF
 *      transition and time    (transition << 16) | seconds  tr = l >> 16, seconds = l & 0xFFF
 *      channel and position   (CH << 14) | seconds          CH = l >> 14, seconds = l & 0xFFF
 *      window                 a window handle
 *      title item             the title item number
 *      none                   0
 *
 *    CH is the engine's channel index 0-4 (channel number - 1).  Item numbers,
 *    transition times and positions travel in 12 bits (0-4095); the packers
 *    below refuse what does not fit rather than let it wrap.  A transition
 *    time travels as whole seconds, the fraction dropped; 0 means 0.1 s.
 *
 * 2. SourceDescriptor: WM_COPYDATA sent (SendMessage) from the scheduler
 *    window to the mixer window, wParam 0, cbData 260, lpData a 260-byte
 *    buffer holding a zero-terminated text of at most 259 characters,
 *    dwData = (CH << 16) | kind, where kind = dwData & 0xFFF:
 *      kind 0, load a channel source: "video,audio,nnnn" (nnnn = "%04d"
 *              schedule item number; devices as "dev:name,dev:name,nnnn");
 *      kind 1, load a title file: the full path; the upper half of dwData
 *              holds the title item number instead of a channel.
 *    The mixer takes the last four characters of the third field as the
 *    number.  Fields cannot hold commas.
 *
 * 3. Handshake: the scheduler finds the mixer by its title "Corvane"; when
 *    found it posts RC_HELLO with its own window and the mixer answers
 *    RC_HELLO_ACK with its own.  Otherwise the scheduler starts
 *    "Corvane.exe TARNELL" from its own folder and sends no hello; the mixer
 *    then finds the scheduler by its title "Tarnell".  A program posting
 *    RC_ANNOUNCE with its window is taken as the mixer and greeted.
 *
 * 4. Notices that end a schedule (RC_MIXER_EXITED, RC_SCHEDULE_END,
 *    RC_TITLE_SCHEDULE_END, RC_SCHEDULE_FINISHED) change the scheduler's
 *    state drastically, so their lParam names the sender: RC_MIXER_EXITED
 *    carries the mixer's window handle (the one known from the handshake),
 *    the three others the scheduler's own window (it posts them to itself).
 *    A notice with any other lParam is ignored.
 *
 * 5. Failure replies, mixer to scheduler.  The mixer never opens a message
 *    box while the scheduler drives it (a descriptor is sent synchronously,
 *    so a box would stall the scheduler too); what went wrong is answered
 *    instead, with the lParam the success reply would have carried:
 *      RC_SOURCE_FAILED        (CH << 16) | number, or CH << 16 when the
 *                              descriptor could not be read;
 *      RC_TITLE_FAILED         the title item;
 *      RC_ENCODE_START_FAILED  the request's lParam.
 *    A scheduler that does not know them takes no action on them.
 */
#ifndef SCHEDULER_REMOTE_PROTOCOL_H
#define SCHEDULER_REMOTE_PROTOCOL_H

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace remote {

constexpr char kMixerWindowTitle[] = "Corvane";
constexpr char kSchedulerWindowTitle[] = "Tarnell";
constexpr char kMixerProgram[] = "Corvane.exe";
constexpr char kMixerCommandWord[] = "TARNELL";

constexpr UINT kMixerRemoteMessage = 3000;

enum Code : int {
    RC_ANNOUNCE = 3000,              /* -> scheduler, lParam mixer window */
    RC_HELLO = 3001,                 /* -> mixer, lParam scheduler window */
    RC_HELLO_ACK = 3002,             /* -> scheduler, lParam mixer window */
    RC_PAUSE_CHANNEL = 3004,         /* CH << 16 */
    RC_PLAY_CHANNEL = 3005,          /* (CH << 16) | item */
    RC_PLAY_CHANNEL_DONE = 3006,
    RC_SOURCE_LOADED_ITEM = 3013,    /* (CH << 16) | number */
    RC_SOURCE_FAILED = 3014,         /* (CH << 16) | number (see 5.) */
    RC_TITLE_ON = 3024,              /* title item */
    RC_TITLE_ON_DONE = 3025,
    RC_TITLE_LOADED = 3033,          /* title item */
    RC_TITLE_FAILED = 3034,          /* title item (see 5.) */
    RC_TITLE_OFF = 3040,             /* 0 */
    RC_TITLE_OFF_DONE = 3041,        /* title item or 0 */
    RC_ENCODE_START = 3044,
    RC_ENCODE_START_DONE = 3045,
    RC_ENCODE_START_FAILED = 3046,   /* the request's lParam (see 5.) */
    RC_SWITCH = 3048,                /* (transition << 16) | seconds */
    RC_SWITCH_DONE = 3049,
    RC_SOURCE_LOADED = 3053,         /* CH */
    RC_SELECT_CHANNEL = 3056,        /* CH << 16, or (CH << 16) | item */
    RC_SELECT_CHANNEL_DONE = 3057,
    RC_ENCODE_STOP = 3060,
    RC_ENCODE_STOP_DONE = 3061,
    RC_MIXER_EXITED = 3064,          /* lParam mixer window (see 4.) */
    RC_SCHEDULER_CLOSING = 3065,
    RC_SCHEDULE_END = 3068,          /* lParam scheduler window (see 4.) */
    RC_TITLE_SCHEDULE_END = 3069,    /* lParam scheduler window */
    RC_SCHEDULE_FINISHED = 3070,     /* lParam scheduler window */
    RC_SEEK_CHANNEL = 3071,          /* (CH << 14) | seconds */
    RC_SEEK_CHANNEL_DONE = 3072,
    RC_MIXER_OFF = 3075,
    RC_MIXER_OFF_DONE = 3076,
    RC_ONAIR_START = 3079,
    RC_ONAIR_START_DONE = 3080,
    RC_PAUSE_CHANNEL_DONE = 3084,
    RC_PLAY_CHANNEL_NOW = 3085,
    RC_PLAY_CHANNEL_NOW_DONE = 3086,
    RC_TAKE_CONTROL = 3087,
    RC_HOLD_ON = 3089,
    RC_HOLD_OFF = 3090,
    RC_MINIMIZE = 3091,
    RC_MAXIMIZE = 3092,
};

constexpr int kField12Max = 0xFFF;   /* items, transition seconds, positions */
constexpr int kTransitionMax = 43;

/* ---- packing (false: the value cannot travel; 'out' untouched) ---- */

/* channel 1-5, item 0-4095. */
inline bool PackChannelItem(int channel, int item, LPARAM &out)
{
    if (channel < 1 || channel > 5 || item < 0 || item > kField12Max)
        return false;
    out = static_cast<LPARAM>(static_cast<int32_t>(((channel << 16) - 0x10000) | item));
    return true;
}

/* transition 0-43, seconds 0-4095 (fraction dropped). */
inline bool PackTransitionTime(int transition, double seconds, LPARAM &out)
{
    if (transition < 0 || transition > kTransitionMax || !(seconds >= 0.0) || seconds >= kField12Max + 1.0)
        return false;
    out = static_cast<LPARAM>(static_cast<int32_t>((transition << 16) | static_cast<int>(seconds)));
    return true;
}

/* channel 1-5, position 0-4095 seconds. */
inline bool PackChannelPosition(int channel, int seconds, LPARAM &out)
{
    if (channel < 1 || channel > 5 || seconds < 0 || seconds > kField12Max)
        return false;
    out = static_cast<LPARAM>(static_cast<int32_t>(((channel << 14) - 0x4000) | seconds));
    return true;
}

inline int32_t Arg(LPARAM l) { return static_cast<int32_t>(l); }
inline int UnpackChannel16(LPARAM l) { return Arg(l) >> 16; }
inline int UnpackLow12(LPARAM l) { return Arg(l) & kField12Max; }
inline int UnpackChannel14(LPARAM l) { return Arg(l) >> 14; }

inline LPARAM WindowArg(HWND w) { return reinterpret_cast<LPARAM>(w); }
inline HWND ArgWindow(LPARAM l) { return reinterpret_cast<HWND>(l); }

/* ---- source descriptors ---- */

constexpr DWORD kDescriptorBytes = 260;
constexpr int kDescriptorSource = 0;
constexpr int kDescriptorTitle = 1;

struct SourceDescriptorBuffer {
    char text[kDescriptorBytes];
};
static_assert(sizeof(SourceDescriptorBuffer) == 260, "descriptor buffer is 260 bytes on the wire");

inline ULONG_PTR DescriptorData(int upper, int kind)
{
    return (static_cast<ULONG_PTR>(static_cast<uint32_t>(upper) & 0xFFFF) << 16) | static_cast<ULONG_PTR>(kind);
}

/* Copies 'text' with its terminator; false when it needs more than 259
 * characters. */
inline bool FillDescriptor(SourceDescriptorBuffer &buf, const std::string &text)
{
    std::memset(buf.text, 0, sizeof buf.text);
    if (text.size() >= kDescriptorBytes || text.find('\0') != std::string::npos)
        return false;
    std::memcpy(buf.text, text.c_str(), text.size() + 1);
    return true;
}

/* "video,audio,nnnn" (devices prefixed "dev:").  False for an item number
 * outside 0-9999, a field with a comma, or a text over 259 characters. */
inline bool BuildSourceText(const std::string &video, const std::string &audio, int number, bool devices,
                            std::string &out)
{
    if (number < 0 || number > 9999 || video.find(',') != std::string::npos ||
        audio.find(',') != std::string::npos)
        return false;
    char num[8];
    std::snprintf(num, sizeof num, "%04d", number);
    const char *pre = devices ? "dev:" : "";
    std::string t = std::string(pre) + video + "," + pre + audio + "," + num;
    if (t.size() >= kDescriptorBytes)
        return false;
    out = t;
    return true;
}

struct ParsedDescriptor {
    int kind = 0;           /* dwData & 0xFFF: 0 source, anything else a title */
    int upper = 0;          /* CH for a source, the title item for a title */
    std::string video, audio, path;
    int number = 0;         /* the last four characters of the third field */
};

/* The text of a descriptor as the receiver reads it: at most cbData and
 * 260 bytes, which must hold the terminating zero. */
inline bool DescriptorText(const COPYDATASTRUCT *cds, std::string &text)
{
    if (!cds || !cds->lpData || cds->cbData == 0)
        return false;
    const DWORD n = cds->cbData < kDescriptorBytes ? cds->cbData : kDescriptorBytes;
    const char *p = static_cast<const char *>(cds->lpData);
    const void *z = std::memchr(p, 0, n);
    if (!z)
        return false;
    text.assign(p, static_cast<const char *>(z) - p);
    return true;
}

/* "video,audio,nnnn": exactly three fields, the third ending in four digits,
 * which give the number. */
inline bool SplitSourceText(const std::string &text, std::string &video, std::string &audio, int &number)
{
    size_t c1 = text.find(','), c2 = c1 == std::string::npos ? c1 : text.find(',', c1 + 1);
    if (c2 == std::string::npos || text.find(',', c2 + 1) != std::string::npos)
        return false;
    std::string third = text.substr(c2 + 1);
    if (third.size() < 4)
        return false;
    std::string digits = third.substr(third.size() - 4);
    for (char ch : digits)
        if (ch < '0' || ch > '9')
            return false;
    video = text.substr(0, c1);
    audio = text.substr(c1 + 1, c2 - c1 - 1);
    number = std::atoi(digits.c_str());
    return true;
}

/* The receiver's reading: the text as DescriptorText reads it; a source
 * needs the three fields of SplitSourceText, a title a non-empty path. */
inline bool ParseDescriptor(const COPYDATASTRUCT *cds, ParsedDescriptor &out)
{
    std::string text;
    if (!DescriptorText(cds, text))
        return false;
    ParsedDescriptor d;
    d.kind = static_cast<int>(cds->dwData & 0xFFF);
    d.upper = static_cast<int>((cds->dwData >> 16) & 0xFFFF);
    if (d.kind != kDescriptorSource) {
        if (text.empty())
            return false;
        d.path = text;
        out = d;
        return true;
    }
    if (!SplitSourceText(text, d.video, d.audio, d.number))
        return false;
    out = d;
    return true;
}

} // namespace remote

#endif
