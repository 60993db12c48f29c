// Output requests: the wireframe dump into a named file and realtime DVE
// descriptions into a host's compound file, through FXNotify in both
// record forms; refused records leave the destination untouched.
#include <catch2/catch.hpp>

#include <cstring>
#include <string>
#include <vector>

#include "fxhost_host.h"
#include "fxrender.h"
#include "fxrtdve.h"
#include "fxedit.h"
#include "fxmeshreg.h"

using namespace fxtest;

namespace {

std::string TempName(const char *prefix)
{
    char dir[MAX_PATH], name[MAX_PATH];
    REQUIRE(GetTempPathA(MAX_PATH, dir));
    REQUIRE(GetTempFileNameA(dir, prefix, 0, name));
    DeleteFileA(name);
    return name;
}

bool Exists(const std::string &name)
{
    return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadAll(const std::string &name)
{
    HANDLE f = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return "<missing>";
    std::string s(GetFileSize(f, nullptr), '\0');
    DWORD got = 0;
    if (!s.empty()) ReadFile(f, &s[0], DWORD(s.size()), &got, nullptr);
    CloseHandle(f);
    s.resize(got);
    return s;
}

// A host with the PAL format and an effect of two objects held over frames
// 1 and 2: a quarter of the frame's size centred, then one filling it.
struct TwoObjects {
    TestHost host;
    TwoObjects()
    {
        host.PalFormat();
        REQUIRE(host.Attach() == 1);
        FxEffect *e = FxCurrentEffect(host.Instance());
        REQUIRE(e);
        REQUIRE(e->first);
        FxPath *last = e->first;
        while (last->next) last = last->next;
        REQUIRE(AppendNewPath(&last));
        Place(e->first, 180, 144);
        Place(e->first->next, 720, 576);
    }
    static void Place(FxPath *p, int w, int h)
    {
        FxKeyframe *kf = p->head;
        REQUIRE(kf);
        kf->startFrame = kf->startTime = 1;
        kf->delay = 1;
        kf->endFrame = kf->endTime = 2;
        SetKeyframeSize(kf, w, h);
        kf->position[0] = kf->position[1] = 0;
        kf->position[2] = 1000;
        kf->flags &= ~KF_HIDDEN;
    }
};

const char *const kExpectedWireframe =
    "DVEv0x100 Tarvo Works Technologies Inc\r\n\r\n"
    "WireFrame Render: (2, 2)\r\n\r\n"
    "Field 1 {\r\n\t1: rect 0.3750, 0.3750, 0.2500, 0.2500\r\n}\r\n"
    "Field 1 {\r\n\t1: rect 0.0000, 0.0000, 1.0000, 1.0000\r\n}\r\n"
    "Field 2 {\r\n\t1: rect 0.3750, 0.3750, 0.2500, 0.2500\r\n}\r\n"
    "Field 2 {\r\n\t1: rect 0.0000, 0.0000, 1.0000, 1.0000\r\n}\r\n"
    "\r\n// End of WireFrame Render\r\n";

// The host's compound file, with a class of its own.
const CLSID kHostClass = {0x5EED0001, 0x0203, 0x0405, {6, 7, 8, 9, 10, 11, 12, 13}};

struct Docfile {
    WCHAR path[MAX_PATH] = {};
    IStorage *root = nullptr;
    Docfile()
    {
        WCHAR dir[MAX_PATH];
        REQUIRE(GetTempPathW(MAX_PATH, dir));
        REQUIRE(GetTempFileNameW(dir, L"fxo", 0, path));
        REQUIRE(SUCCEEDED(StgCreateDocfile(path, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &root)));
        REQUIRE(SUCCEEDED(root->SetClass(kHostClass)));
    }
    ~Docfile()
    {
        if (root) root->Release();
        DeleteFileW(path);
    }
    // Closes the file and opens it again for reading, as another program would.
    void Reopen()
    {
        root->Commit(STGC_DEFAULT);
        root->Release();
        root = nullptr;
        REQUIRE(SUCCEEDED(StgOpenStorage(path, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &root)));
    }
    bool Has(const WCHAR *name)
    {
        IStorage *sub = nullptr;
        if (FAILED(root->OpenStorage(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &sub))) return false;
        sub->Release();
        return true;
    }
    std::vector<uint8_t> Read(const WCHAR *storage, const WCHAR *stream, CLSID *cls = nullptr)
    {
        std::vector<uint8_t> out;
        IStorage *sub = nullptr;
        if (FAILED(root->OpenStorage(storage, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &sub)))
            return out;
        if (cls) {
            STATSTG st = {};
            sub->Stat(&st, STATFLAG_NONAME);
            *cls = st.clsid;
        }
        IStream *s = nullptr;
        if (SUCCEEDED(sub->OpenStream(stream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s))) {
            uint8_t buf[4096];
            ULONG got = 0;
            while (SUCCEEDED(s->Read(buf, sizeof buf, &got)) && got) out.insert(out.end(), buf, buf + got);
            s->Release();
        }
        sub->Release();
        return out;
    }
};

uint32_t Word(const std::vector<uint8_t> &b, size_t at)
{
    uint32_t v = 0;
    if (at + 4 <= b.size()) std::memcpy(&v, &b[at], 4);
    return v;
}

}  // namespace

TEST_CASE("The wireframe request writes every frame's objects into the named file", "[requests][wireframe]")
{
    TwoObjects fx;
    const std::string name = TempName("wfr");

    SECTION("current form")
    {
        FxRequest r = Current(FXD_WIREFRAME, FXM_TEXT, const_cast<char *>(name.c_str()));
        CHECK(fx.host.Send(FXN_REQUEST, FXP_TRANSFER, &r) == 1);
        CHECK(ReadAll(name) == kExpectedWireframe);
        // A second dump replaces the file rather than appending to it.
        CHECK(fx.host.Send(FXN_REQUEST, FXP_TRANSFER, &r) == 1);
        CHECK(ReadAll(name) == kExpectedWireframe);
    }
    SECTION("old form")
    {
        FxRequestOld r = {};
        r.data = const_cast<char *>(name.c_str());
        r.code = FXD_WIREFRAME;
        r.unit = FXM_TEXT;
        CHECK(fx.host.Send(FXN_REQUEST, FXP_TRANSFER, &r) == 1);
        CHECK(ReadAll(name) == kExpectedWireframe);
        CHECK(r.code == FXD_WIREFRAME);
    }
    SECTION("refused records write nothing")
    {
        FxRequest wrongUnit = Current(FXD_WIREFRAME, FXM_WIDE, const_cast<char *>(name.c_str()));
        CHECK(fx.host.Send(FXN_REQUEST, FXP_TRANSFER, &wrongUnit) == 0);
        FxRequest sizeOnly = Current(FXD_WIREFRAME, FXM_TEXT, const_cast<char *>(name.c_str()));
        CHECK(fx.host.Send(FXN_REQUEST, FXP_SIZE, &sizeOnly) == 0);
        CHECK(sizeOnly.second == 0);
        FxRequest receive = Current(FXD_WIREFRAME, FXM_TEXT, const_cast<char *>(name.c_str()));
        CHECK(fx.host.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &receive) == 0);
        CHECK_FALSE(Exists(name));

        FxRequest none = Current(FXD_WIREFRAME, FXM_TEXT);
        CHECK(fx.host.Send(FXN_REQUEST, FXP_TRANSFER, &none) == 0);
        const std::string nowhere = name + "\\missing\\dump.dve";
        FxRequest bad = Current(FXD_WIREFRAME, FXM_TEXT, const_cast<char *>(nowhere.c_str()));
        CHECK(fx.host.Send(FXN_REQUEST, FXP_TRANSFER, &bad) == 0);
        CHECK_FALSE(Exists(nowhere));
    }
    SECTION("a name without its end within a path's length is refused")
    {
        // The name runs up to an inaccessible page.
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        auto *pages = static_cast<char *>(VirtualAlloc(nullptr, 2 * si.dwPageSize, MEM_RESERVE | MEM_COMMIT,
                                                       PAGE_READWRITE));
        REQUIRE(pages);
        DWORD old;
        REQUIRE(VirtualProtect(pages + si.dwPageSize, si.dwPageSize, PAGE_NOACCESS, &old));
        char *tail = pages + si.dwPageSize - 8;
        std::memset(tail, 'a', 8);
        FxRequest r = Current(FXD_WIREFRAME, FXM_TEXT, tail);
        CHECK(fx.host.Send(FXN_REQUEST, FXP_TRANSFER, &r) == 0);
        std::vector<char> longName(MAX_PATH + 8, 'b');
        longName.back() = 0;
        FxRequest tooLong = Current(FXD_WIREFRAME, FXM_TEXT, longName.data());
        CHECK(fx.host.Send(FXN_REQUEST, FXP_TRANSFER, &tooLong) == 0);
        VirtualFree(pages, 0, MEM_RELEASE);
    }
    DeleteFileA(name.c_str());
}

TEST_CASE("Realtime parameter requests describe the effect in the host's compound file", "[requests][realtime]")
{
    TwoObjects fx;
    // The host's duration: three frames.
    REQUIRE(fx.host.Send(FXN_STATE, 9, reinterpret_cast<void *>(uintptr_t(3))) == 1);
    Docfile doc;

    SECTION("layered description (2D), current form")
    {
        FxRequest r = Current(FXD_REALTIME_PARAMS_2D, FXM_PARAMS, doc.root);
        CHECK(fx.host.Send(FXN_REQUEST, FXP_TRANSFER, &r) == 1);
        doc.Reopen();
        CLSID cls = {};
        const std::vector<uint8_t> head = doc.Read(L"2D-DVE", L"FX_HEADER", &cls);
        CHECK(cls == kHostClass);
        REQUIRE(head.size() >= 60);
        // 25 frames a second are counted as 50 fields; three frames.
        CHECK(Word(head, 40) == 1);
        CHECK(Word(head, 44) == 50);
        CHECK(Word(head, 48) == 3);
        const std::vector<uint8_t> dve = doc.Read(L"2D-DVE", L"FX_DATA");
        REQUIRE(dve.size() == 3 * 48);
        // Object 1 (the only one described) sits at 3/8 of the frame
        // with a quarter of its size, as 8.24 fractions, in every frame.
        for (size_t f = 0; f < 3; ++f) {
            CHECK(Word(dve, f * 48 + 4) == 0x600000);
            CHECK(Word(dve, f * 48 + 8) == 0x600000);
            CHECK(Word(dve, f * 48 + 12) == 0x400000);
            CHECK(Word(dve, f * 48 + 16) == 0x400000);
        }
        CHECK(doc.Read(L"TBC", L"FX_DATA").size() == 3 * 8);
        CHECK_FALSE(doc.Has(L"Wishkit.DVE 1"));
    }
    SECTION("matrix description (3D), old form")
    {
        FxRequestOld r = {};
        r.data = doc.root;
        r.code = FXD_REALTIME_PARAMS;
        r.unit = FXM_PARAMS;
        CHECK(fx.host.Send(FXN_REQUEST, FXP_TRANSFER, &r) == 1);
        doc.Reopen();
        CLSID cls = {};
        const std::vector<uint8_t> head = doc.Read(L"Wishkit.DVE 1", L"FX_HEADER", &cls);
        CHECK(cls == kHostClass);
        REQUIRE(head.size() >= 60 + 72 + RT_FORMAT_SIZE);
        CHECK(Word(head, 48) == 3);
        CHECK(Word(head, 52) == RT_SAMPLE_SIZE);
        CHECK(doc.Read(L"Wishkit.DVE 1", L"FX_DATA").size() == 3 * RT_SAMPLE_SIZE);
        CHECK_FALSE(doc.Has(L"2D-DVE"));
    }
    SECTION("refused records leave the file empty")
    {
        FxRequest text = Current(FXD_REALTIME_PARAMS, FXM_TEXT, doc.root);
        CHECK(fx.host.Send(FXN_REQUEST, FXP_TRANSFER, &text) == 0);
        FxRequest size = Current(FXD_REALTIME_PARAMS_2D, FXM_PARAMS, doc.root);
        CHECK(fx.host.Send(FXN_REQUEST, FXP_SIZE, &size) == 0);
        FxRequest none = Current(FXD_REALTIME_PARAMS_2D, FXM_PARAMS);
        CHECK(fx.host.Send(FXN_REQUEST, FXP_TRANSFER, &none) == 0);
        doc.Reopen();
        CHECK_FALSE(doc.Has(L"2D-DVE"));
        CHECK_FALSE(doc.Has(L"Wishkit.DVE 1"));
    }
}

TEST_CASE("A loaded block is fitted to the host's length; a recent host switches the mesh effects on",
          "[requests][hooks]")
{
    TestHost source;
    REQUIRE(source.Attach() == 1);
    FxRequest text = Current(FXD_EFFECT_TEXT, FXM_TEXT,
                             const_cast<char *>("Path 1: Keyframe 1.1 { at frame 1 } Path 2: Keyframe 2.1 { at frame 4 }"));
    REQUIRE(source.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &text) == 1);
    FxRequest out = Current(FXD_EFFECT_BLOCK, FXM_WIDE);
    REQUIRE(source.Send(FXN_REQUEST, FXP_PREPARE | FXP_TRANSFER, &out) == 1);
    const std::vector<uint8_t> block(static_cast<uint8_t *>(out.data), static_cast<uint8_t *>(out.data) + out.second);
    source.Send(FXN_REQUEST, FXP_RELEASE, &out);

    TestHost host;
    host.version = 0x05040000;   // new enough to render meshes itself
    REQUIRE(host.Attach() == 1);
    REQUIRE(host.Send(FXN_STATE, 9, reinterpret_cast<void *>(uintptr_t(8))) == 1);
    g_fxEnumMeshEffects = nullptr;
    FxRequest in = Current(FXD_EFFECT_BLOCK, FXM_WIDE, const_cast<uint8_t *>(block.data()), block.size());
    REQUIRE(host.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &in) == 1);
    FxEffect *e = FxCurrentEffect(host.Instance());
    REQUIRE(e);
    CHECK(e->endFrame == 8);
    // Scaled (the default method): the last keyframe moves from 4 to 8.
    CHECK(GetEffectLastFrame(e->first) == 8);
    CHECK(e->first->head->startFrame == 1);
    CHECK(g_fxEnumMeshEffects == EnumerateMeshEffects);
}
