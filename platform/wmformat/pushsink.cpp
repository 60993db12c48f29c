/*
 * The push sink: a set-up POST that the publishing point must accept, then
 * the stream as the body of a second POST, sent by a thread of its own.
 */
#define NOMINMAX
#include <winsock2.h>
#include <ws2tcpip.h>
#include "wmwriter.h"
#include "livemux.h"

#include <algorithm>
#include <deque>
#include <string>

namespace {

bool send_all(SOCKET s, const char *p, size_t n)
{
    while (n) {
        int r = send(s, p, (int)std::min<size_t>(n, 1 << 20), 0);
        if (r <= 0) return false;
        p += r;
        n -= (size_t)r;
    }
    return true;
}

std::string narrow(const WCHAR *w)
{
    if (!w) return std::string();
    char buf[1024] = {};
    WideCharToMultiByte(CP_UTF8, 0, w, -1, buf, sizeof(buf) - 1, nullptr, nullptr);
    return buf;
}

} // namespace

struct WmPushSink::Impl {
    CRITICAL_SECTION cs;
    CONDITION_VARIABLE wake;
    WmStatusFn fn = nullptr;
    void *context = nullptr;
    WmPushSink *self = nullptr;
    std::string host, port = "80", path, templateUrl;
    bool autoRemove = false;
    SOCKET control = INVALID_SOCKET, data = INVALID_SOCKET;
    HANDLE connectThread = nullptr, sendThread = nullptr;
    bool opened = false, closing = false, ended = false, failed = false;
    std::deque<std::string> queue;
    size_t queued = 0;
    LiveMuxer mux{&Impl::OnMuxed, this};

    static void OnMuxed(void *p, const char *packet, size_t size) { static_cast<Impl *>(p)->Queue(packet, size); }
    void Queue(const char *p, size_t n)
    {
        EnterCriticalSection(&cs);
        if (!failed) {
            queue.emplace_back(p, n);
            queued += n;
        }
        LeaveCriticalSection(&cs);
        WakeAllConditionVariable(&wake);
    }
    void Report(int status, HRESULT hr)
    {
        EnterCriticalSection(&cs);
        WmStatusFn f = fn;
        void *c = context;
        LeaveCriticalSection(&cs);
        if (f) f(c, status, hr, self);
    }
    SOCKET Dial(HRESULT *hr)
    {
        addrinfo hints = {}, *res = nullptr;
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        int e = getaddrinfo(host.c_str(), port.c_str(), &hints, &res);
        if (e != 0 || !res) {
            *hr = HRESULT_FROM_WIN32(WSAHOST_NOT_FOUND);
            return INVALID_SOCKET;
        }
        SOCKET s = socket(res->ai_family, res->ai_socktype, res->ai_protocol);
        if (s == INVALID_SOCKET || connect(s, res->ai_addr, (int)res->ai_addrlen) != 0) {
            *hr = HRESULT_FROM_WIN32(WSAGetLastError() ? WSAGetLastError() : WSAECONNREFUSED);
            if (s != INVALID_SOCKET) closesocket(s);
            s = INVALID_SOCKET;
        }
        freeaddrinfo(res);
        return s;
    }
};

static DWORD WINAPI push_connect(void *arg)
{
    auto *m = static_cast<WmPushSink::Impl *>(arg);
    HRESULT hr = S_OK;
    SOCKET s = m->Dial(&hr);
    if (s == INVALID_SOCKET) {
        m->Report(WMW_STATUS_ERROR, hr);
        return 0;
    }
    EnterCriticalSection(&m->cs);
    bool closing = m->closing;
    if (!closing) m->control = s;
    LeaveCriticalSection(&m->cs);
    if (closing) { closesocket(s); return 0; }
    std::string body = "publishing-point=" + m->path + "\r\n";
    if (!m->templateUrl.empty()) body += "copy-from=" + m->templateUrl + "\r\nauto-remove=" +
                                         (m->autoRemove ? "1" : "0") + "\r\n";
    std::string request = "POST " + m->path + " HTTP/1.0\r\nHost: " + m->host + "\r\n"
                          "Content-Type: application/x-wms-pushsetup\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\n\r\n" + body;
    std::string reply;
    char buf[1024];
    bool ok = send_all(s, request.data(), request.size());
    /* The answer: the server decides when (the caller bounds the wait). */
    DWORD slice = 250;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&slice), sizeof(slice));
    while (ok && reply.find("\r\n") == std::string::npos && reply.size() < 4096) {
        int r = recv(s, buf, sizeof(buf), 0);
        if (r < 0 && WSAGetLastError() == WSAETIMEDOUT) {
            /* Waiting is the caller's to end: look for the end of the session. */
            EnterCriticalSection(&m->cs);
            bool stop = m->closing;
            LeaveCriticalSection(&m->cs);
            if (stop) { ok = false; break; }
            continue;
        }
        if (r <= 0) { ok = false; break; }
        reply.append(buf, (size_t)r);
    }
    EnterCriticalSection(&m->cs);
    closing = m->closing;
    m->control = INVALID_SOCKET;
    LeaveCriticalSection(&m->cs);
    closesocket(s);
    if (closing) return 0;
    if (!ok) { m->Report(WMW_STATUS_ERROR, HRESULT_FROM_WIN32(WSAECONNRESET)); return 0; }
    bool accepted = reply.compare(0, 5, "HTTP/") == 0 && reply.size() > 12 && reply[9] == '2';
    if (accepted) {
        EnterCriticalSection(&m->cs);
        m->opened = true;
        LeaveCriticalSection(&m->cs);
        m->Report(WMW_STATUS_OPENED, S_OK);
    } else {
        m->Report(WMW_STATUS_ERROR, E_ACCESSDENIED);
    }
    return 0;
}

static DWORD WINAPI push_send(void *arg)
{
    auto *m = static_cast<WmPushSink::Impl *>(arg);
    for (;;) {
        EnterCriticalSection(&m->cs);
        while (m->queue.empty() && !m->ended && !m->closing) SleepConditionVariableCS(&m->wake, &m->cs, 500);
        if (m->closing || (m->ended && m->queue.empty())) { LeaveCriticalSection(&m->cs); break; }
        std::string next = std::move(m->queue.front());
        m->queue.pop_front();
        m->queued -= next.size();
        SOCKET s = m->data;
        LeaveCriticalSection(&m->cs);
        if (!send_all(s, next.data(), next.size())) {
            EnterCriticalSection(&m->cs);
            m->failed = true;
            m->queue.clear();
            m->queued = 0;
            LeaveCriticalSection(&m->cs);
            m->Report(WMW_STATUS_ERROR, HRESULT_FROM_WIN32(WSAECONNRESET));
            break;
        }
    }
    return 0;
}

WmPushSink::WmPushSink() : m(new Impl)
{
    m->self = this;
    InitializeCriticalSection(&m->cs);
    InitializeConditionVariable(&m->wake);
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
}

WmPushSink::~WmPushSink()
{
    EndSession();
    DeleteCriticalSection(&m->cs);
    delete m;
    WSACleanup();
}

HRESULT WmPushSink::Advise(WmStatusFn fn, void *context)
{
    if (!fn) return E_POINTER;
    EnterCriticalSection(&m->cs);
    m->fn = fn;
    m->context = context;
    LeaveCriticalSection(&m->cs);
    return S_OK;
}

HRESULT WmPushSink::Unadvise()
{
    EnterCriticalSection(&m->cs);
    m->fn = nullptr;
    m->context = nullptr;
    LeaveCriticalSection(&m->cs);
    return S_OK;
}

HRESULT WmPushSink::Connect(const WCHAR *url, const WCHAR *templateUrl, BOOL autoRemove)
{
    if (m->connectThread) return WMW_E_INVALID_REQUEST;
    std::string u = narrow(url);
    if (u.compare(0, 7, "http://") != 0) return E_INVALIDARG;
    std::string rest = u.substr(7);
    size_t slash = rest.find('/');
    std::string hostPort = rest.substr(0, slash);
    m->path = slash == std::string::npos ? "/" : rest.substr(slash);
    size_t colon = hostPort.rfind(':');
    m->host = hostPort.substr(0, colon);
    m->port = colon == std::string::npos ? "80" : hostPort.substr(colon + 1);
    if (m->host.empty() || m->port.empty() || m->port.find_first_not_of("0123456789") != std::string::npos ||
        atoi(m->port.c_str()) < 1 || atoi(m->port.c_str()) > 65535 ||
        m->host.find_first_of(" \r\n") != std::string::npos || m->path.find_first_of(" \r\n") != std::string::npos)
        return E_INVALIDARG;
    m->templateUrl = narrow(templateUrl);
    if (m->templateUrl.find_first_of("\r\n") != std::string::npos) m->templateUrl.clear();
    m->autoRemove = autoRemove != FALSE;
    m->closing = m->opened = m->ended = m->failed = false;
    m->connectThread = CreateThread(nullptr, 0, push_connect, m, 0, nullptr);
    return m->connectThread ? S_OK : E_OUTOFMEMORY;
}

HRESULT WmPushSink::OnBegin(const std::vector<WmSinkStream> &streams,
                            const std::vector<std::pair<std::string, std::string>> &attributes)
{
    EnterCriticalSection(&m->cs);
    bool opened = m->opened;
    LeaveCriticalSection(&m->cs);
    if (!opened) return WMW_E_NOT_CONFIGURED;
    HRESULT hr = S_OK;
    SOCKET s = m->Dial(&hr);
    if (s == INVALID_SOCKET) return hr;
    std::string request = "POST " + m->path + " HTTP/1.0\r\nHost: " + m->host + "\r\n"
                          "Content-Type: application/x-wms-pushstart\r\nConnection: close\r\n\r\n";
    if (!send_all(s, request.data(), request.size())) { closesocket(s); return HRESULT_FROM_WIN32(WSAECONNRESET); }
    std::string header;
    hr = m->mux.Begin(streams, attributes, &header);
    if (FAILED(hr)) { closesocket(s); return hr; }
    EnterCriticalSection(&m->cs);
    m->data = s;
    m->ended = false;
    m->queue.clear();
    m->queue.push_back(header);
    m->queued = header.size();
    LeaveCriticalSection(&m->cs);
    m->sendThread = CreateThread(nullptr, 0, push_send, m, 0, nullptr);
    return m->sendThread ? S_OK : E_OUTOFMEMORY;
}

HRESULT WmPushSink::OnPacket(int index, const AVPacket *packet)
{
    EnterCriticalSection(&m->cs);
    bool failed = m->failed;
    LeaveCriticalSection(&m->cs);
    if (failed) return S_FALSE;     /* reported once through the status */
    return m->mux.Packet(index, packet);
}

HRESULT WmPushSink::OnEnd()
{
    if (!m->mux.Begun()) return S_OK;
    m->mux.End();
    EnterCriticalSection(&m->cs);
    m->ended = true;
    LeaveCriticalSection(&m->cs);
    WakeAllConditionVariable(&m->wake);
    return S_OK;
}

HRESULT WmPushSink::EndSession()
{
    OnEnd();
    /* What is queued goes out (10 s at most), then everything closes. */
    if (m->sendThread) {
        if (WaitForSingleObject(m->sendThread, 10000) != WAIT_OBJECT_0) {
            EnterCriticalSection(&m->cs);
            m->closing = true;
            if (m->data != INVALID_SOCKET) shutdown(m->data, SD_BOTH);
            LeaveCriticalSection(&m->cs);
            WakeAllConditionVariable(&m->wake);
            WaitForSingleObject(m->sendThread, INFINITE);
        }
        CloseHandle(m->sendThread);
        m->sendThread = nullptr;
    }
    EnterCriticalSection(&m->cs);
    m->closing = true;
    if (m->control != INVALID_SOCKET) shutdown(m->control, SD_BOTH);
    if (m->data != INVALID_SOCKET) {
        shutdown(m->data, SD_SEND);
        closesocket(m->data);
        m->data = INVALID_SOCKET;
    }
    LeaveCriticalSection(&m->cs);
    WakeAllConditionVariable(&m->wake);
    if (m->connectThread) {
        /* A host-name lookup cannot be interrupted; it ends by itself. */
        WaitForSingleObject(m->connectThread, INFINITE);
        CloseHandle(m->connectThread);
        m->connectThread = nullptr;
    }
    return S_OK;
}
