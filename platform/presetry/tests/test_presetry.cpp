/*
 * The encoder-profile library: codecs and formats, a profile built pair by
 * pair, saved and read back equal, refused pairs and bad files.
 */
#include <catch2/catch.hpp>
#include <windows.h>
#include <string>
#include <cstring>
#include "presetry.h"

namespace {

std::string Narrow(const WCHAR *w)
{
    std::string s;
    for (; w && *w; ++w) s += (char)*w;
    return s;
}

std::u16string TempPath(const char16_t *name)
{
    WCHAR dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    return std::u16string(reinterpret_cast<const char16_t *>(dir)) + name;
}

bool Same(GUID a, const GUID &b) { return memcmp(&a, &b, sizeof(GUID)) == 0; }

const WCHAR *W(const std::u16string &s) { return reinterpret_cast<const WCHAR *>(s.c_str()); }

void WriteBytes(const std::u16string &path, const void *data, size_t size)
{
    HANDLE f = CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(f != INVALID_HANDLE_VALUE);
    DWORD done = 0;
    WriteFile(f, data, (DWORD)size, &done, nullptr);
    CloseHandle(f);
}

} // namespace

TEST_CASE("Presetry answers its codecs and audio formats", "[presetry]")
{
    REQUIRE(InitWMProfile() == S_OK);
    REQUIRE(WM9InitCodecInfo() == S_OK);
    REQUIRE(WM9GetAudioCodecCount() == 2);
    CHECK(Narrow(WM9GetAudioCodecName(0)) == "Windows Media Audio 8");
    CHECK(WM9GetAudioCodecName(2) == nullptr);
    REQUIRE(WM9GetVideoCodecCount() == 2);
    CHECK(Narrow(WM9GetVideoCodecName(1)) == "Windows Media Video 7");
    CHECK(WM9GetNumberOfFormatsSupported(PRESETRY_AUDIO_MAJOR, 0, 0, 0) == 12);
    CHECK(WM9GetNumberOfFormatsSupported(PRESETRY_AUDIO_MAJOR, 0, 1, 1) == 0);
    CHECK(WM9GetNumberOfFormatsSupported(PRESETRY_AUDIO_MAJOR, 0, 1, 2) == 0);
    CHECK(WM9GetNumberOfFormatsSupported(PRESETRY_AUDIO_MAJOR, 5, 0, 0) == 0);
    CHECK(WM9GetNumberOfFormatsSupported(GUID{}, 0, 0, 0) == 0);
    CHECK(Narrow(WM9GetAudioFormatName(0, 2)) == "128 kbps, 44.1 kHz, stereo CBR");
    CHECK(Narrow(WM9GetAudioFormatName(0, 11)) == "16 kbps, 16 kHz, mono CBR");
    CHECK(WM9GetAudioFormatName(0, 12) == nullptr);
    CHECK(WM9GetAudioBitrate(0, 2) == 128000);
    CHECK(WM9GetAudioBitrate(0, -1) == 0);
    CHECK(ReleaseWMProfile() == S_OK);
}

TEST_CASE("A profile of two pairs is saved as .prx and read back equal", "[presetry]")
{
    std::u16string path = TempPath(u"presetry pairs.prx");
    REQUIRE(InitWMProfile() == S_OK);
    REQUIRE(WM9CreateProfileManager() == S_OK);
    REQUIRE(WM9AddStreamsToProfile(0, 0, 0, 0, 2, 5000, 400000, 640, 480, 29.97f, 80, 8, 0x0409) == S_OK);
    REQUIRE(WM9AddStreamsToProfile(1, 1, 0, 0, 9, 3000, 100000, 320, 240, 15.0f, 40, 4, 0x0409) == S_OK);
    CHECK(WM9AddMutualExclusion(2) == S_OK);
    CHECK(WM9AddStreamPrioritization(2) == S_OK);
    std::u16string name = u"Two pairs", description = u"Broadband & modem";
    CHECK(WM9SetProfileName(W(name), (int)name.size()) == S_OK);
    CHECK(WM9SetProfileDescription(W(description), (int)description.size()) == S_OK);
    REQUIRE(WM9CreateProfile() == S_OK);
    REQUIRE(WM9SaveProfile(W(path)) == S_OK);
    REQUIRE(ReleaseWMProfile() == S_OK);

    REQUIRE(InitWMProfile() == S_OK);
    REQUIRE(WM9ReadProfileAsPRX(W(path)) == S_OK);
    CHECK(Narrow(WM9GetProfileName()) == "Two pairs");
    CHECK(Narrow(WM9GetProfileDescription()) == "Broadband & modem");
    REQUIRE(WM9GetStreamCount() == 4);
    CHECK(WM9GetStreamLanguage() == 0x0409);
    struct Want { int format, audioBitrate, bitrate, window; float fps; int w, h, key, quality; };
    const Want want[] = {{2, 128000, 400000, 5000, 29.97f, 640, 480, 8, 80}, {9, 20000, 100000, 3000, 15.0f, 320, 240, 4, 40}};
    for (int pair = 0; pair < 2; ++pair) {
        INFO("pair " << pair);
        CHECK(Same(WM9GetStreamType(2 * pair), PRESETRY_AUDIO_MAJOR));
        CHECK(Same(WM9GetStreamType(2 * pair + 1), PRESETRY_VIDEO_MAJOR));
        int codec = -1, format = -1, bitrate = 0;
        REQUIRE(WM9GetAudioStream(2 * pair, &codec, &format, &bitrate) == S_OK);
        CHECK((codec == 0 && format == want[pair].format && bitrate == want[pair].audioBitrate));
        int window = 0, w = 0, h = 0, key = 0, quality = 0;
        float fps = 0;
        REQUIRE(WM9GetVideoStream(2 * pair + 1, &codec, &bitrate, &window, &fps, &w, &h) == S_OK);
        CHECK((codec == 0 && bitrate == want[pair].bitrate && window == want[pair].window && w == want[pair].w &&
               h == want[pair].h));
        CHECK(fps == Approx(want[pair].fps).epsilon(1e-4));
        REQUIRE(WM9GetVideoStream2(2 * pair + 1, &key, &quality) == S_OK);
        CHECK((key == want[pair].key && quality == want[pair].quality));
    }
    /* Asking a stream for the other kind, or past the end, is refused. */
    CHECK(WM9GetAudioStream(1, nullptr, nullptr, nullptr) == E_INVALIDARG);
    CHECK(WM9GetVideoStream(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) == E_INVALIDARG);
    CHECK(WM9GetVideoStream2(4, nullptr, nullptr) == E_INVALIDARG);
    CHECK(Same(WM9GetStreamType(4), GUID{}));
    ReleaseWMProfile();
    DeleteFileW(W(path));
}

TEST_CASE("Presetry refuses pairs that make no stream and a profile without pairs", "[presetry][bad]")
{
    REQUIRE(InitWMProfile() == S_OK);
    CHECK(WM9AddStreamsToProfile(0, 0, 0, 0, 2, 5000, 400000, 320, 240, 30.0f, 0, 8, 0) == E_UNEXPECTED);
    REQUIRE(WM9CreateProfileManager() == S_OK);
    CHECK(WM9CreateProfile() == E_UNEXPECTED);
    struct Bad { const char *what; int pair, ac, vc, af, window, bitrate, w, h; float fps; int quality, key; };
    const Bad bad[] = {
        {"no video codec", 0, 0, -1, 2, 5000, 400000, 320, 240, 30.0f, 0, 8},
        {"no audio codec", 0, 7, 0, 2, 5000, 400000, 320, 240, 30.0f, 0, 8},
        {"format past the list", 0, 0, 0, 12, 5000, 400000, 320, 240, 30.0f, 0, 8},
        {"frame rate 0", 0, 0, 0, 2, 5000, 400000, 320, 240, 0.0f, 0, 8},
        {"frame rate below 1", 0, 0, 0, 2, 5000, 400000, 320, 240, 0.5f, 0, 8},
        {"negative video bit rate", 0, 0, 0, 2, 5000, -1000, 320, 240, 30.0f, 0, 8},
        {"no width", 0, 0, 0, 2, 5000, 400000, 0, 240, 30.0f, 0, 8},
        {"too high", 0, 0, 0, 2, 5000, 400000, 320, 9000, 30.0f, 0, 8},
        {"quality above 100", 0, 0, 0, 2, 5000, 400000, 320, 240, 30.0f, 101, 8},
        {"pair out of order", 1, 0, 0, 2, 5000, 400000, 320, 240, 30.0f, 0, 8},
    };
    for (const Bad &b : bad) {
        INFO(b.what);
        CHECK(WM9AddStreamsToProfile(b.pair, 0, b.ac, b.vc, b.af, b.window, b.bitrate, b.w, b.h, b.fps, b.quality,
                                     b.key, 0) == E_INVALIDARG);
    }
    CHECK(WM9AddMutualExclusion(1) == E_INVALIDARG);    /* no pair was added */
    ReleaseWMProfile();
}

TEST_CASE("Presetry refuses files that are missing, cut short, not a profile or too big", "[presetry][bad]")
{
    REQUIRE(InitWMProfile() == S_OK);
    std::u16string good = TempPath(u"presetry good.prx"), path = TempPath(u"presetry bad.prx");
    REQUIRE(WM9CreateProfileManager() == S_OK);
    REQUIRE(WM9AddStreamsToProfile(0, 0, 0, 0, 2, 5000, 400000, 320, 240, 30.0f, 0, 8, 0) == S_OK);
    REQUIRE(WM9CreateProfile() == S_OK);
    REQUIRE(WM9SaveProfile(W(good)) == S_OK);
    HANDLE f = CreateFileW(W(good), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE(f != INVALID_HANDLE_VALUE);
    std::string bytes(GetFileSize(f, nullptr), '\0');
    DWORD got = 0;
    ReadFile(f, &bytes[0], (DWORD)bytes.size(), &got, nullptr);
    CloseHandle(f);

    CHECK(WM9ReadProfileAsPRX(W(TempPath(u"no such profile.prx"))) == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    CHECK(WM9GetStreamCount() == 0);
    WriteBytes(path, bytes.data(), bytes.size() / 2);
    CHECK(WM9ReadProfileAsPRX(W(path)) < 0);
    const char16_t junk[] = u"GIF89a not a profile at all";
    WriteBytes(path, junk, sizeof(junk) - 2);
    CHECK(WM9ReadProfileAsPRX(W(path)) < 0);
    std::string big((2 << 20), ' ');
    WriteBytes(path, big.data(), big.size());
    CHECK(WM9ReadProfileAsPRX(W(path)) < 0);
    WriteBytes(path, bytes.data(), 1);
    CHECK(WM9ReadProfileAsPRX(W(path)) < 0);
    CHECK(WM9GetStreamCount() == 0);
    CHECK(WM9ReadProfileAsPRX(nullptr) == E_POINTER);
    CHECK(WM9ReadProfileAsPRX(W(good)) == S_OK);
    CHECK(WM9GetStreamCount() == 2);
    DeleteFileW(W(path));
    DeleteFileW(W(good));
    ReleaseWMProfile();
}
