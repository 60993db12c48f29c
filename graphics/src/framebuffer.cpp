// Frame-buffer dispatch: the parameter string, binding of board driver
// libraries by file name, and the thin forwarders that call the operation
// slots the driver filled in.  The core keeps no list of open records.
#include <windows.h>
#include <wine/debug.h>
#include <stdlib.h>
#include <string.h>
#include "m32.h"
#include "framebuffer.h"

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

static_assert(sizeof(FrameBufferParams) == FB_PARAMS_SIZE, "FrameBufferParams is 300 bytes");
static_assert(offsetof(FrameBufferParams, flags) == 268, "flags follow the 260-character name");
static_assert(offsetof(FrameBufferParams, noinit) == 296, "noinit is the last word");
// Word order of the record with natural pointer width.
static_assert(offsetof(FrameBufferRecord, library) == 16, "library handle is word 3");
static_assert(offsetof(FrameBufferRecord, driver) == 32, "driver block is word 5");
static_assert(sizeof(FrameBufferRecord) == 40 + 64 * sizeof(void *), "70 words");
static_assert(sizeof(RemoteControlRecord) == 24 + 6 * sizeof(void *), "9 words");

// ---- Parameter string ---------------------------------------------------

static bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

namespace {

// One token: its text and, per character, whether it stood inside quotes.
struct Token {
    char text[FB_TOKEN_MAX + 1];
    bool quoted[FB_TOKEN_MAX + 1];
    int length;
};

enum class TokenResult { Ok, End, TooLong };

// Reads the next token from *p; blanks says whether blanks separate.
TokenResult next_token(const char *&p, bool blanks, Token &t)
{
    t.length = 0;
    while (*p && is_space(*p)) ++p;
    bool inQuotes = false;
    while (*p) {
        char c = *p;
        if (c == '"') {
            ++p;
            if (inQuotes) break;     // the second quote ends the token
            inQuotes = true;
            continue;
        }
        if (!inQuotes && (c == (blanks ? ' ' : ',') || (blanks && is_space(c)))) break;
        if (t.length >= FB_TOKEN_MAX) return TokenResult::TooLong;
        t.quoted[t.length] = inQuotes;
        t.text[t.length++] = c;
        ++p;
    }
    // Step over the separator that ended the token (or anything left up to
    // it after a closing quote).
    while (*p && *p != (blanks ? ' ' : ',') && !(blanks && is_space(*p))) ++p;
    if (*p) ++p;
    // With comma separation, blanks before the comma belong to nobody.
    if (!blanks)
        while (t.length > 0 && !t.quoted[t.length - 1] && is_space(t.text[t.length - 1])) --t.length;
    t.text[t.length] = 0;
    return t.length ? TokenResult::Ok : TokenResult::End;
}

DWORD number(const char *s) { return (DWORD)strtoul(s, nullptr, 0); }

void apply_key(FrameBufferParams *fp, const char *key, const char *value)
{
    if (!lstrcmpiA(key, "dllname")) {
        lstrcpynA(fp->library, value, sizeof fp->library);
    } else if (!lstrcmpiA(key, "board")) {
        DWORD v = number(value);
        fp->board = v & 0x1F;
        fp->base = v & 0xFFE0;
    } else if (!lstrcmpiA(key, "base")) {
        fp->base = number(value);
    } else if (!lstrcmpiA(key, "x") || !lstrcmpiA(key, "left")) {
        fp->x = (LONG)number(value);
        fp->flags |= FB_FLAG_GEOMETRY;
    } else if (!lstrcmpiA(key, "y") || !lstrcmpiA(key, "top")) {
        fp->y = (LONG)number(value);
        fp->flags |= FB_FLAG_GEOMETRY;
    } else if (!lstrcmpiA(key, "width") || !lstrcmpiA(key, "dx")) {
        fp->width = (LONG)number(value);
        fp->flags |= FB_FLAG_GEOMETRY;
    } else if (!lstrcmpiA(key, "height") || !lstrcmpiA(key, "dy")) {
        fp->height = (LONG)number(value);
        fp->flags |= FB_FLAG_GEOMETRY;
    } else if (!lstrcmpiA(key, "noinit")) {
        fp->noinit = number(value);
    }
}

} // namespace

extern "C" void fb_parse_into(FrameBufferParams *fp, const char *text)
{
    if (!text) return;
    static const char *const positional[] = { "dllname", "board", "x", "y", "width", "height" };
    const bool blanks = strchr(text, ',') == nullptr;
    const char *p = text;
    int nextPositional = 0;
    Token t;
    for (;;) {
        if (next_token(p, blanks, t) != TokenResult::Ok) return;
        if (!lstrcmpiA(t.text, "noinit")) {
            fp->noinit = 1;
            continue;
        }
        char *eq = strchr(t.text, '=');
        if (eq) {
            *eq = 0;
            // The value runs up to the next blank that was not quoted.
            int start = (int)(eq + 1 - t.text), end = start;
            while (end < t.length && !(is_space(t.text[end]) && !t.quoted[end])) ++end;
            t.text[end] = 0;
            apply_key(fp, t.text, t.text + start);
            continue;
        }
        if (nextPositional >= 6) return;
        apply_key(fp, positional[nextPositional++], t.text);
    }
}

extern "C" DWORD fb_board_word(const FrameBufferParams *fp)
{
    // Board number and base as one sum in the low 16 bits, options above.
    DWORD word = ((fp->board & 0x1F) + fp->base) & 0xFFFF;
    static const struct { DWORD flag, bit; } options[] = {
        { 1u << 6, 1u << 25 }, { 1u << 5, 1u << 26 }, { 1u << 4, 1u << 27 },
        { 1u << 3, 1u << 28 }, { 1u << 2, 1u << 29 }, { 1u << 1, 1u << 30 },
    };
    for (const auto &o : options)
        if (fp->flags & o.flag) word |= o.bit;
    if (fp->noinit) word |= FB_BOARD_NOINIT;
    return word;
}

extern "C" LONG fb_library_path(const char *name, char *out, DWORD size)
{
    if (!name || !out || !size) return 0;
    const bool absolute = name[0] == '\\' || (name[0] && name[1] == ':');
    char path[MAX_PATH * 2];
    if (absolute) {
        lstrcpynA(path, name, sizeof path);
    } else {
        UINT n = GetSystemDirectoryA(path, MAX_PATH);
        if (!n || n >= MAX_PATH) return 0;
        path[n] = '\\';
        lstrcpynA(path + n + 1, name, (int)(sizeof path - n - 1));
    }
    if ((DWORD)lstrlenA(path) >= size) return 0;
    lstrcpyA(out, path);
    return 1;
}

extern "C" {

LONG PIXAPI GetNumFrameBuffers(LPCSTR library)
{
    WINE_TRACE("(%s)\n", wine_dbgstr_a(library));
    if (!library) return 0;
    HMODULE module = LoadLibraryA(library);
    if (!module) return 0;
    LONG count = 0;
    auto proc = (GetNumBoardsProc)(void *)GetProcAddress(module, "GetNumBoards");
    if (proc) count = proc();
    FreeLibrary(module);
    return count;
}

FrameBufferParams *PIXAPI ParseFrameBufferParams(LPCSTR text)
{
    WINE_TRACE("(%s)\n", wine_dbgstr_a(text));
    FrameBufferParams *fp = m32_new<FrameBufferParams>();
    if (!fp) return nullptr;
    fp->size = FB_PARAMS_SIZE;
    fb_parse_into(fp, text);
    return fp;
}

LONG PIXAPI DeleteFrameBufferParams(FrameBufferParams *params)
{
    WINE_TRACE("(%p)\n", params);
    return params ? M32_free(params) : 0;
}

FrameBufferRecord *PIXAPI EnableFrameBufferEx(FrameBufferParams *params)
{
    WINE_TRACE("(%p)\n", params);
    if (!params) return nullptr;
    char name[sizeof params->library + 1];
    memcpy(name, params->library, sizeof params->library);
    name[sizeof params->library] = 0;       // a caller-filled name may lack its NUL
    char path[MAX_PATH * 2];
    if (!fb_library_path(name, path, sizeof path)) return nullptr;
    HMODULE module = LoadLibraryA(path);
    if (!module) {
        WINE_WARN("cannot load board driver %s\n", wine_dbgstr_a(path));
        return nullptr;
    }
    auto enable = (EnableBoardProc)(void *)GetProcAddress(module, "EnableBoard");
    FrameBufferRecord *record = enable ? m32_new<FrameBufferRecord>() : nullptr;
    if (!record) {
        FreeLibrary(module);
        return nullptr;
    }
    record->library = module;
    record->board = fb_board_word(params);
    if (!enable(record)) {
        WINE_WARN("board driver %s refused board word %08x\n", wine_dbgstr_a(path), (unsigned)record->board);
        M32_free(record);
        FreeLibrary(module);
        return nullptr;
    }
    if (params->flags & FB_FLAG_GEOMETRY)
        WindowFrameBuffer(record, params->x, params->y, params->width, params->height);
    return record;
}

FrameBufferRecord *PIXAPI EnableFrameBuffer(LPCSTR text)
{
    WINE_TRACE("(%s)\n", wine_dbgstr_a(text));
    FrameBufferParams *fp = ParseFrameBufferParams(text);
    if (!fp) return nullptr;
    FrameBufferRecord *record = EnableFrameBufferEx(fp);
    // The parameters are ours: free them once the board is open (or not).
    DeleteFrameBufferParams(fp);
    return record;
}

LONG PIXAPI DisableFrameBuffer(FrameBufferRecord *record)
{
    WINE_TRACE("(%p)\n", record);
    if (!record) return 0;
    if (FB_SLOT(record, FBW_DISABLE)) ((LONG(PIXAPI *)(FrameBufferRecord *))FB_SLOT(record, FBW_DISABLE))(record);
    HMODULE module = record->library;
    M32_free(record);
    if (module) FreeLibrary(module);
    return 0;
}

LONG PIXAPI GetBoardCaps(FrameBufferRecord *record)
{
    return record ? (LONG)record->caps : 0;
}

RemoteControlRecord *PIXAPI EnableRemoteControl(LPCSTR text)
{
    WINE_TRACE("(%s)\n", wine_dbgstr_a(text));
    if (!text || lstrlenA(text) >= 256) return nullptr;
    char name[256];
    const char *blank = strchr(text, ' ');
    size_t n = blank ? (size_t)(blank - text) : strlen(text);
    memcpy(name, text, n);
    name[n] = 0;
    DWORD device = 0;
    if (blank) device = (DWORD)strtoul(strrchr(text, ' ') + 1, nullptr, 10);
    if (!name[0]) return nullptr;
    // Always from the system directory, whatever the name looks like.
    char path[MAX_PATH * 2];
    UINT len = GetSystemDirectoryA(path, MAX_PATH);
    if (!len || len >= MAX_PATH) return nullptr;
    path[len] = '\\';
    lstrcpynA(path + len + 1, name, (int)(sizeof path - len - 1));
    HMODULE module = LoadLibraryA(path);
    if (!module) return nullptr;
    auto enable = (EnableControlProc)(void *)GetProcAddress(module, "EnableControl");
    RemoteControlRecord *record = enable ? m32_new<RemoteControlRecord>() : nullptr;
    if (!record) {
        FreeLibrary(module);
        return nullptr;
    }
    record->library = module;
    record->device = device;
    if (!enable(record)) {
        M32_free(record);
        FreeLibrary(module);
        return nullptr;
    }
    return record;
}

LONG PIXAPI DisableRemoteControl(RemoteControlRecord *record)
{
    WINE_TRACE("(%p)\n", record);
    if (!record) return 0;
    if (RC_SLOT(record, RCW_DISABLE))
        ((LONG(PIXAPI *)(RemoteControlRecord *))RC_SLOT(record, RCW_DISABLE))(record);
    HMODULE module = record->library;
    M32_free(record);
    if (module) FreeLibrary(module);
    return 0;
}

FrameBufferRecord *PIXAPI SDRCreateFrameBuffer(FrameBufferRecord *record, LONG_PTR a, LONG_PTR b, LONG_PTR c,
                                               LONG_PTR d, LONG_PTR e, LONG_PTR f)
{
    WINE_TRACE("(%p, ...)\n", record);
    if (!record || !FB_SLOT(record, FBW_SDR_CREATE)) return nullptr;
    FrameBufferRecord *copy = m32_new<FrameBufferRecord>();
    if (!copy) return nullptr;
    *copy = *record;
    typedef LONG(PIXAPI * Create)(FrameBufferRecord *, LONG_PTR, LONG_PTR, LONG_PTR, LONG_PTR, LONG_PTR, LONG_PTR);
    if (!((Create)FB_SLOT(record, FBW_SDR_CREATE))(copy, a, b, c, d, e, f)) {
        M32_free(copy);
        return nullptr;
    }
    return copy;
}

LONG PIXAPI SDRDeleteFrameBuffer(FrameBufferRecord *record)
{
    WINE_TRACE("(%p)\n", record);
    if (!record || !FB_SLOT(record, FBW_SDR_DELETE)) return 0;
    ((LONG(PIXAPI *)(FrameBufferRecord *))FB_SLOT(record, FBW_SDR_DELETE))(record);
    M32_free(record);
    return 0;
}

LONG PIXAPI _PlaceHolder1(void) { return 0; }
LONG PIXAPI _PlaceHolder2(void) { return 0; }

} // extern "C"

// ---- Forwarders -----------------------------------------------------------

namespace {

struct Results { LONG nullRecord, emptySlot; };
constexpr Results results_FB{ 0, 0 }, results_FBPTR{ 0, 0 }, results_MB{ -2, -30 }, results_MBZERO{ 0, 0 }, results_MBCUT{ -2, 0 },
    results_RC{ 0, 0 }, results_SDRCONNECT{ 0, 0 };

void *slot_of(FrameBufferRecord *r, int word) { return FB_SLOT(r, word); }
void *slot_of(RemoteControlRecord *r, int word) { return RC_SLOT(r, word); }

/* R is the slot's own result type: a driver's layer and line slots answer
 * addresses, which must come back whole. */
template <class R, class Record, class... Args>
R forward(const char *name, Record *record, int word, Results res, Args... args)
{
    WINE_TRACE("%s(%p)\n", name, record);
    if (!record) return res.nullRecord;
    void *slot = slot_of(record, word);
    if (!slot) return res.emptySlot;
    return ((R(PIXAPI *)(Record *, Args...))slot)(record, args...);
}

} // namespace

#define PMFB_ARGS_0
#define PMFB_ARGS_1 , a1
#define PMFB_ARGS_2 PMFB_ARGS_1, a2
#define PMFB_ARGS_3 PMFB_ARGS_2, a3
#define PMFB_ARGS_4 PMFB_ARGS_3, a4
#define PMFB_ARGS_5 PMFB_ARGS_4, a5
#define PMFB_ARGS_6 PMFB_ARGS_5, a6
#define PMFB_ARGS_7 PMFB_ARGS_6, a7
#define PMFB_ARGS_8 PMFB_ARGS_7, a8
#define PMFB_PRECHECK_FB(n)
#define PMFB_PRECHECK_FBPTR(n)
#define PMFB_PRECHECK_MB(n)
#define PMFB_PRECHECK_MBZERO(n)
#define PMFB_PRECHECK_MBCUT(n)
#define PMFB_PRECHECK_RC(n)
#define PMFB_PRECHECK_SDRCONNECT(n) if (!record || !a1) return 0;
#define PMFB_DEFINE(name, word, n, kind)                                           \
    extern "C" PMFB_RESULT_##kind PIXAPI name(PMFB_RECORD_##kind *record PMFB_PARAMS_##n) \
    {                                                                              \
        PMFB_PRECHECK_##kind(n)                                                    \
        return forward<PMFB_RESULT_##kind>(#name, record, word, results_##kind PMFB_ARGS_##n); \
    }
PIXMOOR_FRAMEBUFFER_FORWARDERS(PMFB_DEFINE)
