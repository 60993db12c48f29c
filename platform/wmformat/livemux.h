/*
 * The ASF muxer writing a live stream (an output that cannot seek): the
 * header once, then fixed-size data packets, each handed to a callback.
 * Shared by the network and push sinks.
 */
#ifndef WMFORMAT_LIVEMUX_H
#define WMFORMAT_LIVEMUX_H

#include "wmwriter.h"

struct AVFormatContext;
struct AVIOContext;

class LiveMuxer {
public:
    static const int kPacketSize = 3200;
    typedef void (*PacketFn)(void *context, const char *packet, size_t size);
    LiveMuxer(PacketFn fn, void *context) : fn(fn), context(context) {}
    ~LiveMuxer() { Free(); }
    /* Writes the header into *header. */
    HRESULT Begin(const std::vector<WmSinkStream> &streams,
                  const std::vector<std::pair<std::string, std::string>> &attributes, std::string *header);
    HRESULT Packet(int index, const AVPacket *packet);
    /* The trailer; the last packet padded to the packet size. */
    HRESULT End();
    bool Begun() const { return oc != nullptr; }

    /* Muxer output arrives here. */
    void Output(const char *data, size_t size);

private:
    void Free();
    PacketFn fn;
    void *context;
    AVFormatContext *oc = nullptr;
    AVIOContext *io = nullptr;
    std::vector<std::pair<int, int>> timeBases;
    bool headerDone = false;
    std::string pending;
};

#endif
