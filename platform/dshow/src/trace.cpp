#include "dshowbase/trace.h"
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace dsb {

namespace {

// True when |name| appears as a whole item of the comma list |list|.
bool Listed(const char* list, const char* name) {
    const size_t n = strlen(name);
    for (const char* p = list; *p;) {
        const char* end = strchr(p, ',');
        const size_t len = end ? (size_t)(end - p) : strlen(p);
        if (len == n && strncmp(p, name, n) == 0) return true;
        if (!end) break;
        p = end + 1;
    }
    return false;
}

LONG Compute(const char* name) {
    const char* env = getenv("CORV_TRACE");
    if (!env || !*env) return 0;
    if (Listed(env, "all") || Listed(env, name)) return 3;
    if (Listed(env, "warn")) return 2;
    return 0;
}

LONG StateOf(const TraceChannel& ch) {
    LONG s = ch.state;
    if (s < 0) {
        s = Compute(ch.name);
        InterlockedExchange(&ch.state, s);
    }
    return s;
}

}  // namespace

bool TraceChannel::TraceOn() const { return (StateOf(*this) & 1) != 0; }
bool TraceChannel::WarnOn() const { return (StateOf(*this) & 2) != 0; }

void TracePrint(const TraceChannel& ch, const char* kind, const char* func, const char* fmt, ...) {
    char line[1024];
    int n = snprintf(line, sizeof(line), "%04lx:%s:%s:%s ", (unsigned long)GetCurrentThreadId(), kind, ch.name, func);
    if (n < 0) return;
    if (n > (int)sizeof(line) - 1) n = sizeof(line) - 1;
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(line + n, sizeof(line) - n, fmt, ap);
    va_end(ap);
    fprintf(stderr, "%s\n", line);
}

std::string DebugGuid(const GUID& g) {
    char buf[48];
    snprintf(buf, sizeof(buf), "{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", (unsigned long)g.Data1,
             g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
             g.Data4[7]);
    return buf;
}

std::string DebugMediaType(const AM_MEDIA_TYPE* mt) {
    if (!mt) return "(null)";
    char buf[64];
    snprintf(buf, sizeof(buf), " format %lu bytes", (unsigned long)mt->cbFormat);
    return "major " + DebugGuid(mt->majortype) + " sub " + DebugGuid(mt->subtype) + " formattype " +
           DebugGuid(mt->formattype) + buf;
}

std::string DebugTime(REFERENCE_TIME t) {
    char buf[48];
    const char* sign = t < 0 ? "-" : "";
    unsigned long long a = t < 0 ? (unsigned long long)(-(t + 1)) + 1 : (unsigned long long)t;
    snprintf(buf, sizeof(buf), "%s%llu.%07llu", sign, a / 10000000ULL, a % 10000000ULL);
    return buf;
}

std::string DebugWide(const WCHAR* s) {
    if (!s) return "(null)";
    std::string out;
    for (; *s; ++s) out += (*s < 128) ? (char)*s : '?';
    return out;
}

}  // namespace dsb
