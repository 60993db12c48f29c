/*
 * Decoding a 1920 x 1080 picture through ferrixConvert into a 24-bit memory
 * bitmap (the file's bytes in memory, the reader chosen by format id), side
 * by side in the same run with libavcodec decoding the same bytes (its
 * decoder opened once, only send/receive timed) and with a memcpy of the
 * decoded pixels.  Files are written by the ffmpeg tool: BMP 24-bit, TIFF
 * 24-bit with LZW, Targa 24-bit with run-length packets, GIF (8-bit).
 *
 *   bench_ferrix_decode.exe [rounds]
 */
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "bench_load.h"
#include "ferrix.h"

extern "C" char *CDECL wine_get_unix_file_name(LPCWSTR dos);

namespace {

using Clock = std::chrono::steady_clock;
const int W = 1920, H = 1080;

std::string TempDir()
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return dir;
}

std::string UnixPath(const std::string &win)
{
    WCHAR w[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, win.c_str(), -1, w, MAX_PATH);
    char *u = wine_get_unix_file_name(w);
    std::string out = u ? u : "";
    if (u) HeapFree(GetProcessHeap(), 0, u);
    return out;
}

std::vector<uint8_t> Load(const std::string &path)
{
    std::vector<uint8_t> out;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    DWORD size = GetFileSize(h, nullptr), done = 0;
    out.resize(size);
    ReadFile(h, out.data(), size, &done, nullptr);
    CloseHandle(h);
    return out;
}

template <class F> double BestMs(int rounds, F f)
{
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        auto t0 = Clock::now();
        if (!f()) return -1;
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return best;
}

struct Case {
    const char *name, *file, *options;
    uint16_t formatId;
    FxEnumFormats reader;  // its open function is handed over with the request
    AVCodecID codec;
};

FxReaderOpen OpenOf(FxEnumFormats e)
{
    FormatRecord r;
    std::memset(&r, 0, sizeof r);
    return e(0, &r) >= 0 ? r.u.read.open : nullptr;
}

}  // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 12;
    const Case cases[] = {
        {"BMP 24-bit", "bench.bmp", "-pix_fmt bgr24", FX_ID_BMP, BMPEnumReadFormats, AV_CODEC_ID_BMP},
        {"TIFF 24-bit LZW", "bench.tif", "-pix_fmt rgb24 -compression_algo lzw", FX_ID_TIFF, TIFEnumReadFormats,
         AV_CODEC_ID_TIFF},
        {"TGA 24-bit RLE", "bench.tga", "-pix_fmt bgr24 -rle 1", FX_ID_TGA, TGAEnumReadFormats, AV_CODEC_ID_TARGA},
        {"GIF 8-bit", "bench.gif", "-pix_fmt pal8", FX_ID_GIF, GIFEnumReadFormats, AV_CODEC_ID_GIF},
    };
    PrintBenchLoad("before");
    printf("%-16s %10s %12s %10s %12s %14s\n", "file", "ours ms", "libavcodec", "memcpy", "ours/memcpy",
           "libav/ours");
    std::vector<uint8_t> block((size_t(W) * 3 + 3) / 4 * 4 * H), copy(block.size());
    for (const Case &c : cases) {
        std::string path = TempDir() + c.file;
        std::string cmd = "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=s=1920x1080:r=1 -frames:v 1 " +
                          std::string(c.options) + " '" + UnixPath(path) + "'";
        if (system(cmd.c_str()) != 0) {
            printf("%-16s the ffmpeg tool could not write it\n", c.name);
            continue;
        }
        std::vector<uint8_t> bytes = Load(path);
        DeleteFileA(path.c_str());

        // Ours: the file image in memory, into a caller's 24-bit block.
        const uint32_t stride = (uint32_t(W) * 3 + 3) & ~3u;
        double ours = BestMs(rounds, [&] {
            ConvertSource s;
            std::memset(&s, 0, sizeof s);
            s.version = FX_REQUEST_VERSION;
            s.pixels = bytes.data();
            s.encodedLength = uint32_t(bytes.size());
            s.formatId = c.formatId;
            s.open = OpenOf(c.reader);
            ConvertTarget t;
            std::memset(&t, 0, sizeof t);
            t.version = FX_REQUEST_VERSION;
            FxBlockGeometry g = {stride, uint32_t(H)};
            t.pixelBlock = block.data();
            t.blockGeometry = &g;
            t.depth = 24;
            t.rowOrder = 0x600;
            int rc = ferrixConvert(&s, &t);
            if (rc) printf("%s: conversion failed with %d\n", c.name, rc);
            return rc == 0;
        });

        // libavcodec on the same bytes: decoder opened once.
        const AVCodec *codec = avcodec_find_decoder(c.codec);
        AVCodecContext *ctx = codec ? avcodec_alloc_context3(codec) : nullptr;
        if (ctx) ctx->thread_count = 1;
        AVPacket *pkt = av_packet_alloc();
        AVFrame *fr = av_frame_alloc();
        double lav = -1;
        if (ctx && avcodec_open2(ctx, codec, nullptr) == 0) {
            lav = BestMs(rounds, [&] {
                av_packet_unref(pkt);
                pkt->data = bytes.data();
                pkt->size = int(bytes.size());
                if (avcodec_send_packet(ctx, pkt) < 0) return false;
                bool got = avcodec_receive_frame(ctx, fr) == 0;
                av_frame_unref(fr);
                if (c.codec == AV_CODEC_ID_GIF) avcodec_flush_buffers(ctx);
                return got;
            });
        }
        av_frame_free(&fr);
        pkt->data = nullptr;
        pkt->size = 0;
        av_packet_free(&pkt);
        avcodec_free_context(&ctx);

        double mc = BestMs(rounds, [&] {
            std::memcpy(copy.data(), block.data(), block.size());
            return copy[7] == block[7];
        });
        printf("%-16s %10.2f %12.2f %10.2f %11.1fx %13.2fx\n", c.name, ours, lav, mc, ours / mc,
               lav > 0 && ours > 0 ? lav / ours : 0.0);
    }
    PrintBenchLoad("after");
    return 0;
}
