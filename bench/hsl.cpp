// Throughput of the HSL colour shift beside libavfilter's huesaturation
// filter and a plain memcpy of the same bytes, at three frame sizes, on one
// thread: the filter graph runs with one thread (no slice threads), and the
// frame it filters in place is handed over without a copy.  Its pixels are
// put back untimed before each run, so both sides work on the same picture.
#include <windows.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>
#include "hsl_pixel.h"
#include "bench_load.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace {

using Clock = std::chrono::steady_clock;

const hsl::Offsets kOffsets = {60, 20, -10};

// A frame with smooth gradients, hard edges and a little noise.
std::vector<uint8_t> MakeFrame(int w, int h) {
    std::vector<uint8_t> f((size_t)w * h * 3);
    uint32_t noise = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            noise = noise * 1103515245u + 12345u;
            const int n = (int)((noise >> 24) & 15) - 8;
            uint8_t* p = &f[((size_t)y * w + x) * 3];
            const int bar = x * 8 / w;
            const int b = (bar & 1) ? 255 * y / h : 40, g = (bar & 2) ? 255 * x / w : 90, r = (bar & 4) ? 200 : 255 * (h - y) / h;
            p[0] = (uint8_t)std::max(0, std::min(255, b + n));
            p[1] = (uint8_t)std::max(0, std::min(255, g + n));
            p[2] = (uint8_t)std::max(0, std::min(255, r + n));
        }
    return f;
}

// Runs |fn| repeatedly for about |seconds| (|prepare| untimed before each
// call); returns seconds per call.
template <class F, class P>
double Time(F fn, P prepare, double seconds = 0.6) {
    prepare();
    fn();  // warm up
    int n = 0;
    double timed = 0;
    const auto start = Clock::now();
    do {
        prepare();
        const auto t0 = Clock::now();
        fn();
        timed += std::chrono::duration<double>(Clock::now() - t0).count();
        ++n;
    } while (std::chrono::duration<double>(Clock::now() - start).count() < seconds || n < 3);
    return timed / n;
}
template <class F>
double Time(F fn, double seconds = 0.6) {
    return Time(fn, [] {}, seconds);
}

// buffer -> huesaturation -> buffersink on packed 24-bit frames.
struct AvHueSat {
    AVFilterGraph* graph = nullptr;
    AVFilterContext *src = nullptr, *sink = nullptr;
    AVFrame* in = nullptr;     // the picture, never filtered
    AVFrame* work = nullptr;   // filtered in place, restored from |in|
    AVPixelFormat fmt = AV_PIX_FMT_NONE;
    bool ok = false;

    AvHueSat(int w, int h, const std::vector<uint8_t>& frame) {
        for (AVPixelFormat f : {AV_PIX_FMT_BGR24, AV_PIX_FMT_RGB24}) {
            if (Build(w, h, f)) {
                fmt = f;
                break;
            }
        }
        if (fmt == AV_PIX_FMT_NONE) return;
        in = av_frame_alloc();
        work = av_frame_alloc();
        for (AVFrame* f : {in, work}) {
            f->width = w;
            f->height = h;
            f->format = fmt;
            if (av_frame_get_buffer(f, 32) < 0) return;
        }
        for (int y = 0; y < h; ++y) memcpy(in->data[0] + (size_t)y * in->linesize[0], &frame[(size_t)y * w * 3], w * 3);
        ok = true;
    }
    bool Build(int w, int h, AVPixelFormat f) {
        avfilter_graph_free(&graph);
        graph = avfilter_graph_alloc();
        graph->nb_threads = 1;  // one core, as our filter runs
        char args[256];
        snprintf(args, sizeof(args), "video_size=%dx%d:pix_fmt=%d:time_base=1/25:pixel_aspect=1/1", w, h, (int)f);
        AVFilterContext* hs = nullptr;
        if (avfilter_graph_create_filter(&src, avfilter_get_by_name("buffer"), "in", args, nullptr, graph) < 0)
            return false;
        if (avfilter_graph_create_filter(&hs, avfilter_get_by_name("huesaturation"), "hs",
                                         "hue=60:saturation=0.2:intensity=-0.1", nullptr, graph) < 0)
            return false;
        if (avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, graph) < 0)
            return false;
        if (avfilter_link(src, 0, hs, 0) < 0 || avfilter_link(hs, 0, sink, 0) < 0) return false;
        if (avfilter_graph_config(graph, nullptr) < 0) return false;
        // The format must reach the filter unconverted.
        return hs->inputs[0]->format == f;
    }
    // Untimed: the work frame gets the picture back (it was filtered in place).
    void Restore() { av_frame_copy(work, in); }
    // The frame goes in without keeping a reference, so it is writable and
    // the filter works on it in place; the sink hands the same buffer back.
    void Run() {
        if (av_buffersrc_add_frame_flags(src, work, 0) >= 0) av_buffersink_get_frame(sink, work);
    }
    ~AvHueSat() {
        av_frame_free(&in);
        av_frame_free(&work);
        avfilter_graph_free(&graph);
    }
};

}  // namespace

int main() {
    av_log_set_level(AV_LOG_ERROR);
    printf("HSL colour shift, offsets hue %+d saturation %+d lightness %+d; one core\n", kOffsets.hue,
           kOffsets.saturation, kOffsets.lightness);
    printf("hsl: the filter's pixel path (%s kernel); sse4/scalar: its kernels for processors without AVX2 / SSE4.1;\n"
           "lavfi: libavfilter huesaturation (hue=60:saturation=0.2:intensity=-0.1), one thread, in place;\n"
           "ref: the plain formula loop\n",
           hsl::KernelName(hsl::Kernel::Auto));
    printf("%-10s %11s %9s %12s %13s %13s %14s %10s %11s %11s\n", "size", "hsl Mpix/s", "hsl fps", "sse4 Mpix/s", "scalar Mpix/s",
           "lavfi Mpix/s", "memcpy Mpix/s", "hsl/lavfi", "hsl/memcpy", "ref Mpix/s");
    const int sizes[][2] = {{320, 240}, {720, 576}, {1920, 1080}};
    bool aheadOfLavfi = true;
    double fps1080 = 0;
    for (const auto& s : sizes) {
        const int w = s[0], h = s[1];
        const double pixels = (double)w * h;
        const std::vector<uint8_t> frame = MakeFrame(w, h);
        std::vector<uint8_t> out(frame.size());
        const double tHsl = Time([&] { hsl::ShiftPixels(frame.data(), out.data(), (size_t)w * h, kOffsets); });
        const double tGen = Time([&] {
            hsl::ShiftPixelsWith(hsl::Kernel::Scalar, frame.data(), out.data(), (size_t)w * h, kOffsets);
        });
        const double tSse = Time([&] {
            hsl::ShiftPixelsWith(hsl::Kernel::Sse41, frame.data(), out.data(), (size_t)w * h, kOffsets);
        });
        const double tRef =
            Time([&] { hsl::ShiftPixelsReference(frame.data(), out.data(), (size_t)w * h, kOffsets); }, 0.3);
        const double tCopy = Time([&] { memcpy(out.data(), frame.data(), frame.size()); });
        AvHueSat av(w, h, frame);
        const double tAv = av.ok ? Time([&] { av.Run(); }, [&] { av.Restore(); }) : 0;
        char size[32];
        snprintf(size, sizeof(size), "%dx%d", w, h);
        const double mHsl = pixels / tHsl / 1e6, mCopy = pixels / tCopy / 1e6, mRef = pixels / tRef / 1e6;
        const double mAv = av.ok ? pixels / tAv / 1e6 : 0;
        printf("%-10s %11.1f %9.1f %12.1f %13.1f %13.1f %14.1f %10.2f %11.3f %11.1f\n", size, mHsl, 1.0 / tHsl,
               pixels / tSse / 1e6, pixels / tGen / 1e6, mAv, mCopy, av.ok ? mHsl / mAv : 0.0, mHsl / mCopy, mRef);
        if (av.ok && mHsl < mAv) aheadOfLavfi = false;
        if (w == 1920) fps1080 = 1.0 / tHsl;
        if (!av.ok) printf("  (libavfilter huesaturation unavailable on packed 24-bit frames)\n");
        else if (&s == &sizes[0]) printf("  (libavfilter on %s)\n", av_get_pix_fmt_name(av.fmt));
    }
    PrintBenchLoad("at the end");
    printf("targets: at least libavfilter's throughput at every size: %s; 1080p at 30 fps or more: %s (%.0f fps)\n",
           aheadOfLavfi ? "yes" : "no", fps1080 >= 30 ? "yes" : "no", fps1080);
    return 0;
}
