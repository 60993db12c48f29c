// vexacodec.dll: the movie encoder.  An encoder writes one movie file
// (Matroska, lossless FFV1 video in BGRA at 25 frames a second) and hands
// out a 32-bit layer of the graphics core for each frame, which comes back
// through the frame call.  The file is written through Win32 so that the
// caller's Windows path is used as given.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/imgutils.h>
}

#include "pixmoor.h"

namespace {

constexpr int kRate = 25;
constexpr int kMaxSide = 8192;
constexpr int kIoBlock = 64 * 1024;

struct Encoder {
    HANDLE file = INVALID_HANDLE_VALUE;
    AVIOContext *io = nullptr;
    AVFormatContext *format = nullptr;
    AVCodecContext *codec = nullptr;
    AVStream *stream = nullptr;
    AVFrame *frame = nullptr;
    AVPacket *packet = nullptr;
    Layer *layer = nullptr;        // handed out for every frame
    Layer *thumbnail = nullptr;    // a copy of the thumbnail picture
    int width = 0, height = 0;
    int64_t next = 0;              // the next frame's number
    bool failed = false;
};

int WritePacket(void *opaque, uint8_t *data, int size)   // the older FFmpeg signature
{
    auto *e = static_cast<Encoder *>(opaque);
    DWORD written = 0;
    if (!WriteFile(e->file, data, DWORD(size), &written, nullptr) || int(written) != size)
        return AVERROR(EIO);
    return size;
}

int64_t Seek(void *opaque, int64_t offset, int whence)
{
    auto *e = static_cast<Encoder *>(opaque);
    if (whence & AVSEEK_SIZE) {
        LARGE_INTEGER size;
        return GetFileSizeEx(e->file, &size) ? size.QuadPart : -1;
    }
    DWORD method = whence == SEEK_CUR ? FILE_CURRENT : whence == SEEK_END ? FILE_END : FILE_BEGIN;
    LARGE_INTEGER to, at;
    to.QuadPart = offset;
    return SetFilePointerEx(e->file, to, &at, method) ? at.QuadPart : -1;
}

// Sends one frame (or the flush, with none) and writes what comes out.
bool Drain(Encoder *e, AVFrame *frame)
{
    if (avcodec_send_frame(e->codec, frame) < 0)
        return false;
    for (;;) {
        int r = avcodec_receive_packet(e->codec, e->packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0)
            return false;
        av_packet_rescale_ts(e->packet, e->codec->time_base, e->stream->time_base);
        e->packet->stream_index = e->stream->index;
        r = av_interleaved_write_frame(e->format, e->packet);
        av_packet_unref(e->packet);
        if (r < 0)
            return false;
    }
}

void Destroy(Encoder *e)
{
    if (e->layer)
        DeleteLayer(e->layer);
    if (e->thumbnail)
        DeleteLayer(e->thumbnail);
    av_frame_free(&e->frame);
    av_packet_free(&e->packet);
    avcodec_free_context(&e->codec);
    if (e->format)
        avformat_free_context(e->format);
    if (e->io) {
        av_freep(&e->io->buffer);
        avio_context_free(&e->io);
    }
    if (e->file != INVALID_HANDLE_VALUE)
        CloseHandle(e->file);
    delete e;
}

} // namespace

// (file name, name shown, width, height, fields word: low byte fields per
// frame, 0x200 lower field first) -> encoder, or 0.
extern "C" Encoder *WINAPI vexaEncodeStart(const char *fileName, const char *, LONG width, LONG height,
                                           LONG fields)
{
    if (!fileName || !*fileName || width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
        return nullptr;
    const AVCodec *ffv1 = avcodec_find_encoder(AV_CODEC_ID_FFV1);
    const AVOutputFormat *mkv = av_guess_format("matroska", nullptr, nullptr);
    if (!ffv1 || !mkv)
        return nullptr;
    auto *e = new (std::nothrow) Encoder;
    if (!e)
        return nullptr;
    e->width = int(width);
    e->height = int(height);
    e->file = CreateFileA(fileName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    bool ok = e->file != INVALID_HANDLE_VALUE;
    if (ok) {
        auto *block = static_cast<unsigned char *>(av_malloc(kIoBlock));
        e->io = block ? avio_alloc_context(block, kIoBlock, 1, e, nullptr, WritePacket, Seek) : nullptr;
        if (!e->io)
            av_free(block);
        ok = e->io && avformat_alloc_output_context2(&e->format, mkv, nullptr, nullptr) >= 0 && e->format;
    }
    if (ok) {
        e->format->pb = e->io;
        e->format->flags |= AVFMT_FLAG_CUSTOM_IO;
        e->stream = avformat_new_stream(e->format, nullptr);
        e->codec = avcodec_alloc_context3(ffv1);
        e->frame = av_frame_alloc();
        e->packet = av_packet_alloc();
        ok = e->stream && e->codec && e->frame && e->packet;
    }
    if (ok) {
        AVCodecContext *c = e->codec;
        c->width = e->width;
        c->height = e->height;
        c->pix_fmt = AV_PIX_FMT_BGRA;
        c->time_base = AVRational{ 1, kRate };
        c->framerate = AVRational{ kRate, 1 };
        int perFrame = fields & 0xFF;   // 0x200 is the lower-field-first flag
        c->field_order = perFrame >= 2 ? ((fields & 0x200) ? AV_FIELD_BB : AV_FIELD_TT) : AV_FIELD_PROGRESSIVE;
        if (e->format->oformat->flags & AVFMT_GLOBALHEADER)
            c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        ok = avcodec_open2(c, ffv1, nullptr) >= 0 && avcodec_parameters_from_context(e->stream->codecpar, c) >= 0;
    }
    if (ok) {
        e->stream->time_base = e->codec->time_base;
        e->frame->format = AV_PIX_FMT_BGRA;
        e->frame->width = e->width;
        e->frame->height = e->height;
        ok = av_frame_get_buffer(e->frame, 0) >= 0 && avformat_write_header(e->format, nullptr) >= 0;
    }
    if (ok) {
        e->layer = CreateLayer(e->width, e->height, 1);
        ok = e->layer != nullptr;
    }
    if (!ok) {
        bool made = e->file != INVALID_HANDLE_VALUE;
        Destroy(e);
        if (made)
            DeleteFileA(fileName);
        return nullptr;
    }
    return e;
}

// The layer of the next frame, cleared; its address also goes to *word.
extern "C" Layer *WINAPI vexaEncodeGetLayer(Encoder *e, LONG_PTR *word)
{
    if (!e || !e->layer)
        return nullptr;
    ClearLayer(e->layer);
    if (word)
        *word = reinterpret_cast<LONG_PTR>(e->layer);
    return e->layer;
}

// Encodes the layer handed out last (word) as the next frame.  Position
// 4 and 8 mark the last two frames; nothing more is needed of them here.
// 1 when the frame was written.
extern "C" LONG_PTR WINAPI vexaEncodeFrame(Encoder *e, LONG_PTR word, LONG_PTR)
{
    if (!e || e->failed || word != reinterpret_cast<LONG_PTR>(e->layer))
        return 0;
    LayerAccess access;
    memset(&access, 0, sizeof access);
    if (!BeginLayerAccess(&access, e->layer, nullptr))
        return 0;
    bool ok = access.firstPtr && access.width >= e->width && access.height >= e->height &&
              av_frame_make_writable(e->frame) >= 0;
    if (ok) {
        for (int y = 0; y < e->height; ++y)
            memcpy(e->frame->data[0] + size_t(y) * e->frame->linesize[0],
                   access.firstPtr + size_t(y) * access.firstPitch, size_t(e->width) * 4);
        e->frame->pts = e->next++;
    }
    EndLayerAccess(&access);
    if (ok)
        ok = Drain(e, e->frame);
    if (!ok)
        e->failed = true;
    return ok ? 1 : 0;
}

// Keeps a copy of the picture as the movie's thumbnail; 1 when kept.
extern "C" LONG_PTR WINAPI vexaEncodeThumbnail(Encoder *e, Layer *picture)
{
    if (!e || !picture)
        return 0;
    if (!e->thumbnail)
        e->thumbnail = CreateLayer(e->width, e->height, 1);
    return e->thumbnail && CopyLayer(e->thumbnail, picture) ? 1 : 0;
}

// Flushes the encoder and closes the file; 1 when the movie is complete.
extern "C" LONG_PTR WINAPI vexaEncodeEnd(Encoder *e)
{
    if (!e)
        return 0;
    bool ok = !e->failed && Drain(e, nullptr) && av_write_trailer(e->format) >= 0;
    if (ok)
        avio_flush(e->io);
    Destroy(e);
    return ok ? 1 : 0;
}
