/*
 * The network sink: the ASF muxer writing to an output that cannot seek
 * (a live stream: no sizes in the header), its output cut into the header
 * and fixed-size data packets, served to every HTTP client of the port --
 * plain, or framed in chunks for Windows Media players.
 */
#define NOMINMAX
#include <winsock2.h>
#include <ws2tcpip.h>
#include "wmwriter.h"
#include "livemux.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>

extern "C" {
#include <libavutil/opt.h>
}

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

const size_t kMaxQueued = 16u << 20;      /* a client this far behind is dropped */

struct Client {
    SOCKET s = INVALID_SOCKET;
    bool framed = false;
    bool ready = false;                   /* request read, response header sent */
    bool dead = false;
    bool ended = false;
    std::deque<std::string> queue;
    size_t queued = 0;
    unsigned sequence = 0;
    HANDLE thread = nullptr;
};

/* One chunk of the framed stream: '$', type, length, then for header and
 * data chunks the sequence number, two flag bytes and the length again. */
std::string chunk(char type, unsigned sequence, const char *data, size_t size)
{
    std::string c;
    bool ext8 = type == 'H' || type == 'D';
    size_t len = size + (ext8 ? 8 : 4);
    c += '$';
    c += type;
    c += (char)(len & 0xFF);
    c += (char)(len >> 8 & 0xFF);
    c += (char)(sequence & 0xFF);
    c += (char)(sequence >> 8 & 0xFF);
    c += (char)(sequence >> 16 & 0xFF);
    c += (char)(sequence >> 24 & 0xFF);
    if (ext8) {
        c += (char)0;
        c += (char)(type == 'H' ? 0x0C : 0x00);
        c += (char)(len & 0xFF);
        c += (char)(len >> 8 & 0xFF);
    }
    c.append(data, size);
    return c;
}

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

} // namespace

struct WmNetworkSink::Impl {
    SOCKET listener = INVALID_SOCKET;
    DWORD port = 0;
    HANDLE acceptThread = nullptr;
    mutable CRITICAL_SECTION cs;
    CONDITION_VARIABLE wake;
    std::vector<std::shared_ptr<Client>> clients;
    bool closing = false;
    int served = 0;
    /* Muxing. */
    LiveMuxer mux{&Impl::OnMuxed, this};
    std::string header;           /* complete once headerDone */
    bool headerDone = false, begun = false, ended = false;

    static void OnMuxed(void *self, const char *packet, size_t size)
    {
        static_cast<Impl *>(self)->Broadcast(packet, size);
    }
    void Broadcast(const char *packet, size_t size);
    std::string Opening(const Client &c) const
    {
        std::string o = c.framed ? chunk('H', 0, header.data(), header.size()) : header;
        return o;
    }
};

void WmNetworkSink::Impl::Broadcast(const char *packet, size_t size)
{
    EnterCriticalSection(&cs);
    for (auto &c : clients) {
        if (!c->ready || c->dead) continue;
        c->queue.emplace_back(c->framed ? chunk('D', c->sequence++, packet, size) : std::string(packet, size));
        c->queued += c->queue.back().size();
        if (c->queued > kMaxQueued) c->dead = true;
    }
    LeaveCriticalSection(&cs);
    WakeAllConditionVariable(&wake);
}

struct ClientStart { WmNetworkSink::Impl *m; std::shared_ptr<Client> c; };

static DWORD WINAPI client_thread(void *arg)
{
    std::unique_ptr<ClientStart> start(static_cast<ClientStart *>(arg));
    WmNetworkSink::Impl *m = start->m;
    std::shared_ptr<Client> c = start->c;
    /* The request: up to its blank line, 5 s at most. */
    DWORD timeout = 5000;
    setsockopt(c->s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&timeout), sizeof(timeout));
    std::string request;
    char buf[2048];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 16384) {
        int r = recv(c->s, buf, sizeof(buf), 0);
        if (r <= 0) break;
        request.append(buf, (size_t)r);
    }
    bool ok = request.compare(0, 4, "GET ") == 0 && request.find("\r\n\r\n") != std::string::npos;
    std::string lower = request;
    for (auto &ch : lower) ch = (char)tolower((unsigned char)ch);
    c->framed = lower.find("nsplayer") != std::string::npos || lower.find("xclientguid") != std::string::npos ||
                lower.find("xplaystrm") != std::string::npos;
    if (!ok) {
        const char bad[] = "HTTP/1.0 400 Bad Request\r\nConnection: close\r\n\r\n";
        send_all(c->s, bad, sizeof(bad) - 1);
    } else {
        std::string response = "HTTP/1.0 200 OK\r\nContent-Type: ";
        response += c->framed ? "application/x-mms-framed" : "video/x-ms-asf";
        response += "\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n";
        EnterCriticalSection(&m->cs);
        /* Wait for the stream's header (writing may not have begun yet). */
        while (!m->headerDone && !m->closing && !m->ended) SleepConditionVariableCS(&m->wake, &m->cs, 200);
        bool go = m->headerDone && !m->closing;
        std::string opening;
        if (go) {
            opening = response + m->Opening(*c);
            c->ready = true;
            m->served++;
        }
        LeaveCriticalSection(&m->cs);
        if (go && !send_all(c->s, opening.data(), opening.size())) c->dead = true;
        /* Then the packets as they come. */
        while (go) {
            EnterCriticalSection(&m->cs);
            while (c->queue.empty() && !c->dead && !m->closing && !c->ended)
                SleepConditionVariableCS(&m->wake, &m->cs, 500);
            if (c->dead || m->closing || (c->ended && c->queue.empty())) {
                LeaveCriticalSection(&m->cs);
                break;
            }
            std::string next = std::move(c->queue.front());
            c->queue.pop_front();
            c->queued -= next.size();
            LeaveCriticalSection(&m->cs);
            if (!send_all(c->s, next.data(), next.size())) {
                c->dead = true;
                break;
            }
        }
        if (c->framed && c->ended && !c->dead) {
            std::string end = chunk('E', c->sequence, nullptr, 0);
            send_all(c->s, end.data(), end.size());
        }
    }
    shutdown(c->s, SD_BOTH);
    EnterCriticalSection(&m->cs);
    c->dead = true;
    LeaveCriticalSection(&m->cs);
    return 0;
}

static DWORD WINAPI accept_thread(void *arg)
{
    auto *m = static_cast<WmNetworkSink::Impl *>(arg);
    for (;;) {
        SOCKET s = accept(m->listener, nullptr, nullptr);
        if (s == INVALID_SOCKET) break;
        EnterCriticalSection(&m->cs);
        bool closing = m->closing;
        /* Forget clients that are gone. */
        m->clients.erase(std::remove_if(m->clients.begin(), m->clients.end(), [](const std::shared_ptr<Client> &c) {
            if (!c->dead || !c->thread) return false;
            if (WaitForSingleObject(c->thread, 0) != WAIT_OBJECT_0) return false;
            CloseHandle(c->thread);
            closesocket(c->s);
            return true;
        }), m->clients.end());
        if (closing) {
            LeaveCriticalSection(&m->cs);
            closesocket(s);
            break;
        }
        auto c = std::make_shared<Client>();
        c->s = s;
        m->clients.push_back(c);
        c->thread = CreateThread(nullptr, 0, client_thread, new ClientStart{m, c}, 0, nullptr);
        if (!c->thread) c->dead = true;
        LeaveCriticalSection(&m->cs);
    }
    return 0;
}

WmNetworkSink::WmNetworkSink() : m(new Impl)
{
    InitializeCriticalSection(&m->cs);
    InitializeConditionVariable(&m->wake);
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
}

WmNetworkSink::~WmNetworkSink()
{
    Close();
    DeleteCriticalSection(&m->cs);
    delete m;
    WSACleanup();
}

HRESULT WmNetworkSink::Open(DWORD *port)
{
    if (!port || *port > 65535) return E_INVALIDARG;
    if (m->listener != INVALID_SOCKET) return WMW_E_INVALID_REQUEST;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return HRESULT_FROM_WIN32(WSAGetLastError());
    BOOL exclusive = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&exclusive), sizeof(exclusive));
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons((u_short)*port);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(s, reinterpret_cast<sockaddr *>(&a), sizeof(a)) != 0) {
        int e = WSAGetLastError();
        closesocket(s);
        return e == WSAEADDRINUSE || e == WSAEACCES ? WMW_E_PORT_IN_USE : HRESULT_FROM_WIN32(e);
    }
    if (listen(s, 16) != 0) {
        int e = WSAGetLastError();
        closesocket(s);
        return HRESULT_FROM_WIN32(e);
    }
    int len = sizeof(a);
    getsockname(s, reinterpret_cast<sockaddr *>(&a), &len);
    m->port = ntohs(a.sin_port);
    *port = m->port;
    m->listener = s;
    m->closing = false;
    m->acceptThread = CreateThread(nullptr, 0, accept_thread, m, 0, nullptr);
    if (!m->acceptThread) {
        closesocket(s);
        m->listener = INVALID_SOCKET;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT WmNetworkSink::Close()
{
    if (m->begun) OnEnd();
    if (m->listener == INVALID_SOCKET) return S_OK;
    EnterCriticalSection(&m->cs);
    m->closing = true;
    LeaveCriticalSection(&m->cs);
    WakeAllConditionVariable(&m->wake);
    closesocket(m->listener);
    m->listener = INVALID_SOCKET;
    if (m->acceptThread) {
        WaitForSingleObject(m->acceptThread, INFINITE);
        CloseHandle(m->acceptThread);
        m->acceptThread = nullptr;
    }
    std::vector<std::shared_ptr<Client>> all;
    EnterCriticalSection(&m->cs);
    all.swap(m->clients);
    for (auto &c : all) shutdown(c->s, SD_BOTH);
    LeaveCriticalSection(&m->cs);
    WakeAllConditionVariable(&m->wake);
    for (auto &c : all) {
        if (c->thread) {
            WaitForSingleObject(c->thread, INFINITE);
            CloseHandle(c->thread);
        }
        closesocket(c->s);
    }
    m->headerDone = false;
    m->header.clear();
    m->ended = false;
    return S_OK;
}

DWORD WmNetworkSink::Port() const { return m->port; }

int WmNetworkSink::ClientCount() const
{
    EnterCriticalSection(&m->cs);
    int n = 0;
    for (auto &c : m->clients)
        if (c->ready && !c->dead) n++;
    LeaveCriticalSection(&m->cs);
    return n;
}

int WmNetworkSink::ClientsServed() const
{
    EnterCriticalSection(&m->cs);
    int n = m->served;
    LeaveCriticalSection(&m->cs);
    return n;
}

HRESULT WmNetworkSink::OnBegin(const std::vector<WmSinkStream> &streams,
                               const std::vector<std::pair<std::string, std::string>> &attributes)
{
    if (m->listener == INVALID_SOCKET) return WMW_E_NOT_CONFIGURED;
    if (m->begun) return WMW_E_INVALID_REQUEST;
    std::string header;
    m->ended = false;
    HRESULT hr = m->mux.Begin(streams, attributes, &header);
    if (FAILED(hr)) return hr;
    EnterCriticalSection(&m->cs);
    m->header = header;
    m->headerDone = true;
    LeaveCriticalSection(&m->cs);
    WakeAllConditionVariable(&m->wake);
    m->begun = true;
    return S_OK;
}

HRESULT WmNetworkSink::OnPacket(int index, const AVPacket *packet)
{
    if (!m->begun) return WMW_E_INVALID_REQUEST;
    return m->mux.Packet(index, packet);
}

HRESULT WmNetworkSink::OnEnd()
{
    if (!m->begun) return S_OK;
    m->mux.End();
    m->begun = false;
    EnterCriticalSection(&m->cs);
    m->ended = true;
    for (auto &c : m->clients) c->ended = true;
    LeaveCriticalSection(&m->cs);
    WakeAllConditionVariable(&m->wake);
    return S_OK;
}
