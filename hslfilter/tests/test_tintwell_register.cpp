// Tintwell's registration: server and filter entries, the filter mapper's
// view of it, unregistering and registering again with regsvr32, and the
// version resource.
#include <catch2/catch.hpp>
#include "dshow_test.h"
#include "ihsleffect.h"
#include <cstdlib>
#include <string>
#include <vector>

using namespace corvtest;

namespace {

const WCHAR kServerKey[] = L"CLSID\\{DC8FE185-7122-484D-B823-2D0DBA2FE528}";
const WCHAR kInstanceKey[] =
    L"CLSID\\{083863F1-70DE-11d0-BD40-00A0C911CE86}\\Instance\\{DC8FE185-7122-484D-B823-2D0DBA2FE528}";

bool KeyExists(const WCHAR* path) {
    HKEY k;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &k)) return false;
    RegCloseKey(k);
    return true;
}

std::u16string ReadString(const WCHAR* path, const WCHAR* value) {
    WCHAR buf[512] = {};
    DWORD size = sizeof(buf) - sizeof(WCHAR), type = 0;
    HKEY k;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &k)) return u"<missing key>";
    const LONG r = RegQueryValueExW(k, value, nullptr, &type, (BYTE*)buf, &size);
    RegCloseKey(k);
    if (r || type != REG_SZ) return u"<missing value>";
    return std::u16string((const char16_t*)buf);
}

std::vector<BYTE> ReadBinary(const WCHAR* path, const WCHAR* value) {
    std::vector<BYTE> buf(4096);
    DWORD size = (DWORD)buf.size(), type = 0;
    HKEY k;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &k)) return {};
    const LONG r = RegQueryValueExW(k, value, nullptr, &type, buf.data(), &size);
    RegCloseKey(k);
    if (r || type != REG_BINARY) return {};
    buf.resize(size);
    return buf;
}

DWORD Dword(const std::vector<BYTE>& b, size_t off) {
    DWORD v = 0;
    if (off + 4 <= b.size()) memcpy(&v, &b[off], 4);
    return v;
}

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

// Does the filter mapper list Tintwell at or above |merit|?
bool MapperFinds(DWORD merit) {
    ComPtr<IFilterMapper2> mapper;
    REQUIRE(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                             mapper.PutVoid()) == S_OK);
    ComPtr<IEnumMoniker> e;
    if (mapper->EnumMatchingFilters(e.Put(), 0, FALSE, merit, FALSE, 0, nullptr, nullptr, nullptr, FALSE, FALSE, 0,
                                    nullptr, nullptr, nullptr) != S_OK)
        return false;
    IMoniker* m = nullptr;
    bool found = false;
    while (!found && e->Next(1, &m, nullptr) == S_OK) {
        ComPtr<IMoniker> mon(m);
        ComPtr<IPropertyBag> bag;
        if (FAILED(mon->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid()))) continue;
        VARIANT v;
        VariantInit(&v);
        if (SUCCEEDED(bag->Read(L"CLSID", &v, nullptr)) && V_VT(&v) == VT_BSTR) {
            CLSID c;
            if (SUCCEEDED(CLSIDFromString(V_BSTR(&v), &c)) && IsEqualCLSID(c, CLSID_TintwellFilter)) found = true;
        }
        VariantClear(&v);
    }
    return found;
}

DWORD RunRegsvr32(const std::u16string& args) {
    std::u16string cmd = u"regsvr32.exe /s " + args;
    std::vector<WCHAR> line(cmd.begin(), cmd.end());
    line.push_back(0);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return ~0u;
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = ~0u;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return code;
}

std::u16string Sub(const WCHAR* key, const char16_t* sub) { return std::u16string((const char16_t*)key) + sub; }

}  // namespace

TEST_CASE("registered: server keys, and a filter entry with merit 0x200000 and two pins that the mapper finds") {
    ComInit com;
    const std::u16string inproc = Sub(kServerKey, u"\\InprocServer32");
    CHECK(Narrow(ReadString(kServerKey, nullptr)) == "Tintwell Filter");
    const std::u16string path = ReadString((const WCHAR*)inproc.c_str(), nullptr);
    INFO("server path " << Narrow(path));
    REQUIRE(path.size() > 12);
    CHECK(lstrcmpiW((const WCHAR*)path.c_str() + path.size() - 12, L"\\Tintwell.ax") == 0);
    CHECK(Narrow(ReadString((const WCHAR*)inproc.c_str(), L"ThreadingModel")) == "Both");

    CHECK(Narrow(ReadString(kInstanceKey, L"FriendlyName")) == "Tintwell Filter");
    CHECK(Narrow(ReadString(kInstanceKey, L"CLSID")) == "{DC8FE185-7122-484D-B823-2D0DBA2FE528}");
    const std::vector<BYTE> data = ReadBinary(kInstanceKey, L"FilterData");
    REQUIRE(data.size() >= 16);
    CHECK(Dword(data, 4) == 0x200000);  // merit
    CHECK(Dword(data, 8) == 2);         // pins
    // Each pin: signature, flags, instances, media type count, mediums, category;
    // then its media types (16 bytes each).
    const size_t pin1 = 16, pin2 = pin1 + 24 + 16 * Dword(data, pin1 + 12);
    CHECK(Dword(data, pin1 + 4) == 0);                     // input, not rendered, not zero, not many
    CHECK(Dword(data, pin2 + 4) == REG_PINFLAG_B_OUTPUT);  // output
    CHECK(Dword(data, pin1 + 12) == 1);
    CHECK(Dword(data, pin2 + 12) == 1);

    CHECK(MapperFinds(0x200000));
    CHECK_FALSE(MapperFinds(0x200001));
}

// Runs only in a prefix of its own (tests/private_prefix.sh): other tests
// running meanwhile in the shared prefix need the filter registered.
TEST_CASE("regsvr32 /u removes the server and filter entries; regsvr32 adds them again", "[.private]") {
    ComInit com;
    if (!getenv("CORV_PRIVATE_PREFIX")) {
        WARN("skipped: needs a prefix of its own");
        return;
    }
    const std::u16string inproc = Sub(kServerKey, u"\\InprocServer32");
    const std::u16string path = ReadString((const WCHAR*)inproc.c_str(), nullptr);
    REQUIRE(KeyExists(kServerKey));
    REQUIRE(KeyExists(kInstanceKey));

    REQUIRE(RunRegsvr32(u"/u \"" + path + u"\"") == 0);
    CHECK_FALSE(KeyExists(kServerKey));
    CHECK_FALSE(KeyExists(kInstanceKey));
    CHECK_FALSE(MapperFinds(0x200000));
    IBaseFilter* f = nullptr;
    CHECK(FAILED(CoCreateInstance(CLSID_TintwellFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)&f)));

    REQUIRE(RunRegsvr32(u"\"" + path + u"\"") == 0);
    CHECK(KeyExists(kServerKey));
    CHECK(KeyExists(kInstanceKey));
    CHECK(MapperFinds(0x200000));
    REQUIRE(CoCreateInstance(CLSID_TintwellFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)&f) ==
            S_OK);
    f->Release();
}

TEST_CASE("version resource: Tintwell Filter, ActiveMovie filter dll, self-registering") {
    HMODULE m = LoadLibraryW(L"Tintwell.ax");
    REQUIRE(m);
    HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(VS_VERSION_INFO), (LPCWSTR)RT_VERSION);
    REQUIRE(r);
    const DWORD size = SizeofResource(m, r);
    const void* res = LockResource(LoadResource(m, r));
    REQUIRE(res);
    std::vector<BYTE> copy((const BYTE*)res, (const BYTE*)res + size);
    struct Lang { WORD lang, codepage; }* lang = nullptr;
    UINT len = 0;
    REQUIRE(VerQueryValueW(copy.data(), L"\\VarFileInfo\\Translation", (void**)&lang, &len));
    REQUIRE(len >= sizeof(Lang));
    auto query = [&](const WCHAR* name) -> std::string {
        WCHAR key[128];
        wsprintfW(key, L"\\StringFileInfo\\%04x%04x\\%s", lang->lang, lang->codepage, name);
        WCHAR* v = nullptr;
        UINT n = 0;
        if (!VerQueryValueW(copy.data(), key, (void**)&v, &n)) return "<missing>";
        return Narrow(std::u16string((const char16_t*)v));
    };
    CHECK(query(L"FileDescription") == "Tintwell Filter");
    CHECK(query(L"ActiveMovie") == "Filter dll");
    CHECK(query(L"OLESelfRegister") == "");
    FreeLibrary(m);
}
