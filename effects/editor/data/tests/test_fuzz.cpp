// Damaged effect data blocks: a valid block with random bytes changed and
// random lengths given is checked and, when accepted, loaded through the
// block and card paths.  The block lies against an inaccessible page, so
// any read past its end faults.  FX_FUZZ_ROUNDS runs more rounds.
#include <catch2/catch.hpp>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "fxdata.h"
#include "fxedit.h"
#include "msgbox_capture.h"

namespace {

// Bytes at the very end of readable memory: the next page cannot be read.
struct Guarded {
    uint8_t *base = nullptr;
    size_t pages = 0;
    uint8_t *data = nullptr;
    explicit Guarded(const std::vector<uint8_t> &bytes)
    {
        const size_t page = 4096;
        pages = (bytes.size() + page - 1) / page + 1;
        base = static_cast<uint8_t *>(VirtualAlloc(nullptr, pages * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        REQUIRE(base);
        DWORD old;
        REQUIRE(VirtualProtect(base + (pages - 1) * page, page, PAGE_NOACCESS, &old));
        data = base + (pages - 1) * page - bytes.size();
        memcpy(data, bytes.data(), bytes.size());
    }
    ~Guarded() { VirtualFree(base, 0, MEM_RELEASE); }
};

std::vector<uint8_t> ValidBlock(FxEffectHost *host)
{
    FxEffect *e = host->effect;
    FxPath *p = e->first;
    InsertKeyframeCopy(p, 0, INSERT_AFTER);
    FxKeyframe *last = LastKeyframe(p);
    last->startFrame = last->endFrame = 20;
    last->startTime = last->endTime = 20;
    last->position[0] = 64;
    strcpy(e->header.description, "Fuzz");
    uint32_t size = 0;
    FxEffectBlock *b = FxMakeBlock(host, e, 1, &size);
    REQUIRE(b);
    std::vector<uint8_t> v(reinterpret_cast<uint8_t *>(b), reinterpret_cast<uint8_t *>(b) + size);
    free(b);
    return v;
}

}  // namespace

TEST_CASE("damaged blocks never read past their end", "[block][fuzz]")
{
    MsgBoxCapture boxes;
    FxEffectHost host{};
    host.personality = 1;
    host.effect = NewEffect(&host, 0);
    REQUIRE(host.effect);
    const std::vector<uint8_t> good = ValidBlock(&host);

    int rounds = 1000;
    if (const char *env = getenv("FX_FUZZ_ROUNDS"))
        rounds = atoi(env) > 0 ? atoi(env) : rounds;
    std::mt19937 rng(20261211);
    int accepted = 0, loaded = 0;
    for (int round = 0; round < rounds; ++round) {
        std::vector<uint8_t> b = good;
        int changes = 1 + int(rng() % 4);
        for (int i = 0; i < changes; ++i) {
            size_t at;
            // Half the changes hit the header's length fields.
            if (rng() % 2)
                at = 8 + rng() % 12;
            else
                at = rng() % b.size();
            b[at] = uint8_t(rng());
        }
        // Sometimes the giver cuts the block short.
        if (rng() % 4 == 0)
            b.resize(rng() % b.size());
        CAPTURE(round);
        Guarded g(b);
        int check = FxCheckBlock(g.data, b.size());
        if (check != FXB_OK)
            continue;
        ++accepted;
        FxCardRecord rec{};
        rec.type = FX_CARD_TYPE;
        rec.block = reinterpret_cast<FxEffectBlock *>(g.data);
        rec.blockSize = uint32_t(b.size());
        if (LoadEffect(&host, nullptr, FXL_CARD, &rec))
            ++loaded;
        if (LoadEffect(&host, nullptr, FXL_BLOCK, g.data))
            ++loaded;
        REQUIRE(host.effect);
    }
    // The seed leaves some blocks whole enough to load.
    CHECK(accepted > 0);
    CHECK(loaded > 0);
    DeleteEffect(host.effect);
}
