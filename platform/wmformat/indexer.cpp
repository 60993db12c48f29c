/*
 * The indexer: finds the data object and its packets, reads the key frames
 * of the video stream (libavformat on the same file handle), and appends a
 * simple index object after the data, fixing the header's file size.
 */
#include "wmwriter.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

const BYTE kHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const BYTE kDataGuid[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                            0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const BYTE kFilePropsGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                 0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const BYTE kSimpleIndexGuid[16] = {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11,
                                   0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB};

struct Reader { HANDLE h; };

int read_cb(void *opaque, uint8_t *buf, int size)
{
    DWORD got = 0;
    if (!ReadFile(static_cast<Reader *>(opaque)->h, buf, (DWORD)size, &got, nullptr)) return AVERROR(EIO);
    return got ? (int)got : AVERROR_EOF;
}

int64_t seek_cb(void *opaque, int64_t offset, int whence)
{
    HANDLE h = static_cast<Reader *>(opaque)->h;
    LARGE_INTEGER pos, to;
    if (whence == AVSEEK_SIZE) return GetFileSizeEx(h, &pos) ? pos.QuadPart : AVERROR(EIO);
    to.QuadPart = offset;
    DWORD method = (whence & ~AVSEEK_FORCE) == SEEK_CUR ? FILE_CURRENT
                 : (whence & ~AVSEEK_FORCE) == SEEK_END ? FILE_END : FILE_BEGIN;
    return SetFilePointerEx(h, to, &pos, method) ? pos.QuadPart : AVERROR(EIO);
}

bool read_at(HANDLE h, ULONGLONG at, void *buf, DWORD size)
{
    LARGE_INTEGER to;
    to.QuadPart = (LONGLONG)at;
    DWORD got = 0;
    return SetFilePointerEx(h, to, nullptr, FILE_BEGIN) && ReadFile(h, buf, size, &got, nullptr) && got == size;
}

bool write_at(HANDLE h, ULONGLONG at, const void *buf, DWORD size)
{
    LARGE_INTEGER to;
    to.QuadPart = (LONGLONG)at;
    DWORD done = 0;
    return SetFilePointerEx(h, to, nullptr, FILE_BEGIN) && WriteFile(h, buf, size, &done, nullptr) && done == size;
}

ULONGLONG u64(const BYTE *p) { ULONGLONG v; memcpy(&v, p, 8); return v; }
DWORD u32(const BYTE *p) { DWORD v; memcpy(&v, p, 4); return v; }

struct Job { std::u16string path; WmIndexStatusFn fn; void *context; };

DWORD WINAPI index_thread(void *arg)
{
    Job *job = static_cast<Job *>(arg);
    WmIndexFile(reinterpret_cast<const WCHAR *>(job->path.c_str()), job->fn, job->context);
    delete job;
    return 0;
}

HRESULT index_open_file(HANDLE h, WmIndexStatusFn fn, void *context)
{
    auto report = [&](int status, HRESULT hr) { if (fn) fn(context, status, hr); };
    LARGE_INTEGER size = {};
    GetFileSizeEx(h, &size);
    ULONGLONG fileSize = (ULONGLONG)size.QuadPart;
    BYTE head[30];
    if (fileSize < 30 + 50 || !read_at(h, 0, head, 30) || memcmp(head, kHeaderGuid, 16))
        return WMW_E_INVALID_INPUT_FORMAT;
    ULONGLONG headerSize = u64(head + 16);
    DWORD objects = u32(head + 24);
    if (headerSize < 30 || headerSize > fileSize - 50 || headerSize > (64u << 20) || objects > 10000)
        return WMW_E_INVALID_INPUT_FORMAT;
    /* The file properties: packet size. */
    ULONGLONG at = 30, propsAt = 0, prerollMs = 0;
    DWORD packetSize = 0;
    for (DWORD i = 0; i < objects && at + 24 <= headerSize; i++) {
        BYTE obj[24];
        if (!read_at(h, at, obj, 24)) return WMW_E_INVALID_INPUT_FORMAT;
        ULONGLONG len = u64(obj + 16);
        if (len < 24 || at + len > headerSize) return WMW_E_INVALID_INPUT_FORMAT;
        if (!memcmp(obj, kFilePropsGuid, 16) && len >= 104) {
            BYTE props[104];
            if (!read_at(h, at, props, 104)) return WMW_E_INVALID_INPUT_FORMAT;
            propsAt = at;
            prerollMs = u64(props + 80);
            packetSize = u32(props + 92);
            if (u32(props + 96) != packetSize) packetSize = 0;   /* variable packets cannot be counted */
        }
        at += len;
    }
    if (!propsAt || packetSize < 64 || packetSize > (1u << 20)) return WMW_E_INVALID_INPUT_FORMAT;
    BYTE data[50];
    if (!read_at(h, headerSize, data, 50) || memcmp(data, kDataGuid, 16)) return WMW_E_INVALID_INPUT_FORMAT;
    ULONGLONG dataSize = u64(data + 16);
    ULONGLONG packetsAt = headerSize + 50;
    /* A data object whose size was never written runs to the last whole packet. */
    if (dataSize < 50 || headerSize + dataSize > fileSize)
        dataSize = 50 + (fileSize - packetsAt) / packetSize * packetSize;
    ULONGLONG packets = (dataSize - 50) / packetSize;
    if (!packets) return WMW_E_INVALID_INPUT_FORMAT;
    report(WMW_STATUS_OPENED, S_OK);
    report(WMW_STATUS_STARTED, S_OK);

    /* Key frames of the video stream (or every packet of the first stream). */
    Reader rd{h};
    LARGE_INTEGER zero = {};
    SetFilePointerEx(h, zero, nullptr, FILE_BEGIN);
    const int bufSize = 1 << 16;
    auto *buf = static_cast<unsigned char *>(av_malloc(bufSize));
    AVIOContext *io = buf ? avio_alloc_context(buf, bufSize, 0, &rd, read_cb, nullptr, seek_cb) : nullptr;
    AVFormatContext *ic = io ? avformat_alloc_context() : nullptr;
    if (!ic) {
        if (io) { av_freep(&io->buffer); avio_context_free(&io); } else av_free(buf);
        return E_OUTOFMEMORY;
    }
    ic->pb = io;
    HRESULT hr = S_OK;
    std::vector<std::pair<double, ULONGLONG>> keys;   /* seconds, packet number */
    double last = 0;
    if (avformat_open_input(&ic, nullptr, av_find_input_format("asf"), nullptr) < 0) {
        hr = WMW_E_INVALID_INPUT_FORMAT;
        ic = nullptr;
    } else {
        int video = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        AVPacket *pkt = av_packet_alloc();
        int lastPercent = -1;
        while (pkt && av_read_frame(ic, pkt) >= 0) {
            bool use = video >= 0 ? pkt->stream_index == video && (pkt->flags & AV_PKT_FLAG_KEY) : true;
            if (pkt->pts != AV_NOPTS_VALUE) {
                double t = pkt->pts * av_q2d(ic->streams[pkt->stream_index]->time_base);
                if (t > last) last = t;
                if (use && pkt->pos >= (int64_t)packetsAt)
                    keys.emplace_back(t, ((ULONGLONG)pkt->pos - packetsAt) / packetSize);
            }
            if (pkt->pos > 0) {
                int percent = (int)(((ULONGLONG)pkt->pos - std::min<ULONGLONG>(pkt->pos, packetsAt)) * 100 /
                                    (dataSize - 50 + 1));
                if (percent / 10 != lastPercent / 10) report(WMW_STATUS_INDEX_PROGRESS, percent);
                lastPercent = percent;
            }
            av_packet_unref(pkt);
        }
        av_packet_free(&pkt);
        avformat_close_input(&ic);
    }
    av_freep(&io->buffer);
    avio_context_free(&io);
    if (FAILED(hr)) return hr;
    if (keys.empty()) return WMW_E_INVALID_INPUT_FORMAT;

    /* One entry a second of send time (presentation time + preroll): the
     * last key frame at or before it. */
    double preroll = prerollMs / 1000.0;
    DWORD count = (DWORD)(last + preroll) + 1;
    std::vector<BYTE> index(56 + (size_t)count * 6);
    memcpy(index.data(), kSimpleIndexGuid, 16);
    ULONGLONG indexSize = index.size();
    memcpy(index.data() + 16, &indexSize, 8);
    memcpy(index.data() + 24, data + 24, 16);                   /* the file's identifier */
    ULONGLONG interval = 10000000;
    memcpy(index.data() + 40, &interval, 8);
    DWORD maxCount = 1;
    memcpy(index.data() + 48, &maxCount, 4);
    memcpy(index.data() + 52, &count, 4);
    size_t k = 0;
    for (DWORD i = 0; i < count; i++) {
        while (k + 1 < keys.size() && keys[k + 1].first + preroll <= (double)i + 1e-6) k++;
        DWORD packet = (DWORD)std::min<ULONGLONG>(keys[k].second, packets - 1);
        WORD span = 1;
        memcpy(index.data() + 56 + (size_t)i * 6, &packet, 4);
        memcpy(index.data() + 60 + (size_t)i * 6, &span, 2);
    }
    /* The index follows the data; whatever followed before is replaced. */
    ULONGLONG indexAt = headerSize + dataSize;
    ULONGLONG newSize = indexAt + index.size();
    if (!write_at(h, headerSize + 16, &dataSize, 8) || !write_at(h, indexAt, index.data(), (DWORD)index.size()))
        return HRESULT_FROM_WIN32(GetLastError());
    LARGE_INTEGER cut;
    cut.QuadPart = (LONGLONG)newSize;
    if (!SetFilePointerEx(h, cut, nullptr, FILE_BEGIN) || !SetEndOfFile(h) ||
        !write_at(h, propsAt + 40, &newSize, 8))
        return HRESULT_FROM_WIN32(GetLastError());
    report(WMW_STATUS_INDEX_PROGRESS, 100);
    return S_OK;
}

} // namespace

HRESULT WmIndexFile(const WCHAR *path, WmIndexStatusFn fn, void *context)
{
    HRESULT hr;
    HANDLE h = path ? CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr)
                    : INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE) hr = path ? HRESULT_FROM_WIN32(GetLastError()) : E_POINTER;
    else {
        hr = index_open_file(h, fn, context);
        FlushFileBuffers(h);
        CloseHandle(h);
    }
    if (FAILED(hr) && fn) fn(context, WMW_STATUS_ERROR, hr);
    if (fn) fn(context, WMW_STATUS_CLOSED, hr);
    return hr;
}

HRESULT WmStartIndexing(const WCHAR *path, WmIndexStatusFn fn, void *context)
{
    if (!path || !path[0]) return E_INVALIDARG;
    Job *job = new (std::nothrow) Job{std::u16string(reinterpret_cast<const char16_t *>(path)), fn, context};
    if (!job) return E_OUTOFMEMORY;
    HANDLE t = CreateThread(nullptr, 0, index_thread, job, 0, nullptr);
    if (!t) { delete job; return E_OUTOFMEMORY; }
    CloseHandle(t);
    return S_OK;
}
