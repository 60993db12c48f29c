// The graphics core's block-transform strip codec against libjpeg (baseline
// DCT, 4:2:0, quality 75) on the same 1024 x 576 picture in one run: encode
// and decode throughput, coded size and PSNR.
//
//   bench_pixmoor_codec.exe [iterations]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "codec.h"
#include "pixmoor_codec_jpeg.h"
#include "startup.h"

namespace {

const int W = 1024, H = 576;

template <class Fn>
double best_ms(int iterations, Fn fn)
{
    double best = 1e30;
    for (int i = 0; i < iterations; i++) {
        auto t0 = std::chrono::steady_clock::now();
        fn();
        auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return best;
}

// A picture with smooth shading, edges and some texture.
std::vector<DWORD> picture()
{
    std::vector<DWORD> px((size_t)W * H);
    uint32_t s = 12345;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            s = s * 1664525u + 1013904223u;
            int n = (int)(s >> 28) - 8;
            double fx = x / (double)W, fy = y / (double)H;
            int r = (int)(128 + 100 * std::sin(6 * fx + 2 * fy)) + n;
            int g = (int)(120 + 90 * std::cos(5 * fy - 3 * fx)) + n;
            int b = ((x / 64 + y / 48) & 1) ? 200 : 60;
            auto c = [](int v) { return (DWORD)(v < 0 ? 0 : v > 255 ? 255 : v); };
            px[(size_t)y * W + x] = 0xFF000000u | c(r) << 16 | c(g) << 8 | c(b + n);
        }
    return px;
}

double psnr(const std::vector<DWORD> &a, const std::vector<unsigned char> &rgb)
{
    double se = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        int d0 = (int)((a[i] >> 16) & 0xFF) - rgb[3 * i], d1 = (int)((a[i] >> 8) & 0xFF) - rgb[3 * i + 1],
            d2 = (int)(a[i] & 0xFF) - rgb[3 * i + 2];
        se += d0 * d0 + d1 * d1 + d2 * d2;
    }
    double mse = se / (3.0 * a.size());
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

std::vector<unsigned char> to_rgb(const std::vector<DWORD> &px)
{
    std::vector<unsigned char> rgb(px.size() * 3);
    for (size_t i = 0; i < px.size(); ++i) {
        rgb[3 * i] = (unsigned char)(px[i] >> 16);
        rgb[3 * i + 1] = (unsigned char)(px[i] >> 8);
        rgb[3 * i + 2] = (unsigned char)px[i];
    }
    return rgb;
}

}  // namespace

int main(int argc, char **argv)
{
    int iterations = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    PixmoorProcessAttach();
    auto px = picture();
    auto rgb = to_rgb(px);
    const double mb = (double)W * H * 4 / 1e6;

    // Ours: every 16-line strip coded into one growing stream.
    std::vector<BYTE> coded((size_t)(H / 16) * CODEC_STRIP_LIMIT);
    std::vector<size_t> lengths(H / 16);
    size_t total = 0;
    double encMs = best_ms(iterations, [&] {
        total = 0;
        for (int s = 0; s < H / 16; ++s) {
            lengths[s] = codec_encode_strip(&px[(size_t)s * 16 * W], W, W, 16, coded.data() + total, CODEC_STRIP_LIMIT);
            total += lengths[s];
        }
    });
    std::vector<DWORD> back(px.size());
    double decMs = best_ms(iterations, [&] {
        size_t at = 0;
        for (int s = 0; s < H / 16; ++s) at += codec_decode_strip(coded.data() + at, lengths[s], W, &back[(size_t)s * 16 * W], W);
    });
    double ourPsnr = psnr(px, to_rgb(back));

    std::vector<unsigned char> jpeg;
    size_t jsize = 0;
    double jEncMs = best_ms(iterations, [&] { jsize = bench_jpeg_compress(rgb.data(), W, H, 75, jpeg); });
    std::vector<unsigned char> jback(rgb.size());
    double jDecMs = best_ms(iterations, [&] { bench_jpeg_decompress(jpeg, jback.data(), W, H); });
    std::vector<DWORD> jpx(px.size());
    double se = 0;
    for (size_t i = 0; i < rgb.size(); ++i) se += (double)((int)rgb[i] - jback[i]) * ((int)rgb[i] - jback[i]);
    double jPsnr = 10 * std::log10(255.0 * 255.0 / (se / rgb.size()));

    printf("picture %d x %d, best of %d runs\n", W, H, iterations);
    printf("%-22s %10s %10s %10s %10s %8s\n", "", "encode ms", "MB/s", "decode ms", "MB/s", "bytes");
    printf("%-22s %10.2f %10.1f %10.2f %10.1f %8zu  PSNR %.2f dB\n", "block-transform codec", encMs, mb / encMs * 1000,
           decMs, mb / decMs * 1000, total, ourPsnr);
    printf("%-22s %10.2f %10.1f %10.2f %10.1f %8zu  PSNR %.2f dB\n", "libjpeg q75", jEncMs, mb / jEncMs * 1000, jDecMs,
           mb / jDecMs * 1000, jsize, jPsnr);
    printf("ratio (codec / libjpeg): encode speed %.2fx, decode speed %.2fx, size %.2fx\n", jEncMs / encMs,
           jDecMs / decMs, (double)total / jsize);
    return 0;
}
