// The host link: loading by file name, attach and detach, personalities,
// capability entries, the use count, and the answers of the protocol's
// messages.
#include <catch2/catch.hpp>

#include <cstring>
#include <vector>

#include "fxhost_host.h"

using namespace fxtest;

namespace {

std::string Text(HMODULE lib, uintptr_t description)
{
    if (description < 0x10000) {
        char buf[128] = {};
        LoadStringA(lib, UINT(description), buf, sizeof buf);
        return buf;
    }
    return reinterpret_cast<const char *>(description);
}

}  // namespace

TEST_CASE("A host loads the library by file name, attaches a node and detaches it", "[attach]")
{
    REQUIRE(Library());
    REQUIRE(Notify());
    TestHost host("Cubby Test", true);
    REQUIRE(host.Attach() == 1);

    CubbyNode &n = host.lib;
    CHECK((n.flags & 1) == 1);
    CHECK(n.module == Library());
    CHECK(n.moduleCopy == Library());
    CHECK(n.accelerators);
    CHECK(n.icon);
    CHECK(n.menu);
    WNDCLASSA wc;
    CHECK(GetClassInfoA(Library(), "TarvoFX:BIND", &wc));

    FxInstance *inst = host.Instance();
    REQUIRE(inst);
    CHECK(inst->personality == 0);
    CHECK(std::string(inst->product) == "Ostrel");
    CHECK(std::string(inst->mode) == "Animation");
    CHECK(inst->kind == 0x18);
    CHECK(inst->features == 0x711FFFFF);
    CHECK(inst->featuresCopy == 0x711FFFFF);
    CHECK(inst->own == &n);
    CHECK(inst->peer == &host.self.node);
    CHECK(inst->lastFrameSent == -1);
    CHECK(inst->iniPath == FixtureIni());
    CHECK(FxCurrentEffect(inst));
    CHECK(host.Count(FXN_GET_FILE) == 2);

    // Personality 0 offers list A, each entry a copy of the first table row
    // of its code with the list's extra flags.
    struct Want {
        uint32_t code, media, flags, source, destination;
        const char *description;
    };
    const Want want[] = {
        {0x2C800002, 0x10, 0x4002, 0x20000001, 0x10000007, "SpooletHdr"},
        {0x2C80000B, 0x10, 0x4000, 0x20000001, 0, "Mobra"},
        {0x2C800001, 0x18, 0xA, 0x20000001, 0x20000001, "FX Script"},
        {0x2C800005, 0x8004, 0, 0, 0x30000001, "Animation"},
        {0x2C800008, 0x2, 0x1, 0, 0x30000001, "Current Frame"},
        {0x2C800009, 0x2, 0x1001, 0, 0x30000001, "All Frames"},
        {0x2C800011, 0x8, 0x400A, 0x20000001, 0x20000001, "FX Template"},
        {0x2C800007, 0x10, 0x4021, 0, 0x30000001, "PostageStamp"},
        {0x2C80000C, 0x12, 0x4000, 0, 0x30000001, "render frame using FXFRI"},
    };
    REQUIRE(n.capCount == 9);
    REQUIRE(n.caps);
    for (uint32_t i = 0; i < n.capCount; ++i) {
        INFO("entry " << i);
        const CubbyFormatEntry &e = n.caps[i];
        CHECK(e.code == want[i].code);
        CHECK(e.media == want[i].media);
        CHECK(e.flags == want[i].flags);
        CHECK(e.source == want[i].source);
        CHECK(e.destination == want[i].destination);
        CHECK(Text(Library(), e.description) == want[i].description);
        CHECK(e.module == Library());
    }

    CHECK(host.Send(2031) == 0);  // unknown
    REQUIRE(host.Detach() == 1);
    CHECK(n.privateData == nullptr);
    CHECK(n.capCount == 0);
    CHECK(n.caps == nullptr);
    // A detached node is refused like a node never attached.
    CHECK(host.Send(FXN_ACTIVATE) == 0);
    CHECK(host.Send(FXN_STATE, 7, nullptr) == 0);
}

TEST_CASE("The personality comes from the host's private data", "[attach]")
{
    struct Case {
        const char *what;
        bool select;
        std::vector<uint32_t> words;  // type 3 bytes, or {index} for type 4
        uint32_t hostKind;
        int personality;
        uint32_t features;
        uint32_t nodeFlag;
        uint32_t capCount;
        uint32_t instanceKind;
    };
    const Case cases[] = {
        {"number 1", false, {1}, 0, 1, 0x110C06C3, 1, 8, 0},
        {"number 9 falls back to row 0", false, {9}, 0, 0, 0x711FFFFF, 1, 9, 0},
        {"select record", true, {32, FX_SELECT_ID, 0x511FFFFF, 0, 0, 0, 2, 0x2C940000}, 0, 2, 0x511FFFFF, 1, 8,
         0x2C940000},
        {"select flags merged with bit 31", true, {32, FX_SELECT_ID, 0x90000000, 0, 0, 0, 0, 0}, 0, 0, 0x80000000, 1, 9,
         0},
        {"select flags without bit 31", true, {32, FX_SELECT_ID, 0x00800101, 0, 0, 0, 3, 0}, 0, 3, 0x00800001, 1, 9,
         0},
        {"40-byte select read as 32", true, {40, FX_SELECT_ID, 0, 0, 0, 0, 3, 0, 7, 7}, 0, 3, 0x110C06C3, 1, 9, 0},
        {"another id is ignored", true, {32, 0x2C800031, 0x1, 0, 0, 0, 2, 0}, 0, 0, 0x711FFFFF, 1, 9, 0},
        {"row 5 takes the host's flags unchanged", true, {32, FX_SELECT_ID, 0x12345678, 0, 0, 0, 5, 0}, 0, 5,
         0x12345678, 1, 1, 0},
        {"embedded host: no node flag", false, {7}, FX_HOST_EMBEDDED, 7, 0x110C06C3, 0, 1, FX_HOST_EMBEDDED},
    };
    for (const Case &c : cases) {
        INFO(c.what);
        TestHost host;
        if (c.select)
            host.Select(c.words, c.hostKind);
        else
            host.Number(c.words[0], c.hostKind);
        REQUIRE(host.Attach() == 1);
        FxInstance *inst = host.Instance();
        REQUIRE(inst);
        CHECK(inst->personality == c.personality);
        CHECK(inst->features == c.features);
        CHECK((host.lib.flags & 1) == c.nodeFlag);
        CHECK(host.lib.capCount == c.capCount);
        CHECK(inst->hostKind == c.instanceKind);
        const uint32_t format = FXI_INTERLACED | FXI_RENDER_4 | FXI_RENDER_8;
        CHECK((inst->flags & ~format) == FxPersonalityRow(c.personality).initialFlags);
        CHECK(host.Detach() == 1);
    }
}

TEST_CASE("Personality lists offer only codes the entry table carries", "[attach]")
{
    // List B names 0x2C800012, for which the table has no row.
    uint32_t count = 0;
    CubbyFormatEntry *caps = FxBuildCaps(1, &count);
    REQUIRE(caps);
    REQUIRE(count == 8);
    const uint32_t codes[] = {0x2C800002, 0x2C800001, 0x2C80000E, 0x2C80000D,
                              0x2C800010, 0x2C800013, 0x2C800011, 0x2C800007};
    for (uint32_t i = 0; i < count; ++i) CHECK(caps[i].code == codes[i]);
    CHECK(caps[0].flags == (0x4002 | 0x4000));
    FxFree(caps);

    caps = FxBuildCaps(7, &count);
    REQUIRE(count == 1);
    CHECK(caps[0].code == 0x2C800013);
    CHECK(caps[0].media == 0x8000);
    FxFree(caps);
}

TEST_CASE("The use count and shared block follow attaches and detaches", "[attach][count]")
{
    REQUIRE(FxUseCount() == 0);
    TestHost a, b;
    REQUIRE(a.Attach() == 1);
    CHECK(FxUseCount() == 1);
    CHECK(FxSharedBlockExists());
    REQUIRE(b.Attach() == 1);
    CHECK(FxUseCount() == 2);
    CHECK(a.Instance() != b.Instance());

    SECTION("two attaches and one detach keep the shared block")
    {
        CHECK(a.Detach() == 1);
        CHECK(FxUseCount() == 1);
        CHECK(FxSharedBlockExists());
        CHECK(b.Detach() == 1);
        CHECK(FxUseCount() == 0);
        CHECK_FALSE(FxSharedBlockExists());
    }
    SECTION("a second attach of the same node makes no second instance but is counted")
    {
        FxInstance *first = a.Instance();
        CHECK(a.Attach() == 1);
        CHECK(a.Instance() == first);
        CHECK(FxUseCount() == 3);
        CHECK(a.Detach() == 1);
        CHECK(a.Send(FXN_DETACH) == 1);  // its pair
        CHECK(b.Detach() == 1);
        CHECK(FxUseCount() == 0);
    }
    SECTION("a node never attached: fields cleared, the host's data untouched, the count lowered")
    {
        TestHost never;
        CubbyFormatEntry hostCaps[1] = {};
        never.lib.caps = hostCaps;
        never.lib.capCount = 1;
        const CubbyPrivateData before = never.priv;
        FxRequest r = {};
        r.marker = FXR_MARKER;
        r.code = FXD_EFFECT_TEXT;
        r.unit = FXM_WIDE;
        const FxRequest copy = r;
        CHECK(never.Send(FXN_REQUEST, FXP_SIZE, &r) == 0);
        CHECK(std::memcmp(&r, &copy, sizeof r) == 0);
        CHECK(never.Send(FXN_STATE, 1, reinterpret_cast<void *>(50)) == 0);
        CHECK(std::memcmp(&never.priv, &before, sizeof before) == 0);

        CHECK(never.Detach() == 1);
        CHECK(never.lib.privateData == nullptr);
        CHECK(never.lib.caps == nullptr);
        CHECK(never.lib.capCount == 0);
        CHECK(FxUseCount() == 1);
        a.Detach();
        b.Detach();
        CHECK(FxUseCount() == 0);
        // A lone detach never takes the count below 0.
        TestHost again;
        CHECK(again.Detach() == 1);
        CHECK(FxUseCount() == 0);
    }
}

TEST_CASE("Attaches and detaches from several threads keep the count exact", "[attach][count]")
{
    REQUIRE(FxUseCount() == 0);
    TestHost holder;
    REQUIRE(holder.Attach() == 1);
    // Win32 threads: the library calls Win32 on the caller's thread.
    struct Worker {
        static DWORD WINAPI Run(void *)
        {
            for (int i = 0; i < 40; ++i) {
                TestHost h;
                h.iniPath.clear();
                if (h.Attach() != 1) return 1;
                h.Detach();
            }
            return 0;
        }
    };
    HANDLE threads[3];
    for (HANDLE &t : threads) t = CreateThread(nullptr, 0, &Worker::Run, nullptr, 0, nullptr);
    WaitForMultipleObjects(3, threads, TRUE, INFINITE);
    for (HANDLE t : threads) {
        DWORD code = 99;
        GetExitCodeThread(t, &code);
        CHECK(code == 0);
        CloseHandle(t);
    }
    CHECK(FxUseCount() == 1);
    CHECK(FxSharedBlockExists());
    holder.Detach();
    CHECK(FxUseCount() == 0);
    CHECK_FALSE(FxSharedBlockExists());
}

TEST_CASE("Messages of an attached node answer as the protocol says", "[messages]")
{
    TestHost host;
    REQUIRE(host.Attach() == 1);
    FxInstance *inst = host.Instance();
    REQUIRE(inst);

    SECTION("activate and deactivate answer 0 after doing their work")
    {
        host.frameCount = 120;
        CHECK(host.Send(FXN_ACTIVATE) == 0);
        CHECK((inst->flags & FXI_ACTIVE) != 0);
        CHECK(FxCurrentEffect(inst)->endFrame == 120);
        CHECK((inst->changeMask & 0x1000000) != 0);
        CHECK(host.Send(FXN_DEACTIVATE) == 0);
        CHECK((inst->flags & FXI_ACTIVE) == 0);
        // A host without a frame count leaves the effect's.
        host.frameCount = 0;
        CHECK(host.Send(FXN_ACTIVATE) == 0);
        CHECK(FxCurrentEffect(inst)->endFrame == 120);
    }
    SECTION("store: nothing to store answers 1 without asking the host")
    {
        // The effect made at attach was never stored.
        CHECK(host.Send(FXN_STORE_EFFECT, 0) == 1);
        CHECK(host.Count(FXN_PUT_DATA) == 1);
        host.calls.clear();
        CHECK(host.Send(FXN_STORE_EFFECT, 0) == 1);
        CHECK(host.calls.empty());
    }
    SECTION("store after a change hands the host a block of the personality's type")
    {
        REQUIRE(host.Send(FXN_STATE, 1, reinterpret_cast<void *>(75)) == 1);
        host.putAnswer = 1;
        CHECK(host.Send(FXN_STORE_EFFECT, 0) == 1);
        REQUIRE(host.stored.size() > sizeof(FxEffectBlock));
        CHECK(host.storedType == 8);
        FxEffectBlock h;
        std::memcpy(&h, host.stored.data(), sizeof h);
        CHECK(h.size == 112);
        CHECK(h.version == 2);
        CHECK(h.textOffset == 112);
        CHECK(h.textLength == host.stored.size() - 112);
        CHECK(h.dataLength == h.textLength);
        CHECK(h.endFrame == 75);
        CHECK(host.stored.back() == 0);
        // Stored: the next store without force has nothing to do.
        host.calls.clear();
        CHECK(host.Send(FXN_STORE_EFFECT, 0) == 1);
        CHECK(host.calls.empty());
        // A host that refuses keeps the change pending.
        host.putAnswer = 0;
        CHECK(host.Send(FXN_STORE_EFFECT, 1) == 0);
        CHECK((FxCurrentEffect(inst)->flags & FXE_UNSTORED) == 0);
        host.Send(FXN_STATE, 1, reinterpret_cast<void *>(76));
        CHECK(host.Send(FXN_STORE_EFFECT, 0) == 0);
        CHECK((FxCurrentEffect(inst)->flags & FXE_UNSTORED) != 0);
    }
    SECTION("load from the host's store and plain reload")
    {
        // The host's store holds the block of an effect with two paths.
        TestHost other;
        REQUIRE(other.Attach() == 1);
        REQUIRE(LoadEffect(&other.Instance()->host, nullptr, FXL_TEXT,
                           "Path 1: Keyframe 1.1 { at frame 1 } Path 2: Keyframe 2.1 { at frame 4 }"));
        REQUIRE(CountPaths(other.Instance()->host.effect->first) == 2);
        other.Send(FXN_STORE_EFFECT, 1);
        REQUIRE(!other.stored.empty());
        INFO(reinterpret_cast<const char *>(other.stored.data() + 112));
        host.block = other.stored;
        other.Detach();

        CHECK(host.Send(FXN_LOAD_EFFECT, 0) == 1);
        CHECK(CountPaths(FxCurrentEffect(inst)->first) == 2);
        CHECK(host.Count(FXN_EFFECT_LOADED) == 1);
        CHECK(host.Send(FXN_RELOAD_EFFECT) == 1);
        CHECK(CountPaths(FxCurrentEffect(inst)->first) == 1);
        CHECK(host.Send(FXN_LOAD_EFFECT, WPARAM(-1)) == 1);
        CHECK(CountPaths(FxCurrentEffect(inst)->first) == 1);
        // A damaged block loads nothing and keeps the effect.
        host.block[2] = 3;  // version
        CHECK(host.Send(FXN_LOAD_EFFECT, 0) == 0);
        CHECK(CountPaths(FxCurrentEffect(inst)->first) == 1);
    }
    SECTION("state codes")
    {
        CHECK(host.Send(FXN_STATE, 1, reinterpret_cast<void *>(50)) == 1);
        CHECK(FxCurrentEffect(inst)->endFrame == 50);
        CHECK(host.Send(FXN_STATE, 1, reinterpret_cast<void *>(50)) == 0);
        CHECK(host.Send(FXN_STATE, 1, reinterpret_cast<void *>(-5)) == 0);
        CHECK(FxCurrentEffect(inst)->endFrame == 50);
        uint32_t flags[2] = {0x80010000, 0xFD7FFFFF};
        CHECK(host.Send(FXN_STATE, 7, flags) == 1);
        CHECK(inst->flags == 0x80010000);
        CHECK(inst->features == 0x7D7FFFFF);
        CHECK(inst->featuresCopy == 0x7D7FFFFF);
        CHECK(host.Send(FXN_STATE, 7, nullptr) == 0);
        CHECK(host.Send(FXN_STATE, 9, reinterpret_cast<void *>(250)) == 1);
        CHECK(inst->hostDuration == 250);
        CHECK(host.Send(FXN_STATE, 6) == 1);  // the first keyframe's frame
        CHECK(host.Send(FXN_STATE, 99) == 0);
    }
    SECTION("state 32 names the objects in order, making the missing ones")
    {
        std::vector<FxObjectName> entries(3);
        std::memset(entries.data(), 0, entries.size() * sizeof(FxObjectName));
        const char *names[] = {"Logo", "Strap", nullptr};
        for (int i = 0; i < 3; ++i) {
            entries[i].id = 100 + i;
            if (names[i]) std::strcpy(entries[i].name, names[i]);
        }
        std::memset(entries[2].name, 'n', sizeof entries[2].name);  // no NUL: 63 are taken
        FxObjectNames rec = {0, 3, entries.data()};
        CHECK(host.Send(FXN_STATE, 32, &rec) == 1);
        FxPath *p = FxCurrentEffect(inst)->first;
        REQUIRE(CountPaths(p) == 3);
        CHECK(p->imageId == 100);
        CHECK(std::string(p->name) == "Logo");
        CHECK(p->next->imageId == 101);
        CHECK(std::string(p->next->name) == "Strap");
        CHECK(std::string(p->next->next->name) == std::string(63, 'n'));
        // Fewer entries than objects: the rest keep theirs.
        FxObjectNames one = {0, 1, entries.data() + 1};
        CHECK(host.Send(FXN_STATE, 32, &one) == 1);
        CHECK(std::string(p->name) == "Strap");
        CHECK(std::string(p->next->name) == "Strap");
        CHECK(CountPaths(p) == 3);
        FxObjectNames none = {0, 2, nullptr};
        CHECK(host.Send(FXN_STATE, 32, &none) == 0);
        CHECK(host.Send(FXN_STATE, 32, nullptr) == 0);
    }
    SECTION("window messages and commands")
    {
        CHECK(host.Send(FXN_COMMAND, 0, nullptr) == 0);
        CHECK(host.Send(FXN_WINDOW_MESSAGE, 0, nullptr) == 0);
        host.Send(FXN_STATE, 1, reinterpret_cast<void *>(64));
        uintptr_t relay[3] = {857, 0, 0};
        CHECK(host.Send(FXN_WINDOW_MESSAGE, 0, relay) == 64);
        uintptr_t set[3] = {859, 99, 0};
        CHECK(host.Send(FXN_WINDOW_MESSAGE, WM_COMMAND, set) == 1);
        CHECK(FxCurrentEffect(inst)->endFrame == 99);
        uintptr_t duration[3] = {876, 300, 0};
        CHECK(host.Send(FXN_WINDOW_MESSAGE, 0, duration) == 1);
        CHECK(inst->hostDuration == 300);
        uintptr_t unknown[3] = {12345, 0, 0};
        CHECK(host.Send(FXN_WINDOW_MESSAGE, 0, unknown) == 0);
        host.PalFormat();
        uintptr_t reread[3] = {894, 0, 0};
        CHECK(host.Send(FXN_WINDOW_MESSAGE, 0, reread) == 0);
        CHECK(inst->frameHeight == 576);
    }
    SECTION("host data, enable, close")
    {
        int data = 0;
        CHECK(host.Send(FXN_SET_HOST_DATA, 0, &data) == 0);
        CHECK(inst->hostData == &data);
        CHECK(host.Send(FXN_SET_HOST_DATA, 0, nullptr) == 0);
        CHECK(inst->hostData == &data);
        CHECK(host.Send(FXN_ENABLE, TRUE) == 0);
        CHECK(host.Send(FXN_CLOSE) == 1);
        CHECK(host.Instance() == inst);
    }
    SECTION("a null own node accepts only attach, detach, close and enable")
    {
        CHECK(FXNotify(nullptr, &host.self.node, FXN_ACTIVATE, 0, nullptr) == 0);
        CHECK(FXNotify(nullptr, &host.self.node, FXN_CLOSE, 0, nullptr) == 1);
        CHECK(FXNotify(nullptr, &host.self.node, FXN_ENABLE, 1, nullptr) == 0);
        CHECK(FXNotify(nullptr, &host.self.node, FXN_ATTACH, 0, nullptr) == 0);
    }
    CHECK(host.Detach() == 1);
}
