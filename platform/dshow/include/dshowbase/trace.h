// Trace channels: quiet unless the environment asks.
//
// CORV_TRACE is a comma-separated list of channel names ("dshow,tintwell"),
// or "all".  A channel that is listed prints trace, warning, fixme and error
// lines to stderr; "warn" in the list turns on warnings, fixmes and errors of
// every channel.  Lines look like Wine's: "trace:dshow:Function message".
#pragma once
#include <windows.h>
#include <strmif.h>
#include <string>

namespace dsb {

struct TraceChannel {
    const char* name;
    // Cached switches, filled on first use from CORV_TRACE.
    mutable LONG state;  // -1 unknown, else bit 0 trace, bit 1 warnings
    bool TraceOn() const;
    bool WarnOn() const;
};

void TracePrint(const TraceChannel& ch, const char* kind, const char* func, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));

// Printers for trace lines.
std::string DebugGuid(const GUID& g);
std::string DebugMediaType(const AM_MEDIA_TYPE* mt);
std::string DebugTime(REFERENCE_TIME t);  // seconds with 7 decimals
std::string DebugWide(const WCHAR* s);

}  // namespace dsb

#define DSB_TRACE_CHANNEL(var, name) static dsb::TraceChannel var = {name, -1}

#define DSB_TRACE(ch, ...) \
    do { if ((ch).TraceOn()) dsb::TracePrint(ch, "trace", __func__, __VA_ARGS__); } while (0)
#define DSB_WARN(ch, ...) \
    do { if ((ch).WarnOn()) dsb::TracePrint(ch, "warn", __func__, __VA_ARGS__); } while (0)
#define DSB_FIXME(ch, ...) \
    do { if ((ch).WarnOn()) dsb::TracePrint(ch, "fixme", __func__, __VA_ARGS__); } while (0)
#define DSB_ERR(ch, ...) \
    do { if ((ch).WarnOn()) dsb::TracePrint(ch, "err", __func__, __VA_ARGS__); } while (0)
