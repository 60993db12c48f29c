#include "livemux.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

static int live_write(void *opaque, uint8_t *buf, int size)
{
    static_cast<LiveMuxer *>(opaque)->Output(reinterpret_cast<const char *>(buf), (size_t)size);
    return size;
}

void LiveMuxer::Output(const char *data, size_t size)
{
    pending.append(data, size);
    if (!headerDone) return;
    size_t at = 0;
    while (pending.size() - at >= (size_t)kPacketSize) {
        fn(context, pending.data() + at, kPacketSize);
        at += kPacketSize;
    }
    pending.erase(0, at);
}

void LiveMuxer::Free()
{
    if (oc) { oc->pb = nullptr; avformat_free_context(oc); oc = nullptr; }
    if (io) { av_freep(&io->buffer); avio_context_free(&io); }
    timeBases.clear();
    headerDone = false;
    pending.clear();
}

HRESULT LiveMuxer::Begin(const std::vector<WmSinkStream> &streams,
                         const std::vector<std::pair<std::string, std::string>> &attributes, std::string *header)
{
    if (oc) return WMW_E_INVALID_REQUEST;
    if (avformat_alloc_output_context2(&oc, nullptr, "asf", nullptr) < 0 || !oc) return E_OUTOFMEMORY;
    auto *buf = static_cast<unsigned char *>(av_malloc(kPacketSize));
    io = buf ? avio_alloc_context(buf, kPacketSize, 1, this, nullptr, live_write, nullptr) : nullptr;
    if (!io) { av_free(buf); Free(); return E_OUTOFMEMORY; }
    oc->pb = io;
    for (auto &s : streams) {
        AVStream *st = avformat_new_stream(oc, nullptr);
        if (!st || avcodec_parameters_copy(st->codecpar, s.par) < 0) { Free(); return E_OUTOFMEMORY; }
        st->time_base = AVRational{1, 1000};
        timeBases.emplace_back(s.timeBaseNum, s.timeBaseDen);
    }
    for (auto &a : attributes) av_dict_set(&oc->metadata, a.first.c_str(), a.second.c_str(), 0);
    av_opt_set_int(oc->priv_data, "packet_size", kPacketSize, 0);
    if (avformat_write_header(oc, nullptr) < 0) { Free(); return E_FAIL; }
    avio_flush(io);
    *header = pending;
    pending.clear();
    headerDone = true;
    return S_OK;
}

HRESULT LiveMuxer::Packet(int index, const AVPacket *packet)
{
    if (!oc) return WMW_E_INVALID_REQUEST;
    if (index < 0 || index >= (int)timeBases.size()) return E_INVALIDARG;
    AVPacket *p = av_packet_clone(packet);
    if (!p) return E_OUTOFMEMORY;
    p->stream_index = index;
    av_packet_rescale_ts(p, AVRational{timeBases[index].first, timeBases[index].second},
                         oc->streams[index]->time_base);
    int r = av_interleaved_write_frame(oc, p);
    av_packet_free(&p);
    return r < 0 ? E_FAIL : S_OK;
}

HRESULT LiveMuxer::End()
{
    if (!oc) return S_OK;
    av_write_trailer(oc);
    avio_flush(io);
    if (pending.size() % kPacketSize) pending.append(kPacketSize - pending.size() % kPacketSize, '\0');
    for (size_t at = 0; at < pending.size(); at += kPacketSize) fn(context, pending.data() + at, kPacketSize);
    pending.clear();
    Free();
    return S_OK;
}
