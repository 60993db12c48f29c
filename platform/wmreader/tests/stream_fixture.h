/*
 * Test fixtures for stream readers: an ASF clip recorded by our own writer
 * (one second each of red, green and blue at 320x240, 25 frames a second,
 * with a 1 kHz tone), and a small HTTP server on 127.0.0.1 that serves
 * byte strings by path with range requests, and on other paths answers
 * 404, cuts its answer short or never answers at all.  Header-only.
 */
#ifndef WMREADER_TESTS_STREAM_FIXTURE_H
#define WMREADER_TESTS_STREAM_FIXTURE_H

#define NOMINMAX
#include <winsock2.h>
#include <windows.h>
#include <atomic>
#include <cmath>
#include <map>
#include <mutex>
#include <string>
#include <vector>
#include "wmwriter.h"

namespace fixture {

/* The colour of second n of the clip (as 0xRRGGBB). */
inline DWORD ClipColour(int second)
{
    static const DWORD colours[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    return colours[second % 3];
}

/* Writes the clip with our writer and gives its bytes. */
inline std::string RecordClip(int seconds = 3)
{
    char dir[MAX_PATH], path[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    snprintf(path, sizeof(path), "%sclip_%u_%u.asf", dir, (unsigned)GetCurrentProcessId(), (unsigned)GetTickCount());
    WCHAR wpath[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path, -1, wpath, MAX_PATH);

    WmWriter writer;
    WmFileSink file;
    WmProfile p;
    if (!WmSystemProfile(4, &p)) return std::string();
    if (writer.SetProfile(p) != S_OK) return std::string();
    DWORD videoInput = 0, audioInput = 0;
    for (DWORD i = 0; i < writer.InputCount(); i++) {
        WmInputFormat f;
        writer.GetInputFormat(i, &f);
        if (f.video) {
            videoInput = i;
            f.width = 320;
            f.height = 240;
            f.bitCount = 24;
            writer.SetInputFormat(i, f);
        } else {
            audioInput = i;
            f.sampleRate = 44100;
            f.channels = 2;
            writer.SetInputFormat(i, f);
        }
    }
    if (file.Open(wpath) != S_OK || writer.AddSink(&file) != S_OK || writer.BeginWriting() != S_OK)
        return std::string();
    std::vector<BYTE> pic(320 * 240 * 3);
    long long sent = 0;
    for (int f = 0; f < seconds * 25; f++) {
        DWORD c = ClipColour(f / 25);
        for (size_t i = 0; i < pic.size(); i += 3) {
            pic[i] = (BYTE)(c & 255);
            pic[i + 1] = (BYTE)((c >> 8) & 255);
            pic[i + 2] = (BYTE)((c >> 16) & 255);
        }
        writer.WriteSample(videoInput, (ULONGLONG)f * 400000, 1, pic.data(), (DWORD)pic.size());
        int n = (int)((f + 1) * 44100LL / 25 - sent);
        std::vector<short> tone((size_t)n * 2);
        for (int i = 0; i < n; i++) {
            short v = (short)(8000 * std::sin(2 * 3.14159265358979 * 1000.0 * (double)(sent + i) / 44100.0));
            tone[(size_t)i * 2] = tone[(size_t)i * 2 + 1] = v;
        }
        writer.WriteSample(audioInput, (ULONGLONG)f * 400000, 0, reinterpret_cast<BYTE *>(tone.data()),
                           (DWORD)(tone.size() * 2));
        sent += n;
    }
    writer.Flush();
    writer.EndWriting();
    writer.RemoveSink(&file);
    file.Close();

    std::string bytes;
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD size = GetFileSize(h, nullptr), got = 0;
        bytes.resize(size);
        if (!ReadFile(h, &bytes[0], size, &got, nullptr) || got != size) bytes.clear();
        CloseHandle(h);
    }
    DeleteFileA(path);
    return bytes;
}

/* The clip with its video codec's four-character code changed to one no
 * decoder knows (in the header's stream properties). */
inline std::string WithUnknownVideoCodec(std::string clip, const char *from = "WMV2", const char *to = "ZZZ9")
{
    size_t header = std::min<size_t>(clip.size(), 16384);
    for (size_t i = 0; i + 4 <= header; i++)
        if (!memcmp(&clip[i], from, 4)) memcpy(&clip[i], to, 4);
    return clip;
}

/* A port where nothing listens (bound, then let go). */
inline DWORD FreePort()
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr *>(&a), sizeof(a));
    int len = sizeof(a);
    getsockname(s, reinterpret_cast<sockaddr *>(&a), &len);
    closesocket(s);
    return ntohs(a.sin_port);
}

class HttpServer {
public:
    enum Kind { SERVE, CUT, SILENT };
    struct Route { Kind kind; std::string body; size_t cutAt; };

    HttpServer()
    {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof(a));
        int len = sizeof(a);
        getsockname(listener, reinterpret_cast<sockaddr *>(&a), &len);
        port = ntohs(a.sin_port);
        listen(listener, 16);
        acceptThread = CreateThread(nullptr, 0, AcceptMain, this, 0, nullptr);
    }
    ~HttpServer()
    {
        SetEvent(stopEvent);
        closesocket(listener);
        WaitForSingleObject(acceptThread, 10000);
        CloseHandle(acceptThread);
        std::vector<HANDLE> clients;
        {
            std::lock_guard<std::mutex> l(lock);
            clients.swap(clientThreads);
        }
        for (HANDLE t : clients) {
            WaitForSingleObject(t, 10000);
            CloseHandle(t);
        }
        CloseHandle(stopEvent);
    }
    void Serve(const std::string &path, const std::string &body) { Add(path, {SERVE, body, 0}); }
    /* Promises the whole body, sends the first `at` bytes, hangs up. */
    void Cut(const std::string &path, const std::string &body, size_t at) { Add(path, {CUT, body, at}); }
    /* Takes the connection and never answers. */
    void Silent(const std::string &path) { Add(path, {SILENT, std::string(), 0}); }

    std::string Url(const std::string &path) const
    {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }
    int Requests() const { return requests.load(); }

    DWORD port = 0;

private:
    void Add(const std::string &path, const Route &r)
    {
        std::lock_guard<std::mutex> l(lock);
        routes[path] = r;
    }
    static DWORD WINAPI AcceptMain(void *arg)
    {
        auto *self = static_cast<HttpServer *>(arg);
        for (;;) {
            SOCKET c = accept(self->listener, nullptr, nullptr);
            if (c == INVALID_SOCKET) return 0;
            auto *job = new std::pair<HttpServer *, SOCKET>(self, c);
            HANDLE t = CreateThread(nullptr, 0, ClientMain, job, 0, nullptr);
            std::lock_guard<std::mutex> l(self->lock);
            self->clientThreads.push_back(t);
        }
    }
    static bool SendAll(SOCKET s, const char *p, size_t n)
    {
        while (n) {
            int k = send(s, p, (int)std::min<size_t>(n, 65536), 0);
            if (k <= 0) return false;
            p += k;
            n -= (size_t)k;
        }
        return true;
    }
    static DWORD WINAPI ClientMain(void *arg)
    {
        auto *job = static_cast<std::pair<HttpServer *, SOCKET> *>(arg);
        HttpServer *self = job->first;
        SOCKET c = job->second;
        delete job;
        DWORD timeout = 5000;
        setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&timeout), sizeof(timeout));
        std::string req;
        char buf[2048];
        while (req.find("\r\n\r\n") == std::string::npos && req.size() < 16384) {
            int k = recv(c, buf, sizeof(buf), 0);
            if (k <= 0) break;
            req.append(buf, (size_t)k);
        }
        self->requests++;
        std::string path;
        size_t sp = req.find(' ');
        if (sp != std::string::npos) path = req.substr(sp + 1, req.find(' ', sp + 1) - sp - 1);
        Route r = {SERVE, std::string(), 0};
        bool found = false;
        {
            std::lock_guard<std::mutex> l(self->lock);
            auto it = self->routes.find(path);
            if (it != self->routes.end()) { r = it->second; found = true; }
        }
        if (!found) {
            static const char nf[] = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            SendAll(c, nf, sizeof(nf) - 1);
        } else if (r.kind == SILENT) {
            WaitForSingleObject(self->stopEvent, 60000);
        } else {
            size_t from = 0;
            size_t rp = req.find("Range: bytes=");
            if (rp == std::string::npos) rp = req.find("range: bytes=");
            if (rp != std::string::npos) from = (size_t)strtoull(req.c_str() + rp + 13, nullptr, 10);
            if (from > r.body.size()) from = r.body.size();
            std::string head;
            if (rp != std::string::npos) {
                head = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(from) + "-" +
                       std::to_string(r.body.size() ? r.body.size() - 1 : 0) + "/" + std::to_string(r.body.size()) +
                       "\r\n";
            } else {
                head = "HTTP/1.1 200 OK\r\n";
            }
            head += "Content-Type: video/x-ms-asf\r\nAccept-Ranges: bytes\r\nConnection: close\r\nContent-Length: " +
                    std::to_string(r.body.size() - from) + "\r\n\r\n";
            if (SendAll(c, head.data(), head.size())) {
                size_t end = r.kind == CUT ? std::max(from, std::min(r.cutAt, r.body.size())) : r.body.size();
                SendAll(c, r.body.data() + from, end - from);
            }
        }
        shutdown(c, SD_BOTH);
        closesocket(c);
        return 0;
    }

    SOCKET listener = INVALID_SOCKET;
    HANDLE acceptThread = nullptr, stopEvent = nullptr;
    std::mutex lock;
    std::map<std::string, Route> routes;
    std::vector<HANDLE> clientThreads;
    std::atomic<int> requests{0};
};

} // namespace fixture

#endif
