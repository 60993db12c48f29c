/*
 * The JPEG stand-in (JPEG32.dll, loaded by name, bytes through its callback)
 * against libjpeg called directly on the same 1920 x 1080 file from memory,
 * both writing bottom-up 24-bit blue-green-red rows into one block.
 *
 *   bench_jpeg32.exe [rounds]
 */
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_load.h"
#include "jpeg32.h"

extern "C" char *CDECL wine_get_unix_file_name(LPCWSTR dos);
// The direct libjpeg loop lives apart from the Windows headers.
bool DirectLibjpeg(const unsigned char *data, size_t size, unsigned char *block, size_t stride, int height);

namespace {

using Clock = std::chrono::steady_clock;

struct Memory {
    const std::vector<uint8_t> *data;
    size_t at;
};

int WINAPI ReadMemory(int code, void *source, BYTE *buffer, int length)
{
    Memory *m = static_cast<Memory *>(source);
    if (code != JPEG_CB_READ) return 0;
    size_t n = std::min(m->data->size() - m->at, size_t(length));
    std::memcpy(buffer, m->data->data() + m->at, n);
    m->at += n;
    return int(n);
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

}  // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
    HMODULE lib = LoadLibraryA("JPEG32.dll");
    auto decompress = lib ? reinterpret_cast<decltype(&JPEG_Decompress)>(GetProcAddress(lib, "JPEG_Decompress")) : nullptr;
    if (!decompress) {
        printf("JPEG32.dll not found\n");
        return 1;
    }
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    PrintBenchLoad("before");
    printf("%-22s %10s %12s %8s %s\n", "file", "JPEG32 ms", "libjpeg ms", "ratio", "same pixels");
    const char *kinds[][2] = {{"4:2:0 baseline", "-pix_fmt yuvj420p -q:v 3"}, {"4:4:4 baseline", "-pix_fmt yuvj444p -q:v 3"}};
    for (auto &k : kinds) {
        std::string path = std::string(dir) + "bench_jpeg32.jpg";
        WCHAR w[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, w, MAX_PATH);
        char *u = wine_get_unix_file_name(w);
        std::string cmd = std::string("ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=s=1920x1080:r=1 -frames:v 1 -c:v mjpeg ") +
                          k[1] + " '" + (u ? u : "") + "'";
        if (u) HeapFree(GetProcessHeap(), 0, u);
        if (system(cmd.c_str()) != 0) continue;
        std::vector<uint8_t> data;
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD size = GetFileSize(h, nullptr), done = 0;
        data.resize(size);
        ReadFile(h, data.data(), size, &done, nullptr);
        CloseHandle(h);
        DeleteFileA(path.c_str());
        const size_t stride = 1920 * 3;
        std::vector<uint8_t> a(stride * 1080), b(stride * 1080);
        double ours = BestMs(rounds, [&] {
            Memory m = {&data, 0};
            JpegWork work = {};
            work.bytesPerRow = uint32_t(stride);
            work.rows = 1080;
            return decompress(&m, ReadMemory, &work, a.data()) == 0;
        });
        double direct = BestMs(rounds, [&] { return DirectLibjpeg(data.data(), data.size(), b.data(), stride, 1080); });
        printf("%-22s %10.2f %12.2f %7.2fx %s\n", k[0], ours, direct, ours > 0 ? direct / ours : 0.0, a == b ? "yes" : "no");
    }
    PrintBenchLoad("after");
    FreeLibrary(lib);
    return 0;
}
