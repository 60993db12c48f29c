// A scratch block of bytes rebuilt again and again at changing sizes: it
// over-allocates by half so that most rebuilds reuse the block, and keeps a
// write cursor so that callers can lay records out in it.
#pragma once

#include <cstdint>

class ByteBuffer {
public:
    ByteBuffer() = default;
    virtual ~ByteBuffer();
    ByteBuffer(const ByteBuffer &) = delete;
    ByteBuffer &operator=(const ByteBuffer &) = delete;

    // A block of at least n bytes with the cursor at its start.  A new block
    // (n x 3 / 2 bytes) does not keep the old contents.  Null, with no
    // block and capacity 0, when memory runs out.
    uint8_t *Reserve(uint32_t n);
    // A block of exactly n bytes; the cursor moves to the start only when a
    // new block is made.
    uint8_t *ResizeExact(uint32_t n);
    uint8_t *Data() const { return data_; }
    uint32_t Capacity() const { return capacity_; }
    // The cursor before advancing it.  The capacity is not checked: reserve
    // enough first.
    uint8_t *Take4() { return Take(4); }
    uint8_t *Take(uint32_t n)
    {
        uint8_t *p = cursor_;
        cursor_ += n;
        return p;
    }
    // Bytes taken since the last reset of the cursor.
    uint32_t Used() const { return uint32_t(cursor_ - data_); }

private:
    uint8_t *data_ = nullptr;
    uint8_t *cursor_ = nullptr;
    uint32_t capacity_ = 0;
};
