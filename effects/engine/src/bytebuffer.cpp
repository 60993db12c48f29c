#include "fxbuffer.h"

#include <cstdlib>

ByteBuffer::~ByteBuffer()
{
    free(data_);
}

uint8_t *ByteBuffer::Reserve(uint32_t n)
{
    if (n > capacity_) {
        free(data_);
        // In 64 bits: half as much again of a large request still fits.
        uint64_t size = uint64_t(n) * 3 / 2;
        if (size > UINT32_MAX)
            size = UINT32_MAX;
        data_ = static_cast<uint8_t *>(malloc(size_t(size)));
        // A failed allocation leaves no block, never a stale capacity.
        capacity_ = data_ ? uint32_t(size) : 0;
    }
    cursor_ = data_;
    return data_;
}

uint8_t *ByteBuffer::ResizeExact(uint32_t n)
{
    if (!data_ || capacity_ != n) {
        free(data_);
        data_ = static_cast<uint8_t *>(malloc(n ? n : 1));
        capacity_ = data_ ? n : 0;
        cursor_ = data_;
    }
    return data_;
}
