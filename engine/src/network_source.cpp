#include "network_source.h"
#include "clock.h"
#include "painter.h"
#include "writers.h"
#include "grab_cb.h"
#include "wmreader.h"

#include <nserror.h>
#include <uuids.h>
#include <amvideo.h>
#include <mmreg.h>
#include <vector>
#include <cstring>

CodecFetchFn g_codecFetchHook;
DWORD g_codecDownloadWaitMs = 60000;
std::atomic<int> g_codecDownloads{0};

/* ---- reader callback ------------------------------------------------------ */

HRESULT WINAPI CReaderCallback::QueryInterface(REFIID iid, void **out)
{
    if (!out) return E_POINTER;
    if (IsEqualGUID(iid, IID_IWMReaderCallback) || IsEqualGUID(iid, IID_IWMStatusCallback) ||
        IsEqualGUID(iid, IID_IUnknown)) {
        *out = static_cast<IWMReaderCallback *>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG WINAPI CReaderCallback::Release()
{
    ULONG r = --refs;
    if (!r) delete this;
    return r;
}

void CReaderCallback::Detach()
{
    AcquireSRWLockExclusive(&gate);
    owner = nullptr;
    ReleaseSRWLockExclusive(&gate);
}

HRESULT WINAPI CReaderCallback::OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE type, BYTE *value,
                                         void *)
{
    AcquireSRWLockShared(&gate);
    if (owner) owner->OnStatus(status, hr, type, value);
    ReleaseSRWLockShared(&gate);
    return S_OK;
}

HRESULT WINAPI CReaderCallback::OnSample(DWORD output, QWORD time, QWORD, DWORD, INSSBuffer *sample, void *)
{
    AcquireSRWLockShared(&gate);
    if (owner && sample) owner->OnSample(output, time, sample);
    ReleaseSRWLockShared(&gate);
    return S_OK;
}

/* ---- header attributes ---------------------------------------------------- */

/* Attribute values are read into one buffer for the whole process. */
static BYTE g_attributeBuffer[1024];

CAsfHeader::CAsfHeader(IWMReader *reader)
{
    lastResult = reader ? reader->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void **>(&info)) : E_POINTER;
}

CAsfHeader::~CAsfHeader()
{
    if (info) info->Release();
}

const BYTE *CAsfHeader::GetAttribute(const WCHAR *name, WMT_ATTR_DATATYPE *type, WORD *length)
{
    if (!info) return nullptr;
    WORD stream = 0;
    WORD len = sizeof(g_attributeBuffer);
    lastResult = info->GetAttributeByName(&stream, name, type, g_attributeBuffer, &len);
    if (FAILED(lastResult)) return nullptr;
    if (length) *length = len;
    return g_attributeBuffer;
}

/* ---- codec download --------------------------------------------------------- */

CCodecDownloader::CCodecDownloader()
{
    event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

CCodecDownloader::~CCodecDownloader()
{
    if (object) object->Release();
    if (event) CloseHandle(event);
}

HRESULT WINAPI CCodecDownloader::QueryInterface(REFIID iid, void **out)
{
    if (!out) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IBindStatusCallback))
        *out = static_cast<IBindStatusCallback *>(this);
    else if (IsEqualGUID(iid, IID_IServiceProvider))
        *out = static_cast<IServiceProvider *>(this);
    else if (IsEqualGUID(iid, IID_IAuthenticate))
        *out = static_cast<IAuthenticate *>(this);
    else if (IsEqualGUID(iid, IID_ICodeInstall) || IsEqualGUID(iid, IID_IWindowForBindingUI))
        *out = static_cast<ICodeInstall *>(this);
    else { *out = nullptr; return E_NOINTERFACE; }
    AddRef();
    return S_OK;
}

ULONG WINAPI CCodecDownloader::Release()
{
    ULONG r = --refs;
    if (!r) delete this;
    return r;
}

HRESULT WINAPI CCodecDownloader::OnProgress(ULONG p, ULONG max, ULONG, LPCWSTR)
{
    progress = p;
    progressMax = max;
    return S_OK;
}

HRESULT WINAPI CCodecDownloader::OnStopBinding(HRESULT hr, LPCWSTR)
{
    lastResult = hr;
    SetEvent(event);
    return S_OK;
}

HRESULT WINAPI CCodecDownloader::GetBindInfo(DWORD *flags, BINDINFO *info)
{
    if (!flags || !info) return E_INVALIDARG;
    *flags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE;
    /* Every field zero except the size the caller gave (never more than it
     * said it has room for). */
    DWORD size = info->cbSize;
    if (size < sizeof(DWORD)) return E_INVALIDARG;
    memset(info, 0, size < sizeof(BINDINFO) ? size : sizeof(BINDINFO));
    info->cbSize = size;
    return S_OK;
}

HRESULT WINAPI CCodecDownloader::OnObjectAvailable(REFIID, IUnknown *obj)
{
    if (obj) obj->AddRef();
    if (object) object->Release();
    object = obj;
    return S_OK;
}

HRESULT WINAPI CCodecDownloader::QueryService(REFGUID, REFIID, void **out)
{
    if (out) *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT WINAPI CCodecDownloader::Authenticate(HWND *window, LPWSTR *user, LPWSTR *password)
{
    if (window) *window = nullptr;
    if (user) *user = nullptr;
    if (password) *password = nullptr;
    return S_OK;
}

HRESULT WINAPI CCodecDownloader::GetWindow(REFGUID, HWND *window)
{
    if (window) *window = nullptr;
    return S_OK;
}

typedef HRESULT(WINAPI *CreateAsyncBindCtxFn)(DWORD, IBindStatusCallback *, IEnumFORMATETC *, IBindCtx **);
typedef HRESULT(WINAPI *CoGetClassObjectFromURLFn)(REFCLSID, LPCWSTR, DWORD, DWORD, LPCWSTR, LPBINDCTX, DWORD,
                                                    LPVOID, REFIID, LPVOID *);

HRESULT CCodecDownloader::Download(REFCLSID clsid, HANDLE cancel)
{
    g_codecDownloads++;
    IBindStatusCallback *cb = nullptr;
    QueryInterface(IID_IBindStatusCallback, reinterpret_cast<void **>(&cb));
    HMODULE urlmon = nullptr;
    IBindCtx *ctx = nullptr;
    IUnknown *obj = nullptr;
    if (g_codecFetchHook) {
        lastResult = g_codecFetchHook(clsid, cb, &obj);
    } else {
        urlmon = LoadLibraryA("urlmon.dll");
        auto create = urlmon ? reinterpret_cast<CreateAsyncBindCtxFn>(GetProcAddress(urlmon, "CreateAsyncBindCtx"))
                             : nullptr;
        auto fetch = urlmon ? reinterpret_cast<CoGetClassObjectFromURLFn>(
                                  GetProcAddress(urlmon, "CoGetClassObjectFromURL"))
                            : nullptr;
        if (!create || !fetch) {
            cb->Release();
            if (urlmon) FreeLibrary(urlmon);
            return lastResult = E_NOTIMPL;
        }
        lastResult = create(0, cb, nullptr, &ctx);
        if (SUCCEEDED(lastResult))
            lastResult = fetch(clsid, nullptr, 0xFFFFFFFF, 0xFFFFFFFF, nullptr, ctx,
                               CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, nullptr, IID_IUnknown,
                               reinterpret_cast<void **>(&obj));
    }
    if (lastResult == MK_S_ASYNCHRONOUS) {
        /* Wait for the end of binding, pumping this thread's messages, but
         * never past the bound nor past the source going away. */
        HANDLE waits[2] = {event, cancel};
        DWORD count = cancel ? 2 : 1;
        ULONGLONG end = GetTickCount64() + g_codecDownloadWaitMs;
        for (;;) {
            ULONGLONG now = GetTickCount64();
            if (now >= end) { lastResult = NS_E_TIMEOUT; break; }
            DWORD w = MsgWaitForMultipleObjects(count, waits, FALSE, (DWORD)(end - now), QS_ALLINPUT);
            if (w == WAIT_OBJECT_0) break;
            if (w == WAIT_OBJECT_0 + 1) { lastResult = E_ABORT; break; }
            MSG m;
            while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
        }
    }
    if (ctx) ctx->Release();
    cb->Release();
    if (obj) obj->Release();
    if (urlmon) FreeLibrary(urlmon);
    if (lastResult == REGDB_E_CLASSNOTREG) lastResult = S_OK;
    return lastResult;
}

/* ---- the source ------------------------------------------------------------- */

CAsfReader::CAsfReader()
{
    comStarted = SUCCEEDED(CoInitialize(nullptr));
    closing = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    callback = new CReaderCallback(this);
    if (SUCCEEDED(lastResult)) lastResult = WmrCreateReader(nullptr, 0, &reader);
}

CAsfReader::~CAsfReader()
{
    /* A codec download in progress gives up, then no callback reaches us. */
    SetEvent(closing);
    callback->Detach();
    AcquireSRWLockExclusive(&readerLock);
    IWMReader *r = reader;
    reader = nullptr;
    ReleaseSRWLockExclusive(&readerLock);
    if (r) {
        r->Stop();
        r->Close();
        r->Release();
    }
    callback->Release();
    CloseHandle(closing);
    if (comStarted) CoUninitialize();
}

IWMReader *CAsfReader::Hold()
{
    AcquireSRWLockShared(&readerLock);
    IWMReader *r = reader;
    if (r) r->AddRef();
    ReleaseSRWLockShared(&readerLock);
    return r;
}

void CAsfReader::Post(int status, HRESULT hr)
{
    if (hostWindow) PostMessageA(hostWindow, WM_ENGINE_SOURCESTATE, ((WPARAM)channelIndex << 16) | (WORD)status,
                                 (LPARAM)hr);
}

BOOL CAsfReader::Open(const char *video, const char *audio)
{
    lstrcpynA(videoPath, video ? video : "", ENGINE_TEXT);
    lstrcpynA(audioPath, audio ? audio : "", ENGINE_TEXT);
    IWMReader *r = Hold();
    if (!r) {
        IWMReader *fresh = nullptr;
        lastResult = WmrCreateReader(nullptr, 0, &fresh);
        if (FAILED(lastResult)) return FALSE;
        AcquireSRWLockExclusive(&readerLock);
        if (reader) reader->Release();
        reader = fresh;
        fresh->AddRef();
        ReleaseSRWLockExclusive(&readerLock);
        r = fresh;
    }
    EngineFreeMediaType(audioType);
    EngineFreeMediaType(videoType);
    audioType = videoType = nullptr;
    audioOutputNumber = videoOutputNumber = -1;
    firstSample = 1;
    locating = 0;
    lastStatus = 13;
    WCHAR url[ENGINE_TEXT];
    if (!MultiByteToWideChar(CP_ACP, 0, videoPath, -1, url, ENGINE_TEXT)) url[0] = 0;
    lastResult = r->Open(url, callback, nullptr);
    r->Release();
    return SUCCEEDED(lastResult);
}

void CAsfReader::Close()
{
    IWMReader *r = Hold();
    if (!r) return;
    HRESULT hr = r->Close();
    lastResult = hr;
    if (SUCCEEDED(hr)) {
        AcquireSRWLockExclusive(&readerLock);
        IWMReader *mine = reader == r ? reader : nullptr;
        if (mine) reader = nullptr;
        ReleaseSRWLockExclusive(&readerLock);
        if (mine) mine->Release();
    }
    r->Release();
}

int CAsfReader::GetDuration()
{
    IWMReader *r = Hold();
    if (!r) return 0;
    int seconds = 0;
    {
        CAsfHeader header(r);
        WMT_ATTR_DATATYPE type;
        WORD length = 0;
        const BYTE *v = header.GetAttribute(L"Duration", &type, &length);
        if (v && type == WMT_TYPE_QWORD && length == sizeof(QWORD)) {
            QWORD d;
            memcpy(&d, v, sizeof(d));
            seconds = (int)(d / 10000000);
        }
    }
    r->Release();
    return seconds;
}

int CAsfReader::Play(int)
{
    if (lastStatus == WMT_LOCATING) return 0;
    IWMReader *r = Hold();
    if (!r) return 0;
    if (lastStatus == WMT_EOF || lastStatus == WMT_STOPPED) lastResult = r->Start(0, 0, 1.0f, nullptr);
    else if (state == STATE_PAUSED) lastResult = r->Resume();
    else lastResult = r->Start(WMR_START_CURRENTPOSITION, 0, 1.0f, nullptr);
    if (SUCCEEDED(lastResult)) state = STATE_PLAYING;
    r->Release();
    return 0;
}

int CAsfReader::Pause()
{
    IWMReader *r = Hold();
    if (r) {
        lastResult = r->Pause();
        r->Release();
    }
    state = STATE_PAUSED;
    Post(STATE_PAUSED, 0);
    return 0;
}

static int start_at_rate(IWMReader *r, float rate, HRESULT *result)
{
    if (!r) return 0;
    *result = r->Start(WMR_START_CURRENTPOSITION, 0, rate, nullptr);
    r->Release();
    return 0;
}

int CAsfReader::FastForward() { return start_at_rate(Hold(), 10.0f, &lastResult); }
int CAsfReader::Rewind() { return start_at_rate(Hold(), -10.0f, &lastResult); }
int CAsfReader::Reverse() { return start_at_rate(Hold(), -1.0f, &lastResult); }

/* The outputs' media types: the first sound output, asked for as 16-bit
 * stereo at 22050 Hz like every source's sound, and the first picture
 * output (RGB24 with bottom-up rows). */
void CAsfReader::ReadOutputs(IWMReader *r)
{
    DWORD count = 0;
    if (FAILED(r->GetOutputCount(&count))) return;
    for (DWORD i = 0; i < count; i++) {
        IWMOutputMediaProps *props = nullptr;
        if (FAILED(r->GetOutputProps(i, &props)) || !props) continue;
        GUID major = GUID_NULL;
        props->GetType(&major);
        if (IsEqualGUID(major, MEDIATYPE_Audio) && !audioType) {
            std::vector<BYTE> raw(sizeof(WM_MEDIA_TYPE) + sizeof(WAVEFORMATEX));
            auto *mt = reinterpret_cast<WM_MEDIA_TYPE *>(raw.data());
            auto *wf = reinterpret_cast<WAVEFORMATEX *>(raw.data() + sizeof(WM_MEDIA_TYPE));
            mt->majortype = MEDIATYPE_Audio;
            mt->subtype = MEDIASUBTYPE_PCM;
            mt->bFixedSizeSamples = TRUE;
            mt->lSampleSize = 4;
            mt->formattype = FORMAT_WaveFormatEx;
            mt->cbFormat = sizeof(WAVEFORMATEX);
            mt->pbFormat = reinterpret_cast<BYTE *>(wf);
            wf->wFormatTag = WAVE_FORMAT_PCM;
            wf->nChannels = 2;
            wf->nSamplesPerSec = 22050;
            wf->wBitsPerSample = 16;
            wf->nBlockAlign = 4;
            wf->nAvgBytesPerSec = 22050 * 4;
            if (SUCCEEDED(props->SetMediaType(mt))) r->SetOutputProps(i, props);
            props->Release();
            props = nullptr;
            if (FAILED(r->GetOutputProps(i, &props)) || !props) continue;
        }
        DWORD size = 0;
        if (SUCCEEDED(props->GetMediaType(nullptr, &size)) && size >= sizeof(WM_MEDIA_TYPE)) {
            std::vector<BYTE> raw(size);
            auto *mt = reinterpret_cast<WM_MEDIA_TYPE *>(raw.data());
            if (SUCCEEDED(props->GetMediaType(mt, &size))) {
                /* The reader's media type has the layout of a DirectShow one. */
                auto *amt = reinterpret_cast<AM_MEDIA_TYPE *>(mt);
                if (IsEqualGUID(mt->majortype, MEDIATYPE_Audio) && !audioType) {
                    audioType = EngineCopyMediaType(amt);
                    audioOutputNumber = (int)i;
                } else if (IsEqualGUID(mt->majortype, MEDIATYPE_Video) && !videoType) {
                    videoType = EngineCopyMediaType(amt);
                    videoOutputNumber = (int)i;
                }
            }
        }
        props->Release();
    }
}

void CAsfReader::OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE type, const BYTE *value)
{
    lastResult = hr;
    lastStatus = status;
    switch (status) {
    case WMT_ERROR:
    case WMT_EOF:
    case WMT_STOPPED:
        /* A network stream that failed, ended or was stopped is closed. */
        if (locating) Close();
        break;
    case WMT_OPENED: {
        IWMReader *r = Hold();
        if (r) {
            ReadOutputs(r);
            r->Start(0, 0, 1.0f, nullptr);
            r->Release();
        }
        break;
    }
    case WMT_LOCATING:
        locating = 1;
        break;
    case WMT_MISSING_CODEC:
        if (type == WMT_TYPE_STRING && value) {
            CLSID clsid;
            if (SUCCEEDED(CLSIDFromString(reinterpret_cast<LPCOLESTR>(value), &clsid))) {
                auto *dl = new CCodecDownloader;
                dl->Download(clsid, closing);
                dl->Release();
            }
        }
        break;
    default:
        break;
    }
    Post(status, hr);
}

void CAsfReader::OnSample(DWORD output, QWORD time, INSSBuffer *sample)
{
    /* A new stream stops on its first picture (on its first sound when it
     * has no picture) and waits for Play. */
    bool picture = (int)output == videoOutputNumber;
    if (firstSample && (picture || videoOutputNumber < 0)) {
        firstSample = 0;
        Pause();
    }
    BYTE *buffer = nullptr;
    DWORD length = 0;
    if (FAILED(sample->GetBufferAndLength(&buffer, &length)) || !buffer) return;
    if ((int)output == audioOutputNumber && audioType) {
        double seconds = (double)time / 10000000.0;
        if (g_engineAudioProbe) g_engineAudioProbe(channelIndex, seconds, buffer, (long)length);
        if (surface && surface == g_transformer.ProgrammeSurface()) {
            const auto *wf = reinterpret_cast<const WAVEFORMATEX *>(audioType->pbFormat);
            DWORD ms = (wf && wf->nAvgBytesPerSec) ? (DWORD)MulDiv((int)length, 1000, (int)wf->nAvgBytesPerSec) : 0;
            EngineDeliverAudio(ms, buffer, (long)length);
        }
        if (surface && surface == g_transformer.SelectedSurface() && hostWindow)
            PostMessageA(hostWindow, WM_ENGINE_POSITION, 1, (LPARAM)(time / 10000000));
    } else if (picture) {
        DrawFrame(buffer, (long)length);
        if (surface && g_channelPainter[channelIndex]) g_channelPainter[channelIndex]->Signal();
    }
    /* The sample stays the reader's: it releases it when the call returns. */
}
