// The reference the decode benchmarks compare with: the same FFmpeg
// libraries driven in-process in the plainest loop -- demux, decode (frame
// and slice threads as our decoder asks for), convert to BGR24 with
// libswscale -- opening not timed, counted from the first picture.
#pragma once
#include <chrono>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

struct FfLoopResult {
    long frames = 0;   // pictures converted
    double fps = 0;    // after the first: (frames - 1) / (last - first)
};

inline FfLoopResult FfmpegLoop(const std::string &unixPath)
{
    using Clock = std::chrono::steady_clock;
    FfLoopResult r;
    AVFormatContext *fc = nullptr;
    if (avformat_open_input(&fc, unixPath.c_str(), nullptr, nullptr) < 0) return r;
    const AVCodec *codec = nullptr;
    AVCodecContext *c = nullptr;
    SwsContext *sws = nullptr;
    AVPacket *pkt = av_packet_alloc();
    AVFrame *fr = av_frame_alloc();
    std::vector<uint8_t> out;
    int vi = -1;
    Clock::time_point first, last;
    auto drain = [&] {
        while (avcodec_receive_frame(c, fr) >= 0) {
            sws = sws_getCachedContext(sws, fr->width, fr->height, AVPixelFormat(fr->format), fr->width, fr->height,
                                       AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
            const int stride = (fr->width * 3 + 3) & ~3;
            out.resize((size_t)stride * fr->height);
            uint8_t *planes[4] = {out.data(), nullptr, nullptr, nullptr};
            int strides[4] = {stride, 0, 0, 0};
            if (sws) sws_scale(sws, fr->data, fr->linesize, 0, fr->height, planes, strides);
            av_frame_unref(fr);
            last = Clock::now();
            if (r.frames++ == 0) first = last;
        }
    };
    do {
        if (avformat_find_stream_info(fc, nullptr) < 0) break;
        vi = av_find_best_stream(fc, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (vi < 0 || !codec) break;
        c = avcodec_alloc_context3(codec);
        if (!c || avcodec_parameters_to_context(c, fc->streams[vi]->codecpar) < 0) break;
        c->thread_count = 0;  // as many as the process may use, like our decoder
        c->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        if (avcodec_open2(c, codec, nullptr) < 0) break;
        while (av_read_frame(fc, pkt) >= 0) {
            if (pkt->stream_index == vi) {
                while (avcodec_send_packet(c, pkt) == AVERROR(EAGAIN)) drain();
                drain();
            }
            av_packet_unref(pkt);
        }
        avcodec_send_packet(c, nullptr);
        drain();
        if (r.frames > 1) r.fps = (r.frames - 1) / std::chrono::duration<double>(last - first).count();
    } while (false);
    sws_freeContext(sws);
    av_frame_free(&fr);
    av_packet_free(&pkt);
    avcodec_free_context(&c);
    avformat_close_input(&fc);
    return r;
}
