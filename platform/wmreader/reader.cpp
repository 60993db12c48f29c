/*
 * The reader object: COM face, command hand-off and the reader thread.
 * Demuxing and decoding are FFmpeg's (the asf demuxer over its file, http
 * and mmsh protocols); media types and buffers are in props.cpp.
 */
#include "wmreader_int.h"

#include <nserror.h>
#include <asferr.h>
#include <algorithm>
#include <cstring>
#include <strings.h>

extern "C" char *CDECL wine_get_unix_file_name(LPCWSTR dos);

namespace wmr {

std::atomic<LONG> g_live{0};
std::atomic<DWORD> g_stallMs{10000};

namespace {

bool starts_with_ci(const std::string &s, const char *prefix)
{
    size_t n = strlen(prefix);
    return s.size() >= n && !strncasecmp(s.c_str(), prefix, n);
}

std::string utf8(const WCHAR *w)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string s((size_t)n - 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, -1, &s[0], n, nullptr, nullptr);
    return s;
}

std::u16string wide(const char *s)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
    if (n <= 1) return std::u16string();
    std::u16string w((size_t)n - 1, u'\0');
    MultiByteToWideChar(CP_UTF8, 0, s, -1, reinterpret_cast<WCHAR *>(&w[0]), n);
    return w;
}

/* What an FFmpeg failure means to a Windows Media caller. */
HRESULT result_of(int err, bool timedOut)
{
    if (timedOut) return NS_E_TIMEOUT;
    switch (err) {
    case AVERROR_HTTP_NOT_FOUND: return NS_E_FILE_NOT_FOUND;
    case AVERROR_HTTP_UNAUTHORIZED:
    case AVERROR_HTTP_FORBIDDEN: return E_ACCESSDENIED;
    case AVERROR(ENOENT): return NS_E_FILE_NOT_FOUND;
    case AVERROR(ECONNREFUSED): return NS_E_CONNECTION_FAILURE;
    case AVERROR(EHOSTUNREACH):
    case AVERROR(ENETUNREACH): return NS_E_SERVER_NOT_FOUND;
    case AVERROR_INVALIDDATA: return NS_E_INVALID_DATA;
    case AVERROR(EIO): return NS_E_CONNECTION_FAILURE;
    default: break;
    }
    if (err == AVERROR_HTTP_BAD_REQUEST || err == AVERROR_HTTP_OTHER_4XX || err == AVERROR_HTTP_SERVER_ERROR)
        return NS_E_CONNECTION_FAILURE;
    return NS_E_INVALID_DATA;
}

} // namespace

Reader::Reader()
{
    InitializeCriticalSection(&cs);
    InitializeConditionVariable(&cv);
    g_live++;
}

Reader::~Reader()
{
    DeleteCriticalSection(&cs);
    g_live--;
}

HRESULT WINAPI Reader::QueryInterface(REFIID iid, void **out)
{
    if (!out) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IWMReader))
        *out = static_cast<IWMReader *>(this);
    else if (IsEqualGUID(iid, IID_IWMHeaderInfo))
        *out = static_cast<IWMHeaderInfo *>(this);
    else { *out = nullptr; return E_NOINTERFACE; }
    AddRef();
    return S_OK;
}

ULONG WINAPI Reader::Release()
{
    ULONG r = --refs;
    if (!r) {
        /* The last reference can only go once the thread has ended (it
         * holds one), so nothing of the thread's is left here. */
        if (thread) CloseHandle(thread);
        if (ending) CloseHandle(ending);
        if (callback) callback->Release();
        delete this;
    }
    return r;
}

/* ---- IWMReader ------------------------------------------------------- */

HRESULT WINAPI Reader::Open(const WCHAR *url, IWMReaderCallback *cb, void *context)
{
    if (!url || !cb) return E_INVALIDARG;
    EnterCriticalSection(&cs);
    if (!AwaitEnding() || thread || opening) { LeaveCriticalSection(&cs); return NS_E_INVALID_REQUEST; }

    std::string u = utf8(url);
    network = false;
    if (starts_with_ci(u, "mms://")) { u = "mmsh://" + u.substr(6); network = true; }
    else if (starts_with_ci(u, "mmsh://") || starts_with_ci(u, "http://")) network = true;
    else if (starts_with_ci(u, "file://")) u = u.substr(7);
    else {
        /* A path of this machine. */
        char *unix = wine_get_unix_file_name(url);
        if (!unix) { LeaveCriticalSection(&cs); return NS_E_FILE_NOT_FOUND; }
        u = unix;
        HeapFree(GetProcessHeap(), 0, unix);
    }
    location = u;
    if (callback) callback->Release();
    callback = cb;
    callback->AddRef();
    userContext = context;
    abort = false;
    opened = false;
    playing = paused = false;
    startPending = stopPending = false;
    outputs.clear();
    attributes.clear();
    opening = true;

    AddRef();   /* the thread's own reference */
    thread = CreateThread(nullptr, 0, ThreadMain, this, 0, &threadId);
    if (!thread) {
        opening = false;
        LeaveCriticalSection(&cs);
        Release();
        return E_OUTOFMEMORY;
    }
    LeaveCriticalSection(&cs);
    return S_OK;
}

HRESULT WINAPI Reader::Close()
{
    EnterCriticalSection(&cs);
    HANDLE t = thread;
    DWORD tid = threadId;
    abort = true;
    WakeAllConditionVariable(&cv);
    thread = nullptr;
    opening = false;
    if (t && GetCurrentThreadId() == tid) {
        /* Closed from one of our own callbacks: the thread is still on its
         * way out, so it cannot be waited for here. */
        ending = t;
        endingId = tid;
        LeaveCriticalSection(&cs);
        return S_OK;
    }
    AwaitEnding();
    LeaveCriticalSection(&cs);
    if (!t) return NS_E_INVALID_REQUEST;
    WaitForSingleObject(t, 3000);
    CloseHandle(t);
    return S_OK;
}

bool Reader::AwaitEnding()
{
    /* Under cs, which the ending thread may still need on its way out. */
    if (!ending) return true;
    if (GetCurrentThreadId() == endingId) return false;
    HANDLE h = ending;
    ending = nullptr;
    LeaveCriticalSection(&cs);
    WaitForSingleObject(h, 3000);
    CloseHandle(h);
    EnterCriticalSection(&cs);
    return true;
}

HRESULT WINAPI Reader::GetOutputCount(DWORD *count)
{
    if (!count) return E_POINTER;
    EnterCriticalSection(&cs);
    *count = opened ? (DWORD)outputs.size() : 0;
    HRESULT hr = opened ? S_OK : NS_E_INVALID_REQUEST;
    LeaveCriticalSection(&cs);
    return hr;
}

HRESULT WINAPI Reader::GetOutputProps(DWORD n, IWMOutputMediaProps **props)
{
    if (!props) return E_POINTER;
    *props = nullptr;
    EnterCriticalSection(&cs);
    HRESULT hr = NS_E_INVALID_REQUEST;
    if (opened && n < outputs.size()) {
        *props = new OutputProps(outputs[n].format);
        hr = S_OK;
    } else if (opened) hr = E_INVALIDARG;
    LeaveCriticalSection(&cs);
    return hr;
}

HRESULT WINAPI Reader::SetOutputProps(DWORD n, IWMOutputMediaProps *props)
{
    if (!props) return E_POINTER;
    DWORD size = 0;
    if (FAILED(props->GetMediaType(nullptr, &size)) || size < sizeof(WM_MEDIA_TYPE)) return E_INVALIDARG;
    std::vector<BYTE> raw(size);
    auto *mt = reinterpret_cast<WM_MEDIA_TYPE *>(raw.data());
    if (FAILED(props->GetMediaType(mt, &size))) return E_INVALIDARG;
    OutputFormat f;
    HRESULT hr = OutputFormat::FromMediaType(*mt, &f);
    if (FAILED(hr)) return hr;
    EnterCriticalSection(&cs);
    if (!opened) hr = NS_E_INVALID_REQUEST;
    else if (n >= outputs.size()) hr = E_INVALIDARG;
    else if (outputs[n].format.video != f.video) hr = NS_E_INVALID_OUTPUT_FORMAT;
    else { outputs[n].format = f; hr = S_OK; }
    LeaveCriticalSection(&cs);
    return hr;
}

HRESULT WINAPI Reader::GetOutputFormatCount(DWORD n, DWORD *count)
{
    if (!count) return E_POINTER;
    EnterCriticalSection(&cs);
    HRESULT hr = opened && n < outputs.size() ? S_OK : E_INVALIDARG;
    *count = SUCCEEDED(hr) ? (outputs[n].format.video ? 2 : 1) : 0;
    LeaveCriticalSection(&cs);
    return hr;
}

HRESULT WINAPI Reader::GetOutputFormat(DWORD n, DWORD index, IWMOutputMediaProps **props)
{
    if (!props) return E_POINTER;
    *props = nullptr;
    EnterCriticalSection(&cs);
    HRESULT hr = E_INVALIDARG;
    if (opened && n < outputs.size()) {
        OutputFormat f = outputs[n].native;
        if (f.video && index == 1) f.bitCount = 32;
        if (index < (f.video ? 2u : 1u)) { *props = new OutputProps(f); hr = S_OK; }
    }
    LeaveCriticalSection(&cs);
    return hr;
}

HRESULT WINAPI Reader::Start(QWORD start, QWORD duration, float rate, void *context)
{
    (void)duration;
    if (rate == 0.0f) return E_INVALIDARG;
    EnterCriticalSection(&cs);
    HRESULT hr = S_OK;
    if (!opened || abort) hr = NS_E_INVALID_REQUEST;
    else if (rate < 0 && !seekable) hr = NS_E_INVALID_REQUEST;
    else {
        startPending = true;
        stopPending = false;
        startAt = start;
        startRate = rate;
        startContext = context;
        WakeAllConditionVariable(&cv);
    }
    LeaveCriticalSection(&cs);
    return hr;
}

HRESULT WINAPI Reader::Stop()
{
    EnterCriticalSection(&cs);
    HRESULT hr = opened && !abort ? S_OK : NS_E_INVALID_REQUEST;
    if (SUCCEEDED(hr)) {
        stopPending = true;
        startPending = false;
        WakeAllConditionVariable(&cv);
    }
    LeaveCriticalSection(&cs);
    return hr;
}

HRESULT WINAPI Reader::Pause()
{
    EnterCriticalSection(&cs);
    HRESULT hr = playing && !abort ? S_OK : NS_E_INVALID_REQUEST;
    if (SUCCEEDED(hr) && !paused) {
        paused = true;
        pausedAtTick = GetTickCount64();
        WakeAllConditionVariable(&cv);
    }
    LeaveCriticalSection(&cs);
    return hr;
}

HRESULT WINAPI Reader::Resume()
{
    EnterCriticalSection(&cs);
    HRESULT hr = playing && !abort ? S_OK : NS_E_INVALID_REQUEST;
    if (SUCCEEDED(hr) && paused) {
        paused = false;
        /* The clock goes on from where the pause held it. */
        clockStartTick += GetTickCount64() - pausedAtTick;
        resumePending = true;
        WakeAllConditionVariable(&cv);
    }
    LeaveCriticalSection(&cs);
    return hr;
}

/* ---- IWMHeaderInfo ------------------------------------------------------ */

HRESULT WINAPI Reader::GetAttributeCount(WORD stream, WORD *count)
{
    if (!count) return E_POINTER;
    EnterCriticalSection(&cs);
    WORD n = 0;
    for (auto &a : attributes)
        if (a.stream == stream) n++;
    *count = n;
    LeaveCriticalSection(&cs);
    return S_OK;
}

static HRESULT copy_value(const Attribute &a, WMT_ATTR_DATATYPE *type, BYTE *value, WORD *length)
{
    if (type) *type = a.type;
    WORD need = (WORD)a.value.size();
    if (!value) { *length = need; return S_OK; }
    if (*length < need) { *length = need; return ASF_E_BUFFERTOOSMALL; }
    memcpy(value, a.value.data(), need);
    *length = need;
    return S_OK;
}

HRESULT WINAPI Reader::GetAttributeByIndex(WORD index, WORD *stream, WCHAR *name, WORD *nameLength,
                                           WMT_ATTR_DATATYPE *type, BYTE *value, WORD *length)
{
    if (!stream || !nameLength || !length) return E_POINTER;
    EnterCriticalSection(&cs);
    HRESULT hr = E_INVALIDARG;
    WORD k = 0;
    for (auto &a : attributes) {
        if (a.stream != *stream) continue;
        if (k++ != index) continue;
        WORD needName = (WORD)(a.name.size() + 1);
        if (name && *nameLength < needName) { *nameLength = needName; hr = ASF_E_BUFFERTOOSMALL; break; }
        if (name) memcpy(name, a.name.c_str(), needName * sizeof(WCHAR));
        *nameLength = needName;
        hr = copy_value(a, type, value, length);
        break;
    }
    LeaveCriticalSection(&cs);
    return hr;
}

HRESULT WINAPI Reader::GetAttributeByName(WORD *stream, LPCWSTR name, WMT_ATTR_DATATYPE *type, BYTE *value,
                                          WORD *length)
{
    if (!stream || !name || !length) return E_POINTER;
    EnterCriticalSection(&cs);
    HRESULT hr = ASF_E_NOTFOUND;
    for (auto &a : attributes) {
        if (a.stream != *stream || lstrcmpiW(reinterpret_cast<const WCHAR *>(a.name.c_str()), name)) continue;
        hr = copy_value(a, type, value, length);
        break;
    }
    LeaveCriticalSection(&cs);
    return hr;
}

/* ---- reader thread ------------------------------------------------------- */

DWORD WINAPI Reader::ThreadMain(void *arg)
{
    auto *self = static_cast<Reader *>(arg);
    self->Run();
    self->Release();
    return 0;
}

int Reader::Interrupt(void *arg)
{
    auto *self = static_cast<Reader *>(arg);
    if (self->abort) return 1;
    if (GetTickCount64() > self->deadline.load()) { self->timedOut = true; return 1; }
    return 0;
}

void Reader::Arm()
{
    timedOut = false;
    deadline = GetTickCount64() + g_stallMs.load();
}

void Reader::Status(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE type, const BYTE *value)
{
    callback->OnStatus(status, hr, type, const_cast<BYTE *>(value), userContext);
}

void Reader::Run()
{
    Demux d;
    d.owner = this;
    if (network) Status(WMT_LOCATING, S_OK, WMT_TYPE_DWORD, nullptr);

    HRESULT hr = OpenStream(&d);
    if (FAILED(hr)) {
        if (!abort) Status(WMT_ERROR, hr, WMT_TYPE_DWORD, nullptr);
    } else {
        EnterCriticalSection(&cs);
        opened = true;
        opening = false;
        LeaveCriticalSection(&cs);
        if (!abort) Status(WMT_OPENED, S_OK, WMT_TYPE_DWORD, nullptr);
        Play(&d);
    }
    d.Close();
    EnterCriticalSection(&cs);
    opened = false;
    opening = false;
    LeaveCriticalSection(&cs);
    Status(WMT_CLOSED, S_OK, WMT_TYPE_DWORD, nullptr);
}

HRESULT Reader::OpenStream(Demux *d)
{
    d->fmt = avformat_alloc_context();
    if (!d->fmt) return E_OUTOFMEMORY;
    d->fmt->interrupt_callback.callback = Interrupt;
    d->fmt->interrupt_callback.opaque = this;
    /* http:// asks for the plain ASF stream; mms:// goes through FFmpeg's
     * mmsh protocol, which speaks the Windows Media framing. */
    AVDictionary *opts = nullptr;
    Arm();
    int r = avformat_open_input(&d->fmt, location.c_str(), av_find_input_format("asf"), &opts);
    av_dict_free(&opts);
    if (r < 0) { d->fmt = nullptr; return result_of(r, timedOut); }
    d->fmt->max_analyze_duration = AV_TIME_BASE / 2;
    Arm();
    r = avformat_find_stream_info(d->fmt, nullptr);
    if (r < 0) return result_of(r, timedOut);
    if (abort) return E_ABORT;

    std::vector<OutputInfo> found;
    for (unsigned i = 0; i < d->fmt->nb_streams; i++) {
        AVStream *st = d->fmt->streams[i];
        AVCodecParameters *par = st->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_VIDEO && par->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        const AVCodec *codec = par->codec_id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(par->codec_id);
        if (!codec) {
            WCHAR text[39];
            WmrCodecClassText(par->codec_type == AVMEDIA_TYPE_VIDEO ? par->codec_tag : (DWORD)par->codec_tag, text);
            if (!abort)
                Status(WMT_MISSING_CODEC, NS_E_UNRECOGNIZED_STREAM_TYPE, WMT_TYPE_STRING,
                       reinterpret_cast<const BYTE *>(text));
            continue;
        }
        OutputInfo o;
        o.stream = (int)i;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
            if (par->width <= 0 || par->height <= 0 || par->width > 8192 || par->height > 8192) continue;
            o.native = OutputFormat::Video(par->width, par->height, 24, st->avg_frame_rate);
        } else {
            int ch = par->ch_layout.nb_channels;
            if (par->sample_rate <= 0 || ch <= 0) continue;
            o.native = OutputFormat::Audio(par->sample_rate, std::min(ch, 2));
        }
        o.format = o.native;
        AVCodecContext *dec = avcodec_alloc_context3(codec);
        if (!dec) continue;
        avcodec_parameters_to_context(dec, par);
        dec->pkt_timebase = st->time_base;
        dec->thread_count = 1;
        if (avcodec_open2(dec, codec, nullptr) < 0) { avcodec_free_context(&dec); continue; }
        found.push_back(o);
        d->decs.push_back(dec);
    }
    if (found.empty()) return NS_E_INVALID_DATA;
    d->outputs = found;
    d->sws.assign(found.size(), nullptr);
    d->swr.assign(found.size(), nullptr);
    d->swrKey.assign(found.size() * 2, 0);
    d->nextTime.assign(found.size(), 0);
    d->needKey.assign(found.size(), 1);

    /* Header attributes: the file's duration and descriptive texts. */
    std::vector<Attribute> attrs;
    bool live = !(d->fmt->pb && (d->fmt->pb->seekable & AVIO_SEEKABLE_NORMAL));
    if (d->fmt->duration > 0 && d->fmt->duration != AV_NOPTS_VALUE) {
        QWORD dur = (QWORD)d->fmt->duration * 10;
        attrs.push_back(Attribute::Qword(u"Duration", dur));
    }
    attrs.push_back(Attribute::Bool(u"Seekable", !live));
    attrs.push_back(Attribute::Bool(u"Broadcast", live));
    static const struct { const char *key; const char16_t *name; } texts[] = {
        {"title", u"Title"}, {"author", u"Author"}, {"artist", u"Author"},
        {"copyright", u"Copyright"}, {"comment", u"Description"}};
    for (auto &t : texts) {
        AVDictionaryEntry *e = av_dict_get(d->fmt->metadata, t.key, nullptr, 0);
        if (!e) continue;
        bool have = false;
        for (auto &a : attrs) have |= a.name == t.name;
        if (!have) attrs.push_back(Attribute::String(t.name, wide(e->value)));
    }
    d->startTime = d->fmt->start_time == AV_NOPTS_VALUE ? 0 : d->fmt->start_time;

    EnterCriticalSection(&cs);
    outputs = found;
    attributes = attrs;
    seekable = !live;
    LeaveCriticalSection(&cs);
    return S_OK;
}

/* The playing loop: commands first, then the next sample when it is due. */
void Reader::Play(Demux *d)
{
    std::deque<Sample> pending;
    float rate = 1.0f;
    LONGLONG mediaStart = 0;    /* media time the clock started from */
    LONGLONG lastTime = 0;      /* time of the last sample delivered */
    LONGLONG reversePos = 0;
    bool ended = false;

    for (;;) {
        EnterCriticalSection(&cs);
        if (abort) { LeaveCriticalSection(&cs); DropSamples(&pending); return; }
        if (stopPending) {
            stopPending = false;
            playing = paused = false;
            DropSamples(&pending);
            LeaveCriticalSection(&cs);
            Status(WMT_STOPPED, S_OK, WMT_TYPE_DWORD, nullptr);
            continue;
        }
        if (startPending) {
            startPending = false;
            QWORD at = startAt;
            rate = startRate;
            playing = true;
            paused = false;
            ApplyFormats(d);
            LeaveCriticalSection(&cs);
            DropSamples(&pending);
            LONGLONG target = at == WMR_START_CURRENTPOSITION ? lastTime : (LONGLONG)at;
            bool needSeek = at != WMR_START_CURRENTPOSITION && (ended || target != lastTime || d->delivered);
            if (needSeek && seekable) { d->Seek(target); d->delivered = false; }
            if (needSeek && !seekable && ended) {
                /* A live stream that ended has nothing more to give. */
                Status(WMT_STARTED, S_OK, WMT_TYPE_DWORD, nullptr);
                Status(WMT_EOF, S_OK, WMT_TYPE_DWORD, nullptr);
                EnterCriticalSection(&cs);
                playing = false;
                LeaveCriticalSection(&cs);
                continue;
            }
            ended = false;
            mediaStart = lastTime = target;
            reversePos = target;
            if (rate < 0 && at == WMR_START_CURRENTPOSITION) reversePos = lastTime;
            EnterCriticalSection(&cs);
            clockStartTick = GetTickCount64();
            LeaveCriticalSection(&cs);
            Status(WMT_STARTED, S_OK, WMT_TYPE_DWORD, nullptr);
            continue;
        }
        if (resumePending) {
            resumePending = false;
            LeaveCriticalSection(&cs);
            Status(WMT_STARTED, S_OK, WMT_TYPE_DWORD, nullptr);
            continue;
        }
        if (!playing || paused) {
            SleepConditionVariableCS(&cv, &cs, INFINITE);
            LeaveCriticalSection(&cs);
            continue;
        }
        ULONGLONG started = clockStartTick;
        LeaveCriticalSection(&cs);

        if (pending.empty()) {
            HRESULT hr;
            if (rate < 0) {
                /* One picture every 0.1 s of wall time; the start itself is
                 * the last picture before the end is reported. */
                LONGLONG step = (LONGLONG)(-rate * 1000000.0);
                if (reversePos <= 0) hr = S_FALSE;
                else {
                    reversePos = std::max<LONGLONG>(0, reversePos - step);
                    hr = d->PictureAt(reversePos, &pending);
                }
            } else {
                hr = d->Next(rate == 1.0f, &pending);
            }
            if (hr == S_FALSE || FAILED(hr)) {
                if (abort) { DropSamples(&pending); return; }
                EnterCriticalSection(&cs);
                playing = false;
                LeaveCriticalSection(&cs);
                ended = true;
                if (FAILED(hr)) Status(WMT_ERROR, hr, WMT_TYPE_DWORD, nullptr);
                else Status(WMT_EOF, S_OK, WMT_TYPE_DWORD, nullptr);
            }
            continue;
        }

        Sample &s = pending.front();
        double wallMs = rate > 0 ? (double)(s.time - mediaStart) / 10000.0 / rate
                                 : (double)(mediaStart - s.time) / 10000.0 / -rate;
        ULONGLONG due = started + (ULONGLONG)std::max(0.0, wallMs);
        ULONGLONG now = GetTickCount64();
        if (now < due) {
            EnterCriticalSection(&cs);
            if (!abort && !startPending && !stopPending && !paused)
                SleepConditionVariableCS(&cv, &cs, (DWORD)std::min<ULONGLONG>(due - now, 1000));
            LeaveCriticalSection(&cs);
            continue;
        }
        Sample out = s;
        pending.pop_front();
        lastTime = out.time;
        d->delivered = true;
        callback->OnSample(out.output, (QWORD)out.time, (QWORD)out.duration, out.flags, out.buffer, userContext);
        out.buffer->Release();
    }
}

/* Output formats asked for since the last start reach the converters
 * (called under cs). */
void Reader::ApplyFormats(Demux *d)
{
    d->outputs = outputs;
}

} // namespace wmr

using namespace wmr;

HRESULT WmrCreateReader(IUnknown *reserved, DWORD rights, IWMReader **reader)
{
    (void)reserved;
    (void)rights;
    if (!reader) return E_POINTER;
    *reader = new Reader;
    return S_OK;
}

void WmrSetStallTimeout(DWORD ms) { g_stallMs = ms ? ms : 10000; }
LONG WmrLiveReaders() { return g_live.load(); }

void WmrCodecClassText(DWORD code, WCHAR out[39])
{
    char text[40];
    snprintf(text, sizeof(text), "{%08X-0000-0010-8000-00AA00389B71}", (unsigned)code);
    for (int i = 0; i < 39; i++) out[i] = (WCHAR)(unsigned char)text[i];
}
