// Implode / explode.  Stream: literal-mode byte, dictionary-size code
// (4, 5, 6), then items read from the low bit of each byte: 0 + literal
// (8 plain bits in binary mode, the fixed literal code in coded-literal
// mode), or 1 + length code (+ extra bits) + distance code + low bits.
// Length 519 ends the stream.  Codes are canonical and stored inverted,
// most significant bit first.
#include "implode.h"

#include <cstring>
#include <new>

namespace ferrix {
namespace {

// Length codes: code lengths, base values, extra bits.
const uint8_t kLenBits[16] = {3, 2, 3, 3, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 7, 7};
const uint16_t kLenBase[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 14, 22, 38, 70, 134, 262};
const uint8_t kLenExtra[16] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};

// Code lengths of the 256 literals in coded-literal mode, as runs: each
// byte is (repeat count - 1) << 4 | code length.
const uint8_t kLitRuns[] = {
    11, 124, 8, 7, 28, 7, 188, 13, 76, 4, 10, 8, 12, 10, 12, 10, 8, 23, 8, 9, 7, 6, 7, 8, 7, 6,
    55, 8, 23, 24, 12, 11, 7, 9, 11, 12, 6, 7, 22, 5, 7, 24, 6, 11, 9, 6, 7, 22, 7, 11, 38, 7,
    9, 8, 25, 11, 8, 11, 9, 12, 8, 12, 5, 38, 5, 38, 5, 11, 7, 5, 6, 21, 6, 10, 53, 8, 7, 24,
    10, 27, 44, 253, 253, 253, 252, 252, 252, 13, 12, 45, 12, 45, 12, 61, 12, 45, 44, 173};

struct Code {
    uint8_t bits[256];
    uint16_t code[256];
    uint16_t count[17];
    uint8_t symbol[256];  // symbols ordered by code length
    int n;
};

void Build(Code& c, const uint8_t* bits, int n)
{
    std::memset(&c, 0, sizeof c);
    c.n = n;
    std::memcpy(c.bits, bits, size_t(n));
    int idx = 0;
    unsigned code = 0;
    for (int len = 1; len <= 16; ++len) {
        for (int s = 0; s < n; ++s)
            if (bits[s] == len) {
                c.code[s] = uint16_t(code++);
                c.symbol[idx++] = uint8_t(s);
                c.count[len]++;
            }
        code <<= 1;
    }
}

void DistBits(uint8_t* b)
{
    int i = 0;
    b[i++] = 2;
    for (int k = 0; k < 2; ++k) b[i++] = 4;
    for (int k = 0; k < 4; ++k) b[i++] = 5;
    for (int k = 0; k < 15; ++k) b[i++] = 6;
    for (int k = 0; k < 26; ++k) b[i++] = 7;
    for (int k = 0; k < 16; ++k) b[i++] = 8;
}

struct Tables {
    Code len, dist, lit;
    Tables()
    {
        Build(len, kLenBits, 16);
        uint8_t d[64];
        DistBits(d);
        Build(dist, d, 64);
        uint8_t l[256];
        int n = 0;
        for (uint8_t r : kLitRuns)
            for (int k = 0; k <= r >> 4 && n < 256; ++k) l[n++] = uint8_t(r & 15);
        Build(lit, l, 256);
    }
};
const Tables& T()
{
    static const Tables t;
    return t;
}

int DictBits(unsigned size) { return size == 1024 ? 4 : size == 2048 ? 5 : size == 4096 ? 6 : 0; }

// ---- explode ----------------------------------------------------------------

struct ExplodeState {
    ImplodeRead read;
    ImplodeWrite write;
    void* user;
    uint8_t in[2048];
    unsigned inPos, inLen;
    uint32_t bitbuf;
    int nbits;
    uint8_t window[8192];
    unsigned have;   // bytes in the window
    unsigned total;  // bytes produced so far (for distance checks)
};
static_assert(sizeof(ExplodeState) <= kExplodeWorkSize, "explode state fits its work block");

bool NeedBits(ExplodeState& s, int n)
{
    while (s.nbits < n) {
        if (s.inPos == s.inLen) {
            unsigned want = sizeof s.in;
            s.inLen = s.read(reinterpret_cast<char*>(s.in), &want, s.user);
            s.inPos = 0;
            if (s.inLen == 0 || s.inLen > sizeof s.in) return false;
        }
        s.bitbuf |= uint32_t(s.in[s.inPos++]) << s.nbits;
        s.nbits += 8;
    }
    return true;
}

bool Bits(ExplodeState& s, int n, unsigned& v)
{
    if (!NeedBits(s, n)) return false;
    v = s.bitbuf & ((1u << n) - 1);
    s.bitbuf >>= n;
    s.nbits -= n;
    return true;
}

bool Decode(ExplodeState& s, const Code& c, unsigned& sym)
{
    unsigned code = 0, first = 0, index = 0;
    for (int len = 1; len <= 16; ++len) {
        unsigned b;
        if (!Bits(s, 1, b)) return false;
        code |= b ^ 1;
        unsigned count = c.count[len];
        if (code < first + count) {
            sym = c.symbol[index + (code - first)];
            return true;
        }
        index += count;
        first = (first + count) << 1;
        code <<= 1;
    }
    return false;
}

void Flush(ExplodeState& s, unsigned n)
{
    if (!n) return;
    unsigned size = n;
    s.write(reinterpret_cast<char*>(s.window), &size, s.user);
    std::memmove(s.window, s.window + n, s.have - n);
    s.have -= n;
}

}  // namespace

unsigned explode(ImplodeRead read, ImplodeWrite write, char* work, void* user)
{
    ExplodeState& s = *new (work) ExplodeState;
    s.read = read;
    s.write = write;
    s.user = user;
    s.bitbuf = 0;
    s.nbits = 0;
    s.have = s.total = 0;
    unsigned want = sizeof s.in;
    s.inLen = read(reinterpret_cast<char*>(s.in), &want, user);
    if (s.inLen <= 4 || s.inLen > sizeof s.in) return IMPLODE_SHORT;
    const unsigned mode = s.in[0], dict = s.in[1];
    s.inPos = 2;
    if (mode > 1) return IMPLODE_BAD_MODE;
    if (dict < 4 || dict > 6) return IMPLODE_BAD_DICTIONARY;
    const Tables& t = T();
    for (;;) {
        unsigned flag;
        if (!Bits(s, 1, flag)) break;
        if (!flag) {
            unsigned lit;
            if (mode == 1 ? !Decode(s, t.lit, lit) : !Bits(s, 8, lit)) break;
            s.window[s.have++] = uint8_t(lit);
            ++s.total;
        } else {
            unsigned sym, extra;
            if (!Decode(s, t.len, sym) || !Bits(s, kLenExtra[sym], extra)) break;
            unsigned len = kLenBase[sym] + extra + 2;
            if (len == 519) {
                Flush(s, s.have);
                return IMPLODE_OK;
            }
            unsigned high, low, lowBits = len == 2 ? 2 : dict;
            if (!Decode(s, t.dist, high) || !Bits(s, int(lowBits), low)) break;
            unsigned dist = (high << lowBits) + low + 1;
            if (dist > s.total) break;  // before the start of the data
            for (unsigned k = 0; k < len; ++k) {
                s.window[s.have] = s.window[s.have - dist];
                ++s.have;
                ++s.total;
                if (s.have == sizeof s.window) Flush(s, 4096);
            }
            continue;
        }
        if (s.have == sizeof s.window) Flush(s, 4096);
    }
    Flush(s, s.have);
    return IMPLODE_CORRUPT;
}

// ---- implode ----------------------------------------------------------------

namespace {

const int kMaxDict = 4096, kMaxMatch = 518, kCap = 2 * kMaxDict + 520, kHash = 4096, kChain = 48;

struct ImplodeState {
    ImplodeRead read;
    ImplodeWrite write;
    void* user;
    uint8_t buf[kCap];
    int16_t head[kHash];
    int16_t prev[kCap];
    uint8_t out[1024];
    unsigned outLen;
    unsigned bytesOut;  // bytes handed to the write function so far
    uint32_t bitbuf;
    int nbits;
};
static_assert(sizeof(ImplodeState) <= kImplodeWorkSize, "implode state fits its work block");

void PutBits(ImplodeState& s, unsigned v, int n)
{
    s.bitbuf |= uint32_t(v) << s.nbits;
    s.nbits += n;
    while (s.nbits >= 8) {
        s.out[s.outLen++] = uint8_t(s.bitbuf);
        s.bitbuf >>= 8;
        s.nbits -= 8;
        if (s.outLen == sizeof s.out) {
            unsigned size = s.outLen;
            s.write(reinterpret_cast<char*>(s.out), &size, s.user);
            s.bytesOut += s.outLen;
            s.outLen = 0;
        }
    }
}

void PutCode(ImplodeState& s, const Code& c, unsigned sym)
{
    for (int i = c.bits[sym] - 1; i >= 0; --i) PutBits(s, ((c.code[sym] >> i) & 1) ^ 1, 1);
}

inline unsigned HashAt(const uint8_t* p) { return ((p[0] << 4) ^ (p[1] * 0x9Du)) & (kHash - 1); }

void PutCopy(ImplodeState& s, unsigned len, unsigned dist, int dictBits)
{
    const Tables& t = T();
    PutBits(s, 1, 1);
    unsigned v = len - 2, sym = 15;
    while (kLenBase[sym] > v) --sym;
    PutCode(s, t.len, sym);
    PutBits(s, v - kLenBase[sym], kLenExtra[sym]);
    if (len == 519) return;
    unsigned d = dist - 1, lowBits = len == 2 ? 2 : unsigned(dictBits);
    PutCode(s, t.dist, d >> lowBits);
    PutBits(s, d & ((1u << lowBits) - 1), int(lowBits));
}

}  // namespace

unsigned implode(ImplodeRead read, ImplodeWrite write, char* work, void* user, unsigned* mode, unsigned* dictionary)
{
    const int dictBits = dictionary ? DictBits(*dictionary) : 0;
    if (!dictBits) return IMPLODE_BAD_DICTIONARY;
    if (!mode || *mode > 1) return IMPLODE_BAD_MODE;
    const bool coded = *mode == 1;
    const int dict = int(*dictionary);
    ImplodeState& s = *new (work) ImplodeState;
    s.read = read;
    s.write = write;
    s.user = user;
    s.outLen = 0;
    s.bytesOut = 0;
    s.bitbuf = 0;
    s.nbits = 0;
    for (auto& h : s.head) h = -1;
    s.out[s.outLen++] = uint8_t(*mode);
    s.out[s.outLen++] = uint8_t(dictBits);
    int pos = 0, end = 0;
    bool eof = false;
    auto insert = [&](int p) {
        if (p + 1 >= end) return;
        unsigned h = HashAt(s.buf + p);
        s.prev[p] = s.head[h];
        s.head[h] = int16_t(p);
    };
    for (;;) {
        if (!eof && end - pos < kMaxMatch + 1) {
            if (pos >= 2 * kMaxDict) {  // slide the window down by pos - dict
                int delta = pos - kMaxDict;
                std::memmove(s.buf, s.buf + delta, size_t(end - delta));
                for (auto& h : s.head) h = int16_t(h >= delta ? h - delta : -1);
                for (int i = 0; i < end - delta; ++i) {
                    int p = s.prev[i + delta];
                    s.prev[i] = int16_t(p >= delta ? p - delta : -1);
                }
                pos -= delta;
                end -= delta;
            }
            while (!eof && end < kCap) {
                unsigned want = unsigned(kCap - end) < 4096u ? unsigned(kCap - end) : 4096u;
                unsigned got = read(reinterpret_cast<char*>(s.buf + end), &want, user);
                if (got == 0) eof = true;
                else end += int(got > want ? want : got);
            }
        }
        if (pos >= end) break;
        int bestLen = 0, bestDist = 0;
        if (pos + 1 < end) {
            int cand = s.head[HashAt(s.buf + pos)];
            int maxLen = end - pos < kMaxMatch ? end - pos : kMaxMatch;
            for (int depth = 0; cand >= 0 && depth < kChain; ++depth, cand = s.prev[cand]) {
                int dist = pos - cand;
                if (dist <= 0 || dist > dict) break;
                int l = 0;
                while (l < maxLen && s.buf[cand + l] == s.buf[pos + l]) ++l;
                if (l == 2 && dist > 256) continue;
                if (l > bestLen) {
                    bestLen = l;
                    bestDist = dist;
                    if (l == maxLen) break;
                }
            }
        }
        if (bestLen >= 2) {
            PutCopy(s, unsigned(bestLen), unsigned(bestDist), dictBits);
            for (int k = 0; k < bestLen; ++k) insert(pos + k);
            pos += bestLen;
        } else {
            PutBits(s, 0, 1);
            if (coded) PutCode(s, T().lit, s.buf[pos]);
            else PutBits(s, s.buf[pos], 8);
            insert(pos);
            ++pos;
        }
    }
    PutCopy(s, 519, 0, dictBits);
    if (s.nbits) PutBits(s, 0, 8 - s.nbits);
    // The shortest stream (no data) is 4 bytes; one more zero byte lets
    // explode's first read tell it from a cut-off stream.
    if (s.outLen < 5 && !s.bytesOut) PutBits(s, 0, 8);
    if (s.outLen) {
        unsigned size = s.outLen;
        write(reinterpret_cast<char*>(s.out), &size, user);
    }
    return IMPLODE_OK;
}

}  // namespace ferrix
