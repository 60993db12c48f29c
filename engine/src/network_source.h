/*
 * CAsfReader: a Windows Media stream ("http://", "mms://") on a channel.
 * The asynchronous Windows Media reader does the work on its own thread and
 * calls back: statuses go to the channel's host window as
 * WM_ENGINE_SOURCESTATE (channel << 16 | status, result), video samples are
 * drawn into the channel surface, sound goes to the encoder while the
 * source is on the programme.  A newly opened stream shows its first
 * picture and waits paused for Play.
 *
 * CAsfHeader reads attributes of the opened stream; CCodecDownloader fetches
 * a codec the reader reports missing.
 *
 * Threads: the virtual operations run on the host thread; the callbacks on
 * the reader's.  The callback object is counted and reaches the source only
 * through its gate, which the destructor shuts (after waking a codec
 * download) before anything is released.  The reader pointer is shared by
 * both threads (a failed or ended stream is closed from the callback), so
 * every use holds its own reference taken under the reader lock.
 */
#ifndef CORVENGINE_NETWORK_SOURCE_H
#define CORVENGINE_NETWORK_SOURCE_H

#include "decoder.h"
#include "wmreader.h"
#include <urlmon.h>
#include <atomic>

class CAsfReader;

class CReaderCallback : public IWMReaderCallback {
public:
    explicit CReaderCallback(CAsfReader *owner) : owner(owner) {}
    virtual ~CReaderCallback() {}
    HRESULT WINAPI QueryInterface(REFIID iid, void **out) override;
    ULONG WINAPI AddRef() override { return ++refs; }
    ULONG WINAPI Release() override;
    HRESULT WINAPI OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE type, BYTE *value,
                            void *context) override;
    HRESULT WINAPI OnSample(DWORD output, QWORD time, QWORD duration, DWORD flags, INSSBuffer *sample,
                            void *context) override;
    /* Host thread: no callback reaches the owner after this returns. */
    void Detach();
private:
    std::atomic<ULONG> refs{1};
    SRWLOCK gate = SRWLOCK_INIT;
    CAsfReader *owner;
};

class CAsfHeader {
public:
    explicit CAsfHeader(IWMReader *reader);
    ~CAsfHeader();
    /* The value of an attribute of the whole stream, read into the
     * process-wide attribute buffer (host thread); null when it cannot be
     * read or does not fit. */
    const BYTE *GetAttribute(const WCHAR *name, WMT_ATTR_DATATYPE *type, WORD *length);
    IWMHeaderInfo *info = nullptr;
    HRESULT lastResult = S_OK;
};

class CCodecDownloader : public IBindStatusCallback, public IServiceProvider, public IAuthenticate,
                         public ICodeInstall {
public:
    CCodecDownloader();
    virtual ~CCodecDownloader();
    HRESULT WINAPI QueryInterface(REFIID iid, void **out) override;
    ULONG WINAPI AddRef() override { return ++refs; }
    ULONG WINAPI Release() override;

    HRESULT WINAPI OnStartBinding(DWORD, IBinding *) override { return S_OK; }
    HRESULT WINAPI GetPriority(LONG *) override { return E_NOTIMPL; }
    HRESULT WINAPI OnLowResource(DWORD) override { return E_NOTIMPL; }
    HRESULT WINAPI OnProgress(ULONG progress, ULONG progressMax, ULONG, LPCWSTR) override;
    HRESULT WINAPI OnStopBinding(HRESULT hr, LPCWSTR) override;
    HRESULT WINAPI GetBindInfo(DWORD *flags, BINDINFO *info) override;
    HRESULT WINAPI OnDataAvailable(DWORD, DWORD, FORMATETC *, STGMEDIUM *) override { return S_OK; }
    HRESULT WINAPI OnObjectAvailable(REFIID, IUnknown *object) override;
    HRESULT WINAPI QueryService(REFGUID, REFIID, void **out) override;
    HRESULT WINAPI Authenticate(HWND *window, LPWSTR *user, LPWSTR *password) override;
    HRESULT WINAPI GetWindow(REFGUID, HWND *window) override;
    HRESULT WINAPI OnCodeInstallProblem(ULONG, LPCWSTR, LPCWSTR, DWORD) override { return S_OK; }

    /* Fetch the codec's class object; waits while the fetch runs (pumping
     * messages), at most the wait bound, and gives up when `cancel` is
     * set.  A class that is not registered counts as done (0). */
    HRESULT Download(REFCLSID clsid, HANDLE cancel);

    std::atomic<ULONG> refs{1};
    HRESULT lastResult = MK_S_ASYNCHRONOUS;
    HANDLE event;
    IUnknown *object = nullptr;
    ULONG progress = 0, progressMax = 0;
};

/* How a download fetches the class object.  Tests put their own here; the
 * default loads urlmon.dll's CoGetClassObjectFromURL. */
typedef HRESULT (*CodecFetchFn)(REFCLSID clsid, IBindStatusCallback *callback, IUnknown **object);
extern CodecFetchFn g_codecFetchHook;
extern DWORD g_codecDownloadWaitMs;          /* 60000 */
extern std::atomic<int> g_codecDownloads;    /* downloads started (tests) */

class CAsfReader : public CDecoder {
public:
    CAsfReader();
    ~CAsfReader() override;
    BOOL Open(const char *video, const char *audio) override;
    void Close() override;
    int GetDuration() override;
    int Play(int startSeconds) override;
    int Pause() override;
    int FastForward() override;
    int Rewind() override;
    int Reverse() override;

    /* Reader thread, through the callback. */
    void OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE type, const BYTE *value);
    void OnSample(DWORD output, QWORD time, INSSBuffer *sample);

    std::atomic<int> firstSample{1};
    std::atomic<int> locating{0};
    std::atomic<int> lastStatus{13};

private:
    IWMReader *Hold();
    void ReadOutputs(IWMReader *r);
    void Post(int status, HRESULT hr);

    IWMReader *reader = nullptr;
    SRWLOCK readerLock = SRWLOCK_INIT;
    CReaderCallback *callback = nullptr;
    HANDLE closing = nullptr;   /* set when the source goes: ends a download wait */
    bool comStarted = false;
};

#endif
