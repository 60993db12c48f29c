// The class library's archive as the title files use it: 32-bit words and
// raw bytes, little-endian, over a byte buffer.  Reading past the end
// throws ArchiveEnd (the end-of-file exception).
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace titlebox {

struct ArchiveEnd {};

class Archive {
public:
    Archive() : storing_(true) {}  // storing into an empty buffer
    explicit Archive(std::vector<uint8_t> bytes) : storing_(false), buf_(std::move(bytes)) {}

    bool IsStoring() const { return storing_; }
    const std::vector<uint8_t>& Bytes() const { return buf_; }
    size_t Position() const { return pos_; }
    size_t Left() const { return buf_.size() - pos_; }

    void Write(const void* p, size_t n)
    {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        buf_.insert(buf_.end(), b, b + n);
    }
    void Read(void* p, size_t n)
    {
        if (n > Left()) throw ArchiveEnd();
        std::memcpy(p, buf_.data() + pos_, n);
        pos_ += n;
    }
    void PutI32(int32_t v) { Write(&v, 4); }
    void PutF32(float v) { Write(&v, 4); }
    int32_t GetI32()
    {
        int32_t v;
        Read(&v, 4);
        return v;
    }
    float GetF32()
    {
        float v;
        Read(&v, 4);
        return v;
    }

private:
    bool storing_;
    std::vector<uint8_t> buf_;
    size_t pos_ = 0;
};

// Whole files in and out through Win32 (paths in the ANSI code page).
bool ReadWholeFile(const char* path, std::vector<uint8_t>* out, size_t limit = size_t(1) << 30);
bool WriteWholeFile(const char* path, const void* bytes, size_t size);

}  // namespace titlebox
