/*
 * CFLVWriter: the programme as an FLV or SWF file through libavformat.
 */
#include "writers.h"
#include "decoder.h"
#include "surface_rows.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <immintrin.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

static const int kAudioBitrates[14] = {32000, 48000, 56000, 64000, 80000, 96000, 112000,
                                       128000, 144000, 160000, 176000, 192000, 224000, 256000};

void FlvOutputSize(int w, int h, int vw, int vh, int *outW, int *outH)
{
    if (w <= 0 || h <= 0 || vw <= 0 || vh <= 0) { *outW = w; *outH = h; return; }
    if (w > vw) { *outW = vw; *outH = vw * h / w; }
    else if (h > vh) { *outH = vh; *outW = vh * w / h; }
    else { *outW = vh * w / h; *outH = vw * h / w; }
}

int FlvAudioSampleRate(int rate, int bitrate)
{
    if (rate == 44100 || rate == 22050) return rate;
    if (rate > 32000) return 44100;
    if (bitrate == 64000 || bitrate == 32000) return 22050;
    return 44100;
}

int FlvAudioBitrate(int bitrate, int sampleRate)
{
    int b = 64000;
    for (int v : kAudioBitrates)
        if (v == bitrate) b = bitrate;
    if (sampleRate == 44100 && b < 64000) b = 64000;
    return b;
}

int FlvVideoBitrate(int requested, int settings)
{
    if (requested >= settings) return settings;
    long long r = (long long)requested * 110 / 100;
    return (int)std::max<long long>(r, settings);
}

struct CFLVWriter::State {
    const AVOutputFormat *format = nullptr;
    AVFormatContext *oc = nullptr;
    AVIOContext *io = nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;
    AVStream *vst = nullptr, *ast = nullptr;
    AVCodecContext *venc = nullptr, *aenc = nullptr;
    AVFrame *yuv = nullptr, *aframe = nullptr;
    SwsContext *sws = nullptr;
    SwrContext *swr = nullptr;
    AVAudioFifo *fifo = nullptr;
    AVPacket *pkt = nullptr;
    DWORD *pixels = nullptr;
    int frameSize = 0;
    long long videoPts = 0;          /* frames encoded */
    long long audioQueued = 0;       /* samples put into the FIFO */
    long long audioPts = 0;          /* samples encoded */
    int captureTimeout = 40;
};

static int handle_write(void *opaque, uint8_t *buf, int size)
{
    HANDLE h = static_cast<HANDLE>(opaque);
    DWORD done = 0;
    if (!WriteFile(h, buf, (DWORD)size, &done, nullptr) || done != (DWORD)size) return AVERROR(EIO);
    return size;
}

static int64_t handle_seek(void *opaque, int64_t offset, int whence)
{
    HANDLE h = static_cast<HANDLE>(opaque);
    LARGE_INTEGER pos, to;
    if (whence == AVSEEK_SIZE) return GetFileSizeEx(h, &pos) ? pos.QuadPart : AVERROR(EIO);
    DWORD method = (whence & ~AVSEEK_FORCE) == SEEK_CUR ? FILE_CURRENT
                 : (whence & ~AVSEEK_FORCE) == SEEK_END ? FILE_END : FILE_BEGIN;
    to.QuadPart = offset;
    if (!SetFilePointerEx(h, to, &pos, method)) return AVERROR(EIO);
    return pos.QuadPart;
}

CFLVWriter::CFLVWriter() { InitializeCriticalSection(&feed); }

CFLVWriter::~CFLVWriter()
{
    StopWriter();      /* the lock is left to the process's end, as the encoder's */
}

int CFLVWriter::ApplySettings(const FlvSettings *s)
{
    if (!s) return 0;
    settings = *s;
    settings.ArchivingFileName[sizeof(settings.ArchivingFileName) - 1] = 0;
    if (settings.AudioBitrate < 1000) settings.AudioBitrate *= 1000;
    if (settings.VideoBitrate < 1000) settings.VideoBitrate *= 1000;
    return 0;
}

void CFLVWriter::Free()
{
    if (!st) return;
    State *s = st;
    avcodec_free_context(&s->venc);
    avcodec_free_context(&s->aenc);
    av_frame_free(&s->yuv);
    av_frame_free(&s->aframe);
    if (s->sws) sws_freeContext(s->sws);
    swr_free(&s->swr);
    if (s->fifo) av_audio_fifo_free(s->fifo);
    av_packet_free(&s->pkt);
    if (s->oc) { s->oc->pb = nullptr; avformat_free_context(s->oc); }
    if (s->io) { av_freep(&s->io->buffer); avio_context_free(&s->io); }
    if (s->file != INVALID_HANDLE_VALUE) CloseHandle(s->file);
    delete[] s->pixels;
    delete s;
    st = nullptr;
}

BOOL CFLVWriter::OpenWriter(const FlvWriterParams *p)
{
    if (!p || running) return FALSE;
    EnterCriticalSection(&feed);
    Free();
    params = *p;
    st = new (std::nothrow) State;
    bool ok = st != nullptr;
    State *s = st;
    int w = params.width, h = params.height;
    if (ok) ok = w > 0 && h > 0 && params.frameRate > 0;
    /* 1.-2. */
    if (ok) s->format = av_guess_format(settings.Format == 1 ? "swf" : "flv", nullptr, nullptr);
    ok = ok && s->format && avformat_alloc_output_context2(&s->oc, s->format, nullptr, nullptr) >= 0 && s->oc;
    if (ok) s->pkt = av_packet_alloc();
    ok = ok && s->pkt;
    /* 3. Video stream. */
    if (ok && s->format->video_codec != AV_CODEC_ID_NONE) {
        const AVCodec *codec = avcodec_find_encoder(s->format->video_codec);
        s->vst = codec ? avformat_new_stream(s->oc, nullptr) : nullptr;
        s->venc = codec ? avcodec_alloc_context3(codec) : nullptr;
        ok = s->vst && s->venc;
        if (ok) {
            videoBitrate = FlvVideoBitrate(params.videoBitrate, settings.VideoBitrate);
            FlvOutputSize(w, h, settings.VideoWidth, settings.VideoHeight, &outWidth, &outHeight);
            /* 4:2:0 pictures have even sides. */
            outWidth = std::max(2, outWidth & ~1);
            outHeight = std::max(2, outHeight & ~1);
            int hundredths = (int)(params.frameRate * 100);
            if (hundredths <= 0) hundredths = 100;
            s->venc->bit_rate = videoBitrate;
            s->venc->width = outWidth;
            s->venc->height = outHeight;
            s->venc->time_base = AVRational{100, hundredths};
            s->venc->framerate = AVRational{hundredths, 100};
            s->venc->gop_size = 12;
            s->venc->max_b_frames = 0;
            s->venc->pix_fmt = AV_PIX_FMT_YUV420P;
            s->venc->thread_count = 1;
            if (s->oc->oformat->flags & AVFMT_GLOBALHEADER) s->venc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
            s->vst->time_base = s->venc->time_base;
        }
    }
    /* 4. Audio stream. */
    if (ok && s->format->audio_codec != AV_CODEC_ID_NONE && params.audioOn == 1) {
        const AVCodec *codec = avcodec_find_encoder(s->format->audio_codec);
        s->ast = codec ? avformat_new_stream(s->oc, nullptr) : nullptr;
        s->aenc = codec ? avcodec_alloc_context3(codec) : nullptr;
        if (!s->ast || !s->aenc) {
            fprintf(stderr, "Could not alloc stream\n");
            ok = false;
        } else {
            sampleRate = FlvAudioSampleRate(settings.AudioSampleRate, settings.AudioBitrate);
            audioBitrate = FlvAudioBitrate(settings.AudioBitrate, sampleRate);
            s->aenc->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
            s->aenc->sample_rate = sampleRate;
            s->aenc->bit_rate = audioBitrate;
            av_channel_layout_default(&s->aenc->ch_layout, 2);
            s->aenc->time_base = AVRational{1, sampleRate};
            if (s->oc->oformat->flags & AVFMT_GLOBALHEADER) s->aenc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
            s->ast->time_base = s->aenc->time_base;
        }
    }
    /* 5. */
    if (ok) s->captureTimeout = (int)(1000 / params.frameRate);
    if (s && s->captureTimeout <= 0) s->captureTimeout = 1;
    /* 6. Video codec and pictures. */
    if (ok && s->venc) {
        ok = avcodec_open2(s->venc, s->venc->codec, nullptr) >= 0 &&
             avcodec_parameters_from_context(s->vst->codecpar, s->venc) >= 0;
        s->yuv = ok ? av_frame_alloc() : nullptr;
        ok = ok && s->yuv;
        if (ok) {
            s->yuv->format = AV_PIX_FMT_YUV420P;
            s->yuv->width = outWidth;
            s->yuv->height = outHeight;
            ok = av_frame_get_buffer(s->yuv, 32) >= 0;
        }
        /* One conversion from the surface's blue, green, red bytes straight
         * to the output size (any size, smaller or larger than the working
         * size). */
        if (ok) s->sws = sws_getContext(w, h, AV_PIX_FMT_BGR24, outWidth, outHeight, AV_PIX_FMT_YUV420P,
                                        SWS_BILINEAR, nullptr, nullptr, nullptr);
        ok = ok && s->sws;
    }
    /* 7. Audio codec, resampler and FIFO. */
    if (ok && s->aenc) {
        ok = avcodec_open2(s->aenc, s->aenc->codec, nullptr) >= 0 &&
             avcodec_parameters_from_context(s->ast->codecpar, s->aenc) >= 0;
        if (ok) {
            s->frameSize = s->aenc->frame_size > 1 ? s->aenc->frame_size : 0x8000 / 2 / 2;
            int inRate = params.audioSampleRate > 0 ? params.audioSampleRate : 22050;
            int inChannels = params.channels == 1 ? 1 : 2;
            AVChannelLayout inLayout;
            av_channel_layout_default(&inLayout, inChannels);
            ok = swr_alloc_set_opts2(&s->swr, &s->aenc->ch_layout, s->aenc->sample_fmt, sampleRate,
                                     &inLayout, AV_SAMPLE_FMT_S16, inRate, 0, nullptr) >= 0 &&
                 swr_init(s->swr) >= 0;
            /* 2048000 bytes of 16-bit stereo. */
            s->fifo = ok ? av_audio_fifo_alloc(s->aenc->sample_fmt, 2, 2048000 / 4) : nullptr;
            s->aframe = ok ? av_frame_alloc() : nullptr;
            ok = ok && s->fifo && s->aframe;
            if (ok) {
                s->aframe->format = s->aenc->sample_fmt;
                s->aframe->nb_samples = s->frameSize;
                av_channel_layout_copy(&s->aframe->ch_layout, &s->aenc->ch_layout);
                s->aframe->sample_rate = sampleRate;
                ok = av_frame_get_buffer(s->aframe, 0) >= 0;
            }
        }
    }
    /* 8. The RGB24 picture each frame is taken from (top row first), with
     * spare room for the row converter's last store. */
    if (ok) {
        s->pixels = new (std::nothrow) DWORD[(size_t)w * h + 4];
        ok = s->pixels != nullptr;
    }
    if (!ok) Free();
    LeaveCriticalSection(&feed);
    return ok;
}

BOOL CFLVWriter::StartWriter()
{
    EnterCriticalSection(&feed);
    bool ok = st && !running;
    State *s = st;
    if (ok && !(s->format->flags & AVFMT_NOFILE)) {
        WCHAR path[ENGINE_TEXT * 2];
        path[0] = 0;
        MultiByteToWideChar(CP_ACP, 0, settings.ArchivingFileName, -1, path, ENGINE_TEXT * 2);
        path[ENGINE_TEXT * 2 - 1] = 0;
        if (settings.RWShared) {
            HANDLE f = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
            s->file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        } else {
            s->file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        }
        ok = s->file != INVALID_HANDLE_VALUE;
        if (ok) {
            const int size = 1 << 16;
            auto *buf = static_cast<unsigned char *>(av_malloc(size));
            s->io = buf ? avio_alloc_context(buf, size, 1, s->file, nullptr, handle_write, handle_seek) : nullptr;
            if (!s->io) av_free(buf);
            ok = s->io != nullptr;
            if (ok) s->oc->pb = s->io;
        }
    }
    if (ok) {
        s->videoPts = s->audioPts = s->audioQueued = 0;
        framesWritten = framesSkipped = 0;
        ok = avformat_write_header(s->oc, nullptr) >= 0;
    }
    if (ok) running = 1;
    else Free();
    LeaveCriticalSection(&feed);
    if (!ok) return FALSE;
    period = st->captureTimeout;
    if (CMultimediaTimer::Start() != TIMERR_NOERROR || !eventId) {
        StopWriter();
        return FALSE;
    }
    return TRUE;
}

/* Under feed: encode whole frames from the FIFO while the sound is behind
 * the pictures (or all of it, padded, at the end). */
void CFLVWriter::WriteAudioFrames(bool final)
{
    State *s = st;
    if (!s || !s->aenc) return;
    for (;;) {
        int have = av_audio_fifo_size(s->fifo);
        if (have <= 0 || (have < s->frameSize && !final)) break;
        double audioTime = (double)s->audioPts / sampleRate;
        double videoTime = s->venc ? (double)s->videoPts * s->venc->time_base.num / s->venc->time_base.den : 1e18;
        if (!final && audioTime >= videoTime) break;
        int n = std::min(have, s->frameSize);
        if (av_frame_make_writable(s->aframe) < 0) break;
        av_audio_fifo_read(s->fifo, reinterpret_cast<void **>(s->aframe->data), n);
        if (n < s->frameSize)
            av_samples_set_silence(s->aframe->data, n, s->frameSize - n, 2, s->aenc->sample_fmt);
        s->aframe->pts = s->audioPts;
        s->audioPts += s->frameSize;
        if (avcodec_send_frame(s->aenc, s->aframe) < 0) break;
        while (avcodec_receive_packet(s->aenc, s->pkt) >= 0) {
            s->pkt->stream_index = s->ast->index;
            av_packet_rescale_ts(s->pkt, s->aenc->time_base, s->ast->time_base);
            av_interleaved_write_frame(s->oc, s->pkt);
        }
    }
}

static void pad_silence(CFLVWriter::State *s, int channels, long long upTo)
{
    long long missing = upTo - s->audioQueued;
    if (missing <= 0) return;
    uint8_t *planes[8] = {};
    int chunk = 4096;
    if (av_samples_alloc(planes, nullptr, channels, chunk, s->aenc->sample_fmt, 0) < 0) return;
    av_samples_set_silence(planes, 0, chunk, channels, s->aenc->sample_fmt);
    while (missing > 0) {
        int n = (int)std::min<long long>(missing, chunk);
        if (av_audio_fifo_write(s->fifo, reinterpret_cast<void **>(planes), n) < n) break;
        s->audioQueued += n;
        missing -= n;
    }
    av_freep(&planes[0]);
}

void CFLVWriter::tick()
{
    if (!running) return;
    State *s = st;
    if (!s) return;
    int w = params.width, h = params.height;
    if (s->venc) {
        EngineSurface *out = params.output;
        int sw = 0, sh = 0;
        if (out) EngineSurfaceSize(out, &sw, &sh);
        EngineRows rows;
        if (!out || sw != w || sh != h ||
            FAILED(EngineLockRows(out, (DWORD)s->captureTimeout, FALSE, &rows))) {
            framesSkipped++;
            return;
        }
        /* Straight from the surface into the RGB24 picture, top row first. */
        uint8_t *rgb = reinterpret_cast<uint8_t *>(s->pixels);
        for (int y = 0; y < h; y++)
            EngineRowTo24(rgb + (size_t)y * w * 3, reinterpret_cast<const uint32_t *>(rows.first + (ptrdiff_t)y * rows.pitch),
                    w);
        EngineUnlockRows(&rows);
    }
    EnterCriticalSection(&feed);
    if (running && st == s) {
        if (s->venc && av_frame_make_writable(s->yuv) >= 0) {
            const uint8_t *src[1] = {reinterpret_cast<const uint8_t *>(s->pixels)};
            int stride[1] = {3 * w};
            sws_scale(s->sws, src, stride, 0, h, s->yuv->data, s->yuv->linesize);
            s->yuv->pts = s->videoPts++;
            if (avcodec_send_frame(s->venc, s->yuv) >= 0) {
                while (avcodec_receive_packet(s->venc, s->pkt) >= 0) {
                    s->pkt->stream_index = s->vst->index;
                    av_packet_rescale_ts(s->pkt, s->venc->time_base, s->vst->time_base);
                    av_interleaved_write_frame(s->oc, s->pkt);
                }
                framesWritten++;
            }
        }
        if (s->aenc && s->venc) {
            /* No sound for more than a second: silence keeps the track going. */
            double videoTime = (double)s->videoPts * s->venc->time_base.num / s->venc->time_base.den;
            if ((double)s->audioQueued / sampleRate + 1.0 < videoTime)
                pad_silence(s, 2, (long long)((videoTime - 0.5) * sampleRate));
        }
        WriteAudioFrames(false);
    }
    LeaveCriticalSection(&feed);
}

void CFLVWriter::Audio(const BYTE *buffer, long length, DWORD)
{
    if (!running) return;
    audioBuffers++;
    if (!buffer || length <= 0) return;
    long long ms = 0;
    bool queued = false;
    EnterCriticalSection(&feed);
    State *s = st;
    if (running && s && s->aenc) {
        int inChannels = params.channels == 1 ? 1 : 2;
        int count = (int)(length / (inChannels * 2));
        int outMax = swr_get_out_samples(s->swr, count);
        uint8_t *planes[8] = {};
        if (count > 0 && av_samples_alloc(planes, nullptr, 2, outMax, s->aenc->sample_fmt, 0) >= 0) {
            const uint8_t *in[1] = {buffer};
            int got = swr_convert(s->swr, planes, outMax, in, count);
            if (got > 0 && av_audio_fifo_write(s->fifo, reinterpret_cast<void **>(planes), got) >= got) {
                s->audioQueued += got;
                queued = true;
            }
            av_freep(&planes[0]);
        }
        ms = s->audioPts * 1000 / sampleRate;
    }
    LeaveCriticalSection(&feed);
    if (queued) {
        EngineSurface *p = g_transformer.ProgrammeSurface();
        bool programme = false;
        for (int i = 0; p && i < ENGINE_CHANNELS; i++)
            if (g_engine.channel[i] && g_engine.channel[i]->surface == p) programme = true;
        if (programme) EnginePost(WM_ENGINE_ENCODETIME, 99, (LPARAM)(ms / 1000));
    }
}

void CFLVWriter::StopWriter()
{
    /* The timer first: no tick runs after this. */
    CMultimediaTimer::Stop();
    /* A recording stopped before its first frame still gets one: a file
     * without pictures is not one that players open. */
    if (running && st && st->venc && st->videoPts == 0) tick();
    EnterCriticalSection(&feed);
    State *s = st;
    if (s && running) {
        running = 0;
        if (s->aenc) {
            /* The sound is as long as the pictures. */
            if (s->venc) {
                double end = (double)s->videoPts * s->venc->time_base.num / s->venc->time_base.den;
                pad_silence(s, 2, (long long)(end * sampleRate));
            }
            WriteAudioFrames(true);
            avcodec_send_frame(s->aenc, nullptr);
            while (avcodec_receive_packet(s->aenc, s->pkt) >= 0) {
                s->pkt->stream_index = s->ast->index;
                av_packet_rescale_ts(s->pkt, s->aenc->time_base, s->ast->time_base);
                av_interleaved_write_frame(s->oc, s->pkt);
            }
        }
        if (s->venc) {
            avcodec_send_frame(s->venc, nullptr);
            while (avcodec_receive_packet(s->venc, s->pkt) >= 0) {
                s->pkt->stream_index = s->vst->index;
                av_packet_rescale_ts(s->pkt, s->venc->time_base, s->vst->time_base);
                av_interleaved_write_frame(s->oc, s->pkt);
            }
        }
        av_write_trailer(s->oc);
        if (s->io) avio_flush(s->io);
    }
    running = 0;
    Free();
    LeaveCriticalSection(&feed);
}
