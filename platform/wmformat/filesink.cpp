/*
 * The file sink: the ASF muxer writing through a Win32 file handle, so the
 * path is the caller's Windows path and the muxer can go back to complete
 * the header (file size, duration, packet count) and append the index when
 * writing ends.
 */
#include "wmwriter.h"

extern "C" {
#include <libavformat/avformat.h>
}

struct WmFileSink::Impl {
    HANDLE file = INVALID_HANDLE_VALUE;
    AVIOContext *io = nullptr;
    AVFormatContext *oc = nullptr;
    std::vector<AVRational> timeBases;
    bool begun = false;
    HRESULT error = S_OK;

    void FreeMuxer()
    {
        if (oc) { oc->pb = nullptr; avformat_free_context(oc); oc = nullptr; }
        if (io) { av_freep(&io->buffer); avio_context_free(&io); }
        timeBases.clear();
        begun = false;
    }
};

static int file_write(void *opaque, uint8_t *buf, int size)
{
    auto *m = static_cast<WmFileSink::Impl *>(opaque);
    DWORD done = 0;
    if (!WriteFile(m->file, buf, (DWORD)size, &done, nullptr) || done != (DWORD)size) {
        m->error = HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_DISK_FULL);
        return AVERROR(EIO);
    }
    return size;
}

static int64_t file_seek(void *opaque, int64_t offset, int whence)
{
    auto *m = static_cast<WmFileSink::Impl *>(opaque);
    LARGE_INTEGER pos;
    if (whence == AVSEEK_SIZE) {
        if (!GetFileSizeEx(m->file, &pos)) return AVERROR(EIO);
        return pos.QuadPart;
    }
    DWORD method = FILE_BEGIN;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: method = FILE_BEGIN; break;
    case SEEK_CUR: method = FILE_CURRENT; break;
    case SEEK_END: method = FILE_END; break;
    default: return AVERROR(EINVAL);
    }
    LARGE_INTEGER to;
    to.QuadPart = offset;
    if (!SetFilePointerEx(m->file, to, &pos, method)) return AVERROR(EIO);
    return pos.QuadPart;
}

WmFileSink::WmFileSink() : m(new Impl) {}

WmFileSink::~WmFileSink()
{
    Close();
    delete m;
}

HRESULT WmFileSink::Open(const WCHAR *path)
{
    if (!path || !path[0]) return E_INVALIDARG;
    if (m->file != INVALID_HANDLE_VALUE) return WMW_E_INVALID_REQUEST;
    m->file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m->file == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
    m->error = S_OK;
    return S_OK;
}

HRESULT WmFileSink::Close()
{
    if (m->begun) OnEnd();
    m->FreeMuxer();
    if (m->file != INVALID_HANDLE_VALUE) {
        CloseHandle(m->file);
        m->file = INVALID_HANDLE_VALUE;
    }
    return S_OK;
}

HRESULT WmFileSink::OnBegin(const std::vector<WmSinkStream> &streams,
                            const std::vector<std::pair<std::string, std::string>> &attributes)
{
    if (m->file == INVALID_HANDLE_VALUE) return WMW_E_NOT_CONFIGURED;
    if (m->begun) return WMW_E_INVALID_REQUEST;
    /* A sink used again starts its file afresh. */
    LARGE_INTEGER zero = {};
    SetFilePointerEx(m->file, zero, nullptr, FILE_BEGIN);
    SetEndOfFile(m->file);
    m->error = S_OK;
    if (avformat_alloc_output_context2(&m->oc, nullptr, "asf", nullptr) < 0 || !m->oc)
        return E_OUTOFMEMORY;
    const int bufSize = 1 << 16;
    auto *buf = static_cast<unsigned char *>(av_malloc(bufSize));
    m->io = buf ? avio_alloc_context(buf, bufSize, 1, m, nullptr, file_write, file_seek) : nullptr;
    if (!m->io) { av_free(buf); m->FreeMuxer(); return E_OUTOFMEMORY; }
    m->oc->pb = m->io;
    for (auto &s : streams) {
        AVStream *st = avformat_new_stream(m->oc, nullptr);
        if (!st || avcodec_parameters_copy(st->codecpar, s.par) < 0) { m->FreeMuxer(); return E_OUTOFMEMORY; }
        st->time_base = AVRational{1, 1000};
        m->timeBases.push_back(AVRational{s.timeBaseNum, s.timeBaseDen});
        if (s.par->codec_type == AVMEDIA_TYPE_VIDEO)
            st->avg_frame_rate = AVRational{s.timeBaseDen, s.timeBaseNum};
    }
    for (auto &a : attributes)
        av_dict_set(&m->oc->metadata, a.first.c_str(), a.second.c_str(), 0);
    if (avformat_write_header(m->oc, nullptr) < 0) {
        HRESULT hr = FAILED(m->error) ? m->error : E_FAIL;
        m->FreeMuxer();
        return hr;
    }
    m->begun = true;
    return S_OK;
}

HRESULT WmFileSink::OnPacket(int index, const AVPacket *packet)
{
    if (!m->begun) return WMW_E_INVALID_REQUEST;
    if (index < 0 || index >= (int)m->timeBases.size()) return E_INVALIDARG;
    AVPacket *p = av_packet_clone(packet);
    if (!p) return E_OUTOFMEMORY;
    p->stream_index = index;
    av_packet_rescale_ts(p, m->timeBases[index], m->oc->streams[index]->time_base);
    int r = av_interleaved_write_frame(m->oc, p);
    av_packet_free(&p);
    if (r < 0) return FAILED(m->error) ? m->error : E_FAIL;
    return S_OK;
}

HRESULT WmFileSink::OnEnd()
{
    if (!m->begun) return S_OK;
    int r = av_write_trailer(m->oc);
    avio_flush(m->io);
    m->FreeMuxer();
    if (m->file != INVALID_HANDLE_VALUE) FlushFileBuffers(m->file);
    if (r < 0) return FAILED(m->error) ? m->error : E_FAIL;
    return FAILED(m->error) ? m->error : S_OK;
}
