// Effect data blocks: the header against a hand-made byte fixture, round
// trips through every save and load mode (host, card, caller's block,
// file, text), the flag bits each mode sets and clears, and bad blocks
// (truncated, wrong version, oversized or misplaced text, no terminator)
// refused without touching the current effect.
#include <catch2/catch.hpp>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fxdata.h"
#include "fxedit.h"
#include "fxview.h"
#include "msgbox_capture.h"

namespace {

// A host that keeps one block, copies what it is given and records the
// effect-loaded notices.
struct FakeHost {
    std::vector<uint8_t> stored;      // block handed out for the data type
    bool haveStored = false;
    INT_PTR putAnswer = 1;
    int puts = 0;
    std::vector<uint8_t> put;         // last block put
    uint32_t putSize = 0;
    int loadedNotices = 0;
    const void *lastLoaded = nullptr;
    uintptr_t animationRecord = 0;
    uint32_t claimedSize = 0;         // the size the host says its block has, else its real size
    WPARAM lastLoadedWparam = 0;
    uintptr_t version = 0;
};
FakeHost g_host;

int g_freed;
int g_answer;

// Answers the next message box of this thread with g_answer.
LRESULT CALLBACK AnswerBox(int code, WPARAM wp, LPARAM lp)
{
    if (code == HCBT_ACTIVATE) {
        char cls[16] = {};
        GetClassNameA(HWND(wp), cls, sizeof cls);
        if (!strcmp(cls, "#32770"))
            PostMessageA(HWND(wp), WM_COMMAND, g_answer, 0);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}
void __cdecl CountFree(void *) { ++g_freed; }

INT_PTR WINAPI HostNotify(CubbyNode *, CubbyNode *, UINT message, WPARAM wparam, void *record)
{
    auto *r = static_cast<FxHostDataRecord *>(record);
    switch (message) {
    case FXN_GET_DATA:
        if (r->selector == FX_HOST_ANIMATION_DATA && g_host.animationRecord) {
            r->value = g_host.animationRecord;
            return 1;
        }
        if (r->selector == FX_HOST_VERSION) {
            r->value = g_host.version;
            return 1;
        }
        if (r->selector == 20 && g_host.haveStored) {
            r->value = reinterpret_cast<uintptr_t>(g_host.stored.data());
            r->size = g_host.claimedSize ? g_host.claimedSize : uint32_t(g_host.stored.size());
            return 1;
        }
        return 0;
    case FXN_PUT_DATA: {
        ++g_host.puts;
        const uint8_t *p = reinterpret_cast<const uint8_t *>(r->value);
        g_host.put.assign(p, p + r->size);
        g_host.putSize = r->size;
        return g_host.putAnswer;
    }
    case FXN_EFFECT_LOADED:
        ++g_host.loadedNotices;
        g_host.lastLoaded = record;
        g_host.lastLoadedWparam = wparam;
        return 0;
    }
    return 0;
}

// An instance with a host, personality 1 (no mesh or ini questions), one
// current effect.
struct Instance {
    CubbyNode own{}, peer{};
    FxEffectHost host{};
    Instance()
    {
        g_host = FakeHost();
        peer.notify = HostNotify;
        host.own = &own;
        host.peer = &peer;
        host.personality = 1;
        host.dataType = 20;
        strcpy(host.objectName, "Effect");
        host.effect = NewEffect(&host, 0);
        REQUIRE(host.effect);
    }
    ~Instance() { DeleteEffect(host.effect); }
    FxEffect *e() { return host.effect; }
};

std::string Text(FxEffect *e)
{
    int n = WriteFxScriptText(e->first, nullptr, nullptr);
    std::string s(size_t(n), '\0');
    WriteFxScriptText(e->first, nullptr, &s[0]);
    s.resize(strlen(s.c_str()));
    return s;
}

// Gives the effect something to carry: a second keyframe away from the
// first and a description.
void Shape(FxEffect *e, const char *description = "Slide in")
{
    FxPath *p = e->first;
    InsertKeyframeCopy(p, 0, INSERT_AFTER);
    FxKeyframe *last = LastKeyframe(p);
    last->startFrame = last->endFrame = 30;
    last->startTime = last->endTime = 30;
    last->position[0] = 120;
    last->position[1] = -40;
    strcpy(e->header.description, description);
    e->currentFrame = 7;
}

void Put16(std::vector<uint8_t> &b, size_t at, uint16_t v)
{
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void Put32(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

const char kFixtureText[] =
    "Header\r\n{\r\n\tversion = 2\r\n\tDescription \"Wipe\"\r\n\tmarkout = 50\r\n}\r\n"
    "Path 1:\r\nKeyframe 1.1\r\n{\r\n\tat frame 1\r\n\tPosition: x = 10, y = 20, z = 1000.\r\n}\r\n";

// A block laid out by hand, field by field at the documented offsets.
std::vector<uint8_t> FixtureBlock(uint16_t version = 2)
{
    uint32_t textLength = sizeof kFixtureText;
    std::vector<uint8_t> b(112 + textLength, 0);
    Put16(b, 0, 112);
    Put16(b, 2, version);
    Put32(b, 4, 0x4);
    Put32(b, 8, textLength);
    Put32(b, 12, 112);
    Put32(b, 16, textLength);
    b[20] = 0xA5;               // reserved bytes travel unchanged
    Put32(b, 28, 1700000000);
    Put32(b, 32, 50);
    Put16(b, 40, 0xFFFF);
    memcpy(&b[44], "Wipe", 4);
    Put16(b, 108, 0);
    Put16(b, 110, 12);
    memcpy(&b[112], kFixtureText, textLength);
    return b;
}

}  // namespace

TEST_CASE("block header is read from a hand-made byte fixture", "[block]")
{
    std::vector<uint8_t> b = FixtureBlock();
    REQUIRE(FxCheckBlock(b.data(), b.size()) == FXB_OK);

    Instance in;
    REQUIRE(LoadEffect(&in.host, nullptr, FXL_BLOCK, b.data()));
    FxEffect *e = in.e();
    CHECK(std::string(e->header.description) == "Wipe");
    CHECK(e->currentFrame == 12);
    CHECK(e->endFrame == 50);
    CHECK(e->first->head->position[0] == 10);
    CHECK(e->first->head->position[1] == 20);
    CHECK(e->header.reserved20[0] == 0xA5);
    CHECK(e->header.textLength == 0);
    CHECK(e->header.dataLength == 0);

    // Written back into the caller's block: the same fields at the same bytes.
    uint32_t size = FxBlockSize(&in.host, e);
    REQUIRE(size > 112);
    std::vector<uint8_t> out(size, 0xEE);
    REQUIRE(SaveEffect(&in.host, nullptr, FXSV_BLOCK, out.data()));
    uint32_t textLength = size - 112;
    std::vector<uint8_t> expect(112, 0);
    Put16(expect, 0, 112);
    Put16(expect, 2, 2);
    Put32(expect, 8, textLength);
    Put32(expect, 12, 112);
    Put32(expect, 16, textLength);
    expect[20] = 0xA5;
    Put32(expect, 28, 1700000000);
    Put32(expect, 32, 50);
    Put16(expect, 40, 0xFFFF);
    memcpy(&expect[44], "Wipe", 4);
    Put16(expect, 110, 12);
    CHECK(std::vector<uint8_t>(out.begin(), out.begin() + 112) == expect);
    CHECK(out[size - 1] == 0);
    CHECK(strlen(reinterpret_cast<char *>(&out[112])) + 1 == textLength);
}

TEST_CASE("saving to the host and loading the block back gives the same effect", "[block][host]")
{
    Instance in;
    Shape(in.e());
    in.e()->flags |= FXE_UNSTORED | FXE_UNSAVED;
    std::string before = Text(in.e());

    REQUIRE(SaveEffect(&in.host, nullptr, FXSV_HOST, nullptr));
    REQUIRE(g_host.puts == 1);
    REQUIRE(g_host.put.size() == g_host.putSize);
    const auto *b = reinterpret_cast<const FxEffectBlock *>(g_host.put.data());
    const char *text = reinterpret_cast<const char *>(g_host.put.data()) + 112;
    CHECK(b->size == 112);
    CHECK(b->version == 2);
    CHECK(b->textOffset == 112);
    CHECK(b->textLength == strlen(text) + 1);
    CHECK(b->dataLength == b->textLength);
    CHECK(g_host.putSize == b->textLength + 112);
    CHECK(b->currentFrame == 7);
    CHECK(b->timeStamp != 0xFFFFFFFFu);
    CHECK(b->timeStamp == in.e()->timeStamp);
    CHECK((b->flags & FXB_FLAG_UNSTORED) != 0);
    CHECK((in.e()->flags & (FXE_UNSTORED | FXE_UNSAVED)) == 0);

    // A second instance loads it from its host.
    const std::vector<uint8_t> saved = g_host.put;
    b = reinterpret_cast<const FxEffectBlock *>(saved.data());
    Instance other;
    g_host.stored = saved;
    g_host.haveStored = true;
    REQUIRE(LoadEffect(&other.host, nullptr, FXL_HOST, nullptr));
    FxEffect *e = other.e();
    CHECK(Text(e) == before);
    CHECK(std::string(e->header.description) == "Slide in");
    CHECK(e->currentFrame == 7);
    CHECK(e->timeStamp == b->timeStamp);
    CHECK((e->flags & FXE_FROM_HOST) != 0);
    CHECK((e->flags & FXE_UNSTORED) == 0);
    CHECK(g_host.loadedNotices == 1);
    CHECK(g_host.lastLoaded == g_host.stored.data());
    CHECK(g_host.lastLoadedWparam == WPARAM(g_host.stored.data()));

    SECTION("the same time stamp again is not parsed again but still told")
    {
        FxEffect *was = other.e();
        FxPath *paths = was->first;
        REQUIRE(LoadEffect(&other.host, nullptr, FXL_HOST, nullptr));
        CHECK(other.e() == was);
        CHECK(other.e()->first == paths);
        CHECK(g_host.loadedNotices == 2);
    }
    SECTION("a host that refuses the block leaves the changed bits set")
    {
        other.e()->flags |= FXE_UNSTORED | FXE_UNSAVED;
        g_host.putAnswer = 0;
        CHECK(SaveEffect(&other.host, nullptr, FXSV_HOST, nullptr) == 0);
        CHECK((other.e()->flags & (FXE_UNSTORED | FXE_UNSAVED)) == (FXE_UNSTORED | FXE_UNSAVED));
    }
    SECTION("a host without a block gives a new empty effect")
    {
        g_host.haveStored = false;
        REQUIRE(LoadEffect(&other.host, nullptr, FXL_HOST, nullptr));
        CHECK(CountPaths(other.e()->first) == 1);
        CHECK((other.e()->flags & FXE_FROM_HOST) == 0);
        CHECK(g_host.loadedNotices == 1);   // nothing loaded, nothing told
        // The load of an unstored effect starts its undo list.
        CHECK(other.e()->undoCount == 1);
    }
}

TEST_CASE("host blocks: the host's size bounds the text; an unstamped block is always read", "[block][host]")
{
    std::vector<uint8_t> b = FixtureBlock();
    SECTION("a size word shorter than the text refuses the block")
    {
        Instance in;
        g_host.stored = b;
        g_host.haveStored = true;
        g_host.claimedSize = uint32_t(b.size() - 10);
        FxEffect *was = in.e();
        CHECK(LoadEffect(&in.host, nullptr, FXL_HOST, nullptr) == 0);
        CHECK(in.e() == was);
        CHECK(g_host.loadedNotices == 1);
        g_host.claimedSize = uint32_t(b.size());
        CHECK(LoadEffect(&in.host, nullptr, FXL_HOST, nullptr) == 1);
        CHECK(in.e() != was);
    }
    SECTION("a block without a time stamp loads into a new effect")
    {
        // A block made from a new effect for a data request carries the
        // header copy's stamp -1, as does the instance's fresh effect.
        Put32(b, 28, 0xFFFFFFFFu);
        Instance in;
        g_host.stored = b;
        g_host.haveStored = true;
        REQUIRE(in.e()->timeStamp == 0xFFFFFFFFu);
        REQUIRE(LoadEffect(&in.host, nullptr, FXL_HOST, nullptr) == 1);
        CHECK(std::string(in.e()->header.description) == "Wipe");
        CHECK(in.e()->first->head->position[0] == 10);
    }
}

TEST_CASE("block versions: 2 and 11 load, others are refused", "[block]")
{
    struct Case { uint16_t version; bool loads; } cases[] = { { 2, true }, { 11, true }, { 3, false },
                                                            { 0, false }, { 0xFFFF, false } };
    for (const Case &c : cases) {
        CAPTURE(c.version);
        std::vector<uint8_t> b = FixtureBlock(c.version);
        Instance in;
        FxEffect *was = in.e();
        CHECK((LoadEffect(&in.host, nullptr, FXL_BLOCK, b.data()) != 0) == c.loads);
        CHECK((in.e() == was) == !c.loads);
        // The host path refuses the same way and still tells the host.
        Instance viaHost;
        g_host.stored = b;
        g_host.haveStored = true;
        Put32(g_host.stored, 28, 5);   // a time stamp the effect does not have
        FxEffect *old = viaHost.e();
        CHECK((LoadEffect(&viaHost.host, nullptr, FXL_HOST, nullptr) != 0) == c.loads);
        CHECK((viaHost.e() == old) == !c.loads);
        CHECK(g_host.loadedNotices == 1);
    }
}

TEST_CASE("bad blocks are refused with a clear error", "[block][bad]")
{
    const std::vector<uint8_t> good = FixtureBlock();
    struct Case { const char *what; size_t offset; uint32_t value; size_t available; int error; };
    const size_t n = good.size();
    const uint32_t tl = uint32_t(n - 112);
    Case cases[] = {
        { "no change", 0, 0, n, FXB_OK },
        { "cut inside the header", 0, 0, 111, FXB_ERR_TRUNCATED },
        { "cut inside the text", 0, 0, n - 1, FXB_ERR_OUTSIDE },
        { "dataLength 0", 16, 0, n, FXB_ERR_NO_DATA },
        { "textLength 0", 8, 0, n, FXB_ERR_LENGTH },
        { "textLength huge", 8, 0xFFFFFFF0u, n, FXB_ERR_LENGTH },
        { "textLength past the end", 8, tl + 1, n, FXB_ERR_OUTSIDE },
        { "text inside the header", 12, 40, n, FXB_ERR_OFFSET },
        { "offset huge", 12, 0xFFFFFF00u, n, FXB_ERR_OFFSET },
        { "offset past the end", 12, 113, n, FXB_ERR_OUTSIDE },
    };
    for (const Case &c : cases) {
        CAPTURE(c.what);
        std::vector<uint8_t> b = good;
        if (c.offset)
            Put32(b, c.offset, c.value);
        CHECK(FxCheckBlock(b.data(), c.available) == c.error);
        CHECK(std::string(FxBlockErrorText(c.error)).size() > 5);
    }
    CHECK(FxCheckBlock(nullptr, 1000) == FXB_ERR_NULL);

    SECTION("text without its terminator")
    {
        std::vector<uint8_t> b = good;
        b.back() = 'x';
        CHECK(FxCheckBlock(b.data(), b.size()) == FXB_ERR_UNTERMINATED);
        // Shortening textLength past the NUL is the same fault.
        std::vector<uint8_t> c = good;
        Put32(c, 8, tl - 1);
        CHECK(FxCheckBlock(c.data(), c.size()) == FXB_ERR_UNTERMINATED);
    }
    SECTION("a card whose block is damaged leaves the effect and is freed")
    {
        g_freed = 0;
        Instance in;
        in.host.hooks.regFreeData = CountFree;
        std::vector<uint8_t> b = good;
        b.back() = 'x';
        FxCardRecord rec{};
        rec.type = FX_CARD_TYPE;
        rec.block = reinterpret_cast<FxEffectBlock *>(b.data());
        rec.blockSize = uint32_t(b.size());
        FxEffect *was = in.e();
        CHECK(LoadEffect(&in.host, nullptr, FXL_CARD, &rec) == 0);
        CHECK(in.e() == was);
        CHECK(g_freed == 1);
        // A record that says its block is shorter than the text it claims.
        rec.block = reinterpret_cast<FxEffectBlock *>(const_cast<uint8_t *>(good.data()));
        rec.blockSize = 120;
        CHECK(LoadEffect(&in.host, nullptr, FXL_CARD, &rec) == 0);
        CHECK(g_freed == 2);
        CHECK(LoadEffect(&in.host, nullptr, FXL_BLOCK, nullptr) == 0);
        CHECK(in.e() == was);
    }
}

TEST_CASE("registry cards: saved into a record, loaded with the card's name and number", "[block][card]")
{
    Instance in;
    Shape(in.e(), "Before");
    in.e()->flags |= FXE_UNCARDED | FXE_UNSAVED;
    FxCardRecord rec{};
    REQUIRE(SaveEffect(&in.host, nullptr, FXSV_CARD, &rec));
    CHECK(rec.type == 6);
    REQUIRE(rec.block);
    CHECK(rec.blockSize == rec.block->textLength + 112);
    CHECK(FxCheckBlock(rec.block, rec.blockSize) == FXB_OK);
    CHECK((in.e()->flags & (FXE_UNCARDED | FXE_UNSAVED)) == 0);
    CHECK((in.e()->flags & FXE_UNSTORED) != 0);
    std::string before = Text(in.e());

    g_freed = 0;
    Instance other;
    other.host.hooks.regFreeData = CountFree;
    rec.cardNumber = 42;
    std::string longName(79, 'n');
    strcpy(rec.name, longName.c_str());
    REQUIRE(LoadEffect(&other.host, nullptr, FXL_CARD, &rec));
    CHECK(g_freed == 1);
    FxEffect *e = other.e();
    CHECK(Text(e) == before);
    CHECK(e->header.cardId == 42);
    CHECK(std::string(e->header.description) == longName.substr(0, 63));
    CHECK((e->flags & FXE_UNCARDED) == 0);
    GlobalFree(rec.block);

    // Changed after it came from the card: the host's block names no card.
    e->flags |= FXE_UNCARDED;
    REQUIRE(SaveEffect(&other.host, nullptr, FXSV_HOST, nullptr));
    CHECK(reinterpret_cast<const FxEffectBlock *>(g_host.put.data())->cardId == 0xFFFF);
    e->flags &= ~FXE_UNCARDED;
    REQUIRE(SaveEffect(&other.host, nullptr, FXSV_HOST, nullptr));
    CHECK(reinterpret_cast<const FxEffectBlock *>(g_host.put.data())->cardId == 42);
}

TEST_CASE("the caller's block must hold the whole effect", "[block]")
{
    Instance in;
    Shape(in.e());
    uint32_t size = FxBlockSize(&in.host, in.e());
    std::vector<uint8_t> room(size - 1, 0x5A);
    room.resize(size + 16, 0x5A);
    CHECK(FxSaveBlock(&in.host, in.e(), room.data(), size - 1) == 0);
    CHECK(room[size - 1] == 0x5A);
    REQUIRE(FxSaveBlock(&in.host, in.e(), room.data(), size) == 1);
    CHECK(room[size - 1] == 0);
    CHECK(room[size] == 0x5A);
}

TEST_CASE("files and text: round trips and the flag bits of each mode", "[file][text]")
{
    Instance in;
    Shape(in.e());
    in.e()->endFrame = 90;
    in.e()->thumbnailFrame = 4;
    std::string before = Text(in.e());
    char dir[MAX_PATH], path[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "fxd", 0, path);

    SECTION("file")
    {
        CHECK(SaveEffect(&in.host, nullptr, FXSV_FILE, nullptr) == 0);   // no file name yet
        strcpy(in.e()->fileName, path);
        in.e()->flags |= FXE_UNWRITTEN | FXE_UNSAVED;
        REQUIRE(SaveEffect(&in.host, nullptr, FXSV_FILE, nullptr));
        CHECK((in.e()->flags & (FXE_UNWRITTEN | FXE_UNSAVED)) == 0);

        Instance other;
        REQUIRE(LoadEffect(&other.host, nullptr, FXL_FILE, path));
        FxEffect *e = other.e();
        CHECK(Text(e) == before);
        CHECK(std::string(e->fileName) == path);
        CHECK(std::string(e->header.description) == "Slide in");
        CHECK(e->endFrame == 90);
        CHECK(e->thumbnailFrame == 4);
        CHECK((e->flags & FXE_UNWRITTEN) == 0);
        CHECK((e->flags & (FXE_UNCARDED | FXE_UNSTORED | FXE_RENDER_STALE)) ==
              (FXE_UNCARDED | FXE_UNSTORED | FXE_RENDER_STALE));
        CHECK((e->flags & FXE_UNSAVED) == 0);
    }
    SECTION("a missing file is reported and the effect stays")
    {
        MsgBoxCapture boxes;
        FxEffect *was = in.e();
        std::string missing = std::string(dir) + "no such effect.fx";
        CHECK(LoadEffect(&in.host, nullptr, FXL_FILE, missing.c_str()) == 0);
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.texts()[0] == "Could not open file (" + missing + ")");
        CHECK(in.e() == was);
        CHECK(LoadEffect(&in.host, nullptr, FXL_FILE, "") == 0);
        CHECK(LoadEffect(&in.host, nullptr, FXL_FILE, nullptr) == 0);
        CHECK(boxes.count() == 1);
        CHECK(in.e() == was);
    }
    SECTION("text")
    {
        std::vector<char> buf(FxBlockSize(&in.host, in.e()));
        in.e()->flags |= FXE_UNWRITTEN | FXE_UNSAVED;
        REQUIRE(SaveEffect(&in.host, nullptr, FXSV_TEXT, buf.data()));
        CHECK((in.e()->flags & (FXE_UNWRITTEN | FXE_UNSAVED)) == 0);
        Instance other;
        other.e()->flags |= FXE_UNSAVED;
        REQUIRE(LoadEffect(&other.host, nullptr, FXL_TEXT, buf.data()));
        CHECK(Text(other.e()) == before);
        CHECK((other.e()->flags & (FXE_UNWRITTEN | FXE_UNSAVED)) == 0);
        CHECK(LoadEffect(&other.host, nullptr, FXL_TEXT, nullptr) == 0);
        CHECK(LoadEffect(&other.host, nullptr, 8, buf.data()) == 0);
        CHECK(SaveEffect(&other.host, nullptr, 4, buf.data()) == 0);
        CHECK(SaveEffect(&other.host, nullptr, 0, buf.data()) == 0);
    }
    DeleteFileA(path);
}

TEST_CASE("buffered files: saved and loaded through the buffered-file library", "[text][buffered]")
{
    REQUIRE(FxBindStolid() == 1);
    HMODULE dll = GetModuleHandleA("stolid.dll");
    auto setMem =
        reinterpret_cast<FxBufferedFile *(__cdecl *)(void *, int, int, int)>(GetProcAddress(dll, "bfSetMem"));
    auto seek = reinterpret_cast<int(__cdecl *)(FxBufferedFile *, int, int)>(GetProcAddress(dll, "bfSeek"));
    auto destroy = reinterpret_cast<void(__cdecl *)(FxBufferedFile *)>(GetProcAddress(dll, "bfDestroy"));
    REQUIRE(setMem);
    REQUIRE(seek);
    REQUIRE(destroy);

    Instance in;
    Shape(in.e());
    std::string before = Text(in.e());
    FxBufferedFile *f = setMem(nullptr, 0, 0, 4);
    REQUIRE(f);
    in.e()->flags |= FXE_UNWRITTEN | FXE_UNSAVED;
    REQUIRE(SaveEffect(&in.host, nullptr, FXSV_BUFFERED, f));
    CHECK((in.e()->flags & (FXE_UNWRITTEN | FXE_UNSAVED)) == 0);
    seek(f, 0, 0);
    Instance other;
    REQUIRE(LoadEffect(&other.host, nullptr, FXL_BUFFERED, f));
    CHECK(Text(other.e()) == before);
    CHECK(std::string(other.e()->header.description) == "Slide in");
    CHECK((other.e()->flags & FXE_UNWRITTEN) == 0);
    destroy(f);
    CHECK(SaveEffect(&in.host, nullptr, FXSV_BUFFERED, nullptr) == 0);
    CHECK(LoadEffect(&in.host, nullptr, FXL_BUFFERED, nullptr) == 0);
}

TEST_CASE("header flags fill the high half of the flag word", "[text]")
{
    Instance in;
    in.e()->flags |= 0x30000;
    const char *kinds[] = { "plain", "foreign" };
    for (int foreign = 0; foreign < 2; ++foreign) {
        CAPTURE(kinds[foreign]);
        std::vector<char> buf(FxBlockSize(&in.host, in.e()));
        REQUIRE(SaveEffect(&in.host, nullptr, FXSV_TEXT, buf.data()));
        Instance other;
        REQUIRE(LoadEffect(&other.host, nullptr, FXL_TEXT | (foreign ? FXL_FOREIGN : 0), buf.data()));
        CHECK((other.e()->flags & 0xFFFF0000u) == (foreign ? 0x10000u : 0x30000u));
    }
}

TEST_CASE("new and reset effects", "[new]")
{
    Instance in;
    FxEffect *e = in.e();
    CHECK(e->flags == FXE_NEW);
    CHECK(e->currentFrame == 1);
    CHECK(e->thumbnailFrame == -1);
    CHECK(e->header.size == 112);
    CHECK(e->header.version == 2);
    CHECK(e->header.flags == 7);
    CHECK(e->header.textOffset == 112);
    CHECK(e->header.timeStamp == 0xFFFFFFFFu);
    CHECK(e->header.cardId == 0xFFFF);
    CHECK((e->first->pathFlags & 0x1) != 0);
    CHECK((e->first->head->flags & 0x1000000) != 0);

    FxEffectHost embed{};
    embed.hostKind = FX_HOST_KIND_EMBED;
    FxEffect *x = NewEffect(&embed, 0);
    CHECK(((x->flags >> 28) & 3) == 1);
    DeleteEffect(x);

    SECTION("the view gets its flag word from the instance")
    {
        static uint32_t asked;
        FxEffectHost h{};
        h.personalityViewFlags = 0x2 | 0x200;
        h.options = 0x4 | 0x20 | 0x800 | 0x1000;
        h.fieldOption = 1;
        h.hostKind = FX_HOST_KIND_EMBED;
        h.hooks.createView = [](FxEffectHost *, uint32_t flags) -> FxView * {
            asked = flags;
            return static_cast<FxView *>(calloc(1, sizeof(FxView)));
        };
        FxEffect *v = NewEffect(&h, 1);
        REQUIRE(v);
        CHECK(asked == (0x2u | 0x20 | 0x10 | 0x40 | 0x1 | 0x40000 | 0x8000 | 0x100000));
        CHECK((v->flags & FXE_NO_REALTIME) != 0);
        DeleteEffect(v);
        h.hooks.createView = [](FxEffectHost *, uint32_t) -> FxView * { return nullptr; };
        CHECK(NewEffect(&h, 1) == nullptr);
    }
    SECTION("mode 0 replaces the effect with an empty one")
    {
        Shape(e);
        strcpy(e->fileName, "old.fx");
        REQUIRE(LoadEffect(&in.host, nullptr, FXL_NEW, nullptr));
        CHECK(in.e() != e);
        CHECK(in.e()->fileName[0] == 0);
        CHECK(in.e()->header.cardId == 0xFFFF);
        CHECK(CountPaths(in.e()->first) == 1);
    }
    SECTION("mode 4 asks first")
    {
        HHOOK hook = SetWindowsHookExA(WH_CBT, AnswerBox, nullptr, GetCurrentThreadId());
        Shape(e);
        g_answer = IDNO;
        CHECK(LoadEffect(&in.host, nullptr, FXL_RESET, nullptr) == 0);
        CHECK(in.e() == e);
        g_answer = IDYES;
        CHECK(LoadEffect(&in.host, nullptr, FXL_RESET, nullptr) == 1);
        CHECK(in.e() != e);
        CHECK(CountPaths(in.e()->first) == 1);
        CHECK((in.e()->flags & FXE_UNSAVED) != 0);
        UnhookWindowsHookEx(hook);
    }
}

TEST_CASE("merging appends the loaded paths when the instance allows it", "[merge]")
{
    Instance in;
    Shape(in.e());
    std::vector<char> buf(FxBlockSize(&in.host, in.e()));
    REQUIRE(SaveEffect(&in.host, nullptr, FXSV_TEXT, buf.data()));
    FxEffect *was = in.e();
    REQUIRE(LoadEffect(&in.host, nullptr, FXL_TEXT | FXL_MERGE, buf.data()));
    CHECK(in.e() != was);   // no merge option: replaced
    CHECK(CountPaths(in.e()->first) == 1);
    in.host.mergeOption = 1;
    was = in.e();
    REQUIRE(LoadEffect(&in.host, nullptr, FXL_TEXT | FXL_MERGE, buf.data()));
    CHECK(in.e() == was);
    CHECK(CountPaths(in.e()->first) == 2);
}

TEST_CASE("the realtime link follows the view from the old effect to the new", "[view]")
{
    static int registered, unregistered;
    registered = unregistered = 0;
    Instance in;
    in.host.hooks.rendererPaths = [](FxEffectHost *, FxEffect *, int reg) { ++(reg ? registered : unregistered); };
    FxView *view = static_cast<FxView *>(calloc(1, sizeof(FxView)));
    view->virtualWidth = 720;
    view->virtualHeight = 576;
    view->scaleX = view->scaleY = 1;
    static FxRendererLink link{};
    view->link = &link;
    in.e()->view = view;
    REQUIRE(LoadEffect(&in.host, nullptr, FXL_NEW, nullptr));
    CHECK(in.e()->view == view);
    CHECK(view->link == &link);   // not personality 0: always put back
    CHECK(unregistered == 1);
    CHECK(registered == 1);
    view->link = nullptr;
}

namespace {

int g_objectsOption;
void *g_objectsRecord;
int32_t g_objectsStamp;
void AddObjects(FxEffectHost *, FxEffect *e, void *record, int option)
{
    g_objectsOption = option;
    g_objectsRecord = record;
    e->animationRecord = g_objectsStamp;
}

int g_meshes;
void EnableMeshes(FxEffectHost *, int on) { g_meshes += on; }

int g_placements;
void PlaceDve(FxEffectHost *) { ++g_placements; }

}  // namespace

TEST_CASE("animation personalities take the host's animation-data record", "[block][host]")
{
    static char record[16] = "anim";
    Instance in;
    in.host.personality = 3;
    in.host.hooks.addAnimationObjects = AddObjects;
    g_objectsOption = 0;
    g_objectsRecord = nullptr;
    std::vector<uint8_t> b = FixtureBlock();
    g_host.stored = b;
    g_host.haveStored = true;
    g_host.animationRecord = reinterpret_cast<uintptr_t>(record);

    SECTION("with a parsed block: option 2; render information newer than both stamps")
    {
        in.e()->renderTimeStamp = 0;
        g_objectsStamp = 5;
        // The fixture's script header gives no render time stamp; the block's
        // effect stamp is 1700000000, so the render information is stale.
        REQUIRE(LoadEffect(&in.host, nullptr, FXL_HOST, nullptr) == 1);
        CHECK(g_objectsOption == 2);
        CHECK(g_objectsRecord == record);
        CHECK((in.e()->flags & FXE_FROM_HOST) != 0);
        CHECK((in.e()->flags & (FXE_RENDER_STALE | FXE_UNSTORED)) == (FXE_RENDER_STALE | FXE_UNSTORED));
        CHECK(g_host.loadedNotices == 2);
        CHECK(g_host.lastLoaded == record);
    }
    SECTION("the same stamp again: option 3, and fresh render information clears 0x8")
    {
        REQUIRE(LoadEffect(&in.host, nullptr, FXL_HOST, nullptr) == 1);
        FxEffect *e = in.e();
        e->renderTimeStamp = 1800000000;
        g_objectsStamp = 7;
        REQUIRE(LoadEffect(&in.host, nullptr, FXL_HOST, nullptr) == 1);
        CHECK(in.e() == e);
        CHECK(g_objectsOption == 3);
        CHECK((e->flags & FXE_RENDER_STALE) == 0);
    }
    SECTION("other personalities do not ask")
    {
        in.host.personality = 1;
        REQUIRE(LoadEffect(&in.host, nullptr, FXL_HOST, nullptr) == 1);
        CHECK(g_objectsRecord == nullptr);
        CHECK(g_host.loadedNotices == 1);
    }
}

TEST_CASE("the DVE placement flag travels in bit 31 of host blocks", "[block][host][dve]")
{
    struct Case { int personality; bool follows; } cases[] = { { 1, true }, { 7, true }, { 2, false } };
    for (const Case &c : cases) {
        CAPTURE(c.personality);
        Instance in;
        in.host.personality = c.personality;
        in.host.hostKind = FX_HOST_KIND_PLAIN;
        in.host.hooks.placeDve = PlaceDve;
        g_placements = 0;
        g_fxDvePlacement = 0;
        std::vector<uint8_t> b = FixtureBlock();
        Put32(b, 4, 0x80000000u);
        g_host.stored = b;
        g_host.haveStored = true;
        REQUIRE(LoadEffect(&in.host, nullptr, FXL_HOST, nullptr) == 1);
        CHECK(g_fxDvePlacement == (c.follows ? 1 : 0));
        CHECK(g_placements == (c.follows ? 1 : 0));

        // Written back by the host save for the same personalities.
        g_fxDvePlacement = 1;
        REQUIRE(SaveEffect(&in.host, nullptr, FXSV_HOST, nullptr));
        uint32_t flags = reinterpret_cast<const FxEffectBlock *>(g_host.put.data())->flags;
        CHECK(((flags & 0x80000000u) != 0) == c.follows);

        // A block of an unknown version still carries the flag.
        Put16(g_host.stored, 2, 3);
        Put32(g_host.stored, 4, 0);
        Put32(g_host.stored, 28, 99);
        CHECK(LoadEffect(&in.host, nullptr, FXL_HOST, nullptr) == 0);
        CHECK(g_fxDvePlacement == (c.follows ? 0 : 1));
        g_fxDvePlacement = 0;
    }
}

TEST_CASE("personality 0 turns meshes on by option or by the host's version", "[block][mesh]")
{
    struct Case { uint32_t options; uintptr_t version; int meshes; } cases[] = {
        { FXO_MESHES, 0, 1 },
        { 0, 0x05040000, 1 },
        { 0, 0x05030000, -1 },   // the settings file decides
        { 0, 0x04090000, -1 },
    };
    char dir[MAX_PATH], ini[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "fxi", 0, ini);
    for (const Case &c : cases) {
        CAPTURE(c.options, c.version);
        Instance in;
        in.host.personality = 0;
        in.host.options = c.options;
        in.host.hooks.enableMeshes = EnableMeshes;
        strcpy(in.host.settingsFile, ini);   // empty: no meshes from the file
        g_host.version = c.version;
        g_meshes = 0;
        REQUIRE(LoadEffect(&in.host, nullptr, FXL_NEW, nullptr) == 1);
        CHECK(g_meshes == (c.meshes == 1 ? 1 : 0));
    }
    DeleteFileA(ini);
}
