// Small helpers shared by the public format filters (BMP, GIF, TIFF, Targa,
// PCX, PICT, FLC): a sequential byte reader over a buffered stream, byte-
// order helpers, record filling and the default palettes.
#pragma once
#include <cstdint>
#include <cstring>

#include "depthconv.h"
#include "fxcore.h"

namespace ferrix {

// Sequential reader with look-ahead over a stream, from the stream's current
// position.  get() returns -1 at the end of the data.
class ByteIn {
public:
    explicit ByteIn(BufferedStream* s = nullptr) : s_(s) {}
    void Reset(BufferedStream* s)
    {
        s_ = s;
        pos_ = len_ = 0;
    }
    int Get()
    {
        if (pos_ >= len_ && !Fill(1)) return -1;
        return buf_[pos_++];
    }
    // Byte n places ahead without consuming it (-1 past the end).
    int Peek(unsigned n)
    {
        if (pos_ + n >= len_ && !Fill(n + 1)) return -1;
        return buf_[pos_ + n];
    }
    // Reads count bytes; false when fewer remain.
    bool Read(void* dst, uint32_t count)
    {
        uint8_t* d = static_cast<uint8_t*>(dst);
        while (count) {
            if (pos_ >= len_ && !Fill(1)) return false;
            uint32_t n = len_ - pos_;
            if (n > count) n = count;
            std::memcpy(d, buf_ + pos_, n);
            pos_ += n;
            d += n;
            count -= n;
        }
        return true;
    }
    // Stream position of the next byte this reader hands out.
    LONG Tell() const { return s_ ? bfTell(s_) - LONG(len_ - pos_) : -1; }
    bool Skip(uint32_t count)
    {
        while (count) {
            if (pos_ >= len_ && !Fill(1)) return false;
            uint32_t n = len_ - pos_;
            if (n > count) n = count;
            pos_ += n;
            count -= n;
        }
        return true;
    }

private:
    // Makes at least `need` bytes available from pos_; false when the stream
    // has fewer.
    bool Fill(unsigned need)
    {
        if (!s_) return false;
        if (pos_ > 0) {
            std::memmove(buf_, buf_ + pos_, len_ - pos_);
            len_ -= pos_;
            pos_ = 0;
        }
        while (len_ < need) {
            LONG got = bfRead(s_, buf_ + len_, LONG(sizeof buf_ - len_));
            if (got <= 0) return false;
            len_ += uint32_t(got);
        }
        return true;
    }

    BufferedStream* s_;
    uint8_t buf_[4096];
    uint32_t pos_ = 0, len_ = 0;
};

inline uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
inline uint16_t Be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t Be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }
inline void PutLe16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void PutLe32(uint8_t* p, uint32_t v) { PutLe16(p, v); PutLe16(p + 2, v >> 16); }
inline void PutBe16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v >> 8); p[1] = uint8_t(v); }
inline void PutBe32(uint8_t* p, uint32_t v) { PutBe16(p, v >> 16); PutBe16(p + 2, v); }

// Reads exactly count bytes at the stream's position; false on a short read.
inline bool ReadExact(BufferedStream* s, void* dst, uint32_t count)
{
    return s && bfRead(s, dst, LONG(count)) == LONG(count);
}
inline bool WriteExact(BufferedStream* s, const void* src, uint32_t count)
{
    return s && bfWrite(s, src, LONG(count)) == LONG(count);
}

// Fills a read entry: common part, probe flag, open, options, extensions
// ("BMP\0RLE\0" ended by an empty string).
void FillReadEntry(FormatRecord* r, const char* name, uint16_t id, uint16_t depthMask, bool probe,
                   FxReaderOpen open, uint32_t options, const char* extensions, size_t extLen);
void FillWriteEntry(FormatRecord* r, const char* name, uint16_t id, uint16_t depthMask, FxWriterOpen open,
                    uint32_t options, uint16_t subFormat, const char* extensions, size_t extLen);

// The palette a reader hands out when its file carries none: black and
// white for 2 entries, the 16 standard VGA colours for up to 16, a grey ramp
// otherwise.  Fills count entries (at most 256).
void DefaultPalette(RGBQUAD* entries, int count);

// Copies up to count entries of a reader's stored palette (n entries) and
// returns the number copied.
inline int CopyPalette(RGBQUAD* dst, int count, const RGBQUAD* src, int n)
{
    if (!dst || count <= 0 || n <= 0) return 0;
    if (count > n) count = n;
    if (count > 256) count = 256;
    std::memcpy(dst, src, sizeof(RGBQUAD) * size_t(count));
    return count;
}

}  // namespace ferrix
