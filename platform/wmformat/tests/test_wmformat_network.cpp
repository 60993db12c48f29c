/*
 * The network sink: real clients (the ffmpeg tool over http:// and
 * mmsh://) receive a decodable live stream, two at once, while a client
 * that hangs up disturbs nobody; a port in use is refused.
 */
#define NOMINMAX
#include <winsock2.h>
#include <catch2/catch.hpp>

#include <atomic>
#include "wmwriter.h"
#include "media_probe.h"

using namespace probe;

namespace {

/* A live writer: 25 frames a second of moving bars with a tone, to a
 * network sink (and a file sink when given), until stopped. */
struct LiveWriter {
    WmWriter writer;
    WmNetworkSink net;
    DWORD port = 0;
    std::atomic<bool> stop{false};
    std::atomic<unsigned> frames{0};
    HANDLE thread = nullptr;

    LiveWriter()
    {
        WmProfile p;
        REQUIRE(WmSystemProfile(4, &p));
        REQUIRE(writer.SetProfile(p) == S_OK);
        WmInputFormat v;
        REQUIRE(writer.GetInputFormat(1, &v) == S_OK);
        v.width = 320;
        v.height = 240;
        REQUIRE(writer.SetInputFormat(1, v) == S_OK);
        REQUIRE(net.Open(&port) == S_OK);
        REQUIRE(port != 0);
        REQUIRE(writer.AddSink(&net) == S_OK);
        REQUIRE(writer.SetLiveSource(TRUE) == S_OK);
        REQUIRE(writer.BeginWriting() == S_OK);
        thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    static DWORD WINAPI Run(void *arg)
    {
            auto *self = static_cast<LiveWriter *>(arg);
            std::vector<BYTE> pic(320 * 240 * 3);
            long long sent = 0;
            DWORD start = GetTickCount();
            for (unsigned f = 0; !self->stop && f < 25 * 40; f++) {
                for (size_t i = 0; i < pic.size(); i += 3) {
                    int x = (int)(i / 3 % 320);
                    pic[i + 2] = x < 160 ? 255 : 0;
                    pic[i + 1] = x >= 160 ? 255 : 0;
                    pic[i] = (BYTE)(f * 4);
                }
                self->writer.WriteSample(1, (ULONGLONG)f * 400000, 1, pic.data(), (DWORD)pic.size());
                int n = (int)((f + 1) * 44100LL / 25 - sent);
                auto tone = Tone(1000, 44100, 2, n, sent);
                self->writer.WriteSample(0, (ULONGLONG)f * 400000, 0, reinterpret_cast<BYTE *>(tone.data()),
                                         (DWORD)(tone.size() * 2));
                sent += n;
                self->frames++;
                DWORD due = start + (f + 1) * 40;
                LONG wait = (LONG)(due - GetTickCount());
                if (wait > 0) Sleep((DWORD)wait);
            }
            return 0;
    }
    void Finish()
    {
        stop = true;
        if (thread) { WaitForSingleObject(thread, INFINITE); CloseHandle(thread); thread = nullptr; }
        writer.EndWriting();
    }
    ~LiveWriter()
    {
        Finish();
        writer.RemoveSink(&net);
        net.Close();
    }
};

std::string TempUnix(const char16_t *name)
{
    std::u16string p = TempPath(name);
    DeleteFileW(W(p));
    return UnixPath(W(p));
}

} // namespace

TEST_CASE("Two clients at once receive a decodable live stream over http and mmsh", "[network]")
{
    LiveWriter live;
    std::string a = TempUnix(u"net_http.asf"), b = TempUnix(u"net_mmsh.asf");
    std::string port = std::to_string(live.port);

    /* A client that connects, takes a little and hangs up. */
    SOCKET quitter = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((u_short)live.port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    REQUIRE(connect(quitter, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) == 0);
    const char get[] = "GET / HTTP/1.0\r\n\r\n";
    send(quitter, get, sizeof(get) - 1, 0);
    char buf[4096];
    int got = recv(quitter, buf, sizeof(buf), 0);
    CHECK(got > 0);
    CHECK(std::string(buf, 15) == "HTTP/1.0 200 OK");
    closesocket(quitter);

    probe::Run("(ffmpeg -v error -y -i http://127.0.0.1:" + port + "/ -t 3 -c copy " + Quote(a) +
        " & ffmpeg -v error -y -i mmsh://127.0.0.1:" + port + "/ -t 3 -c copy " + Quote(b) + " & wait)");
    unsigned framesAtEnd = live.frames;
    live.Finish();
    CHECK(framesAtEnd >= 75);
    CHECK(live.net.ClientsServed() >= 3);

    for (const std::string &f : {a, b}) {
        INFO(f);
        Info info = Probe(f);
        CHECK(info.format["format_name"] == "asf");
        CHECK(info.Get("video", "codec_name") == "wmv2");
        CHECK(info.Get("video", "width") == "320");
        CHECK(info.Get("audio", "codec_name") == "wmav2");
        int frames = CountFrames(f);
        CHECK(frames >= 50);
        auto pic = FrameAt(f, 1.0, 320, 240);
        REQUIRE(!pic.empty());
        int rgb[3];
        MeanColour(pic, 320, 40, 100, 60, 40, rgb);
        CHECK((rgb[0] > 200 && rgb[1] < 60));     /* red left half */
        MeanColour(pic, 320, 220, 100, 60, 40, rgb);
        CHECK((rgb[1] > 200 && rgb[0] < 60));     /* green right half */
    }
}

TEST_CASE("A port in use is refused; closing frees it; bad requests are answered", "[network][bad]")
{
    WmNetworkSink first, second;
    DWORD port = 0;
    REQUIRE(first.Open(&port) == S_OK);
    DWORD same = port;
    CHECK(second.Open(&same) == WMW_E_PORT_IN_USE);
    CHECK(first.Open(&port) == WMW_E_INVALID_REQUEST);
    DWORD tooBig = 70000;
    CHECK(second.Open(&tooBig) == E_INVALIDARG);

    /* Not a GET: 400, and the sink goes on. */
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((u_short)port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    REQUIRE(connect(s, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) == 0);
    const char junk[] = "POST /x HTTP/1.0\r\n\r\n";
    send(s, junk, sizeof(junk) - 1, 0);
    char buf[256] = {};
    int got = recv(s, buf, sizeof(buf) - 1, 0);
    CHECK(got > 0);
    CHECK(std::string(buf).find("400") != std::string::npos);
    closesocket(s);

    REQUIRE(first.Close() == S_OK);
    same = port;
    CHECK(second.Open(&same) == S_OK);
    CHECK(second.Close() == S_OK);
}
