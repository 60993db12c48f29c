/*
 * The engine's flat interface without media: exports and ordinals, load-time
 * state, OpenSource dispatch and its messages, the frame-rate and transition
 * settings, encoder settings, the warning box and error explanation.
 */
#include <catch2/catch.hpp>
#include <windows.h>
#include <string>
#include <vector>
#include <algorithm>
#include "msgbox_capture.h"
#include "engine_host.h"
#include "network_source.h"
#include "corvengine.h"
#include "engine.h"
#include "clock.h"
#include "transition_names.h"

using Catch::Matchers::Equals;

TEST_CASE("Corvengine.dll exports all 89 functions by name and ordinal, and its string table")
{
    HMODULE dll = LoadLibraryA("Corvengine.dll");
    REQUIRE(dll);
    struct { int ordinal; const char *name; } table[] = {
        {1, "InitEngine"}, {2, "ReleaseEngine"}, {3, "ResetEngine"}, {4, "OpenSource"},
        {5, "CloseSource"}, {6, "SetPrevVideoWnd"}, {7, "SelectChannel"}, {8, "SetMainVideoWnd"},
        {9, "PreviewRepaint"}, {10, "MainVideoRepaint"}, {11, "TitleApply"},
        {12, "GetTransEffectNumbers"}, {13, "GetTransEffectName"}, {14, "GetTransEffectIconName"},
        {15, "SetTransEffect"}, {16, "MyPlay"}, {17, "MyStop"}, {18, "MyPause"}, {19, "MyRewind"},
        {20, "MyReverse"}, {21, "MyFastForward"}, {22, "MyGetDuration"}, {23, "MyGetPosition"},
        {24, "MySetPosition"}, {25, "HandleEvent"}, {26, "GetDeviceLists"},
        {27, "ReleaseDeviceLists"}, {28, "GetVideoDeviceName"}, {29, "GetAudioDeviceName"},
        {30, "CapVideoFormat"}, {31, "CapVideoSource"}, {32, "CapVideoDisplay"},
        {33, "CapVideoCompression"}, {34, "EncoderStart"}, {35, "EncoderStop"}, {36, "SetSaveFile"},
        {37, "SetHeaderInfo"}, {38, "SetProfileIndex"}, {39, "SetBroadcastPort"},
        {40, "GetProfileCount"}, {41, "GetProfileName"}, {42, "GetProfileDescription"},
        {43, "IndexOnOff"}, {44, "CreateNewProfile"}, {45, "LoadProfile"}, {46, "SetProfileName"},
        {47, "SetProfileDescription"}, {48, "SaveProfile"}, {49, "AddAudioStream"},
        {50, "AddVideoStream"}, {51, "AddScriptStream"}, {52, "GetCodecCount"}, {53, "GetCodecName"},
        {54, "GetAudioFormatCount"}, {55, "GetAudioFormatString"}, {56, "DeleteProfile"},
        {57, "GetVideoStream"}, {58, "SetRealMediaSetting"}, {59, "SetEncoder"}, {60, "SetFrameRate"},
        {61, "SetRealBroadcasting"}, {62, "PreviewTitle"}, {63, "ShowDateAndTime"},
        {64, "SetHSLEffect"}, {65, "SetAutoTrans"}, {66, "SetTransPosition"}, {67, "SetWMFVersion"},
        {68, "SetWMFDRM"}, {69, "GetWM9ConfigInfo"}, {70, "GetWM9ConfigNumbers"},
        {71, "LoadProfile9"}, {72, "GetVideoStream9"}, {73, "GetAudioStream9"},
        {74, "AddAudioStream9"}, {75, "AddVideoStream9"}, {76, "SetPushServer"},
        {77, "SetBackMusic"}, {78, "GetAudioStream"}, {79, "SetFLVEncProfile"}, {80, "SetTVOutWnd"},
        {81, "StartTVOut"}, {82, "StopTVOut"}, {83, "SetVideoSurfaceSize"},
        {84, "SetPreviewVideoSize"}, {85, "SetMainVideoSize"}, {86, "LoadCustomProfile9"},
        {87, "_AddProfileMutualExtension@4"}, {88, "_AddProfileMutualExtensionFor8Profile@4"},
        {89, "_ApplyFilter@4"},
    };
    REQUIRE(sizeof(table) / sizeof(table[0]) == 89);
    for (const auto &e : table) {
        INFO(e.name);
        FARPROC byName = GetProcAddress(dll, e.name);
        FARPROC byOrdinal = GetProcAddress(dll, MAKEINTRESOURCEA(e.ordinal));
        CHECK(byName != nullptr);
        CHECK(byName == byOrdinal);
    }
    CHECK(GetProcAddress(dll, MAKEINTRESOURCEA(90)) == nullptr);

    /* String resources 2..45 are the transition names, in table order. */
    for (int i = 0; i < 44; i++) {
        char buf[64] = {};
        INFO("string " << i + 2);
        REQUIRE(LoadStringA(dll, 2 + i, buf, sizeof(buf)) > 0);
        CHECK(std::string(buf) == g_transitionNames[i]);
    }
    FreeLibrary(dll);
}

TEST_CASE("Load-time state has the documented defaults")
{
    EngineLoadDefaults();
    const EngineState &e = g_engine;
    CHECK(e.framePeriod == 33);
    CHECK(e.encoderKind == 1);
    CHECK(e.wmfVersion == 1);
    CHECK(e.width == 320);
    CHECK(e.height == 240);
    CHECK(e.pixels == 76800);
    CHECK(e.rgbBytes == 230400);
    CHECK(e.argbBytes == 307200);
    CHECK(e.rowBytes == 1280);
    CHECK(e.autoTrans == 1);
    CHECK(e.broadcastPort == 8080);
    CHECK(e.profileIndex == 9);
    CHECK((e.hue == 0 && e.saturation == 0 && e.lightness == 0));
    CHECK((e.encodeMode == 0 && e.backMusic == 0 && e.titleOn == 0 && e.titlePreview == 0));
    CHECK(e.onAirChannel == 0);
    for (int i = 0; i < 5; i++) CHECK(e.channel[i] == nullptr);
    CHECK(sizeof(FlvSettings) == 560);
}

TEST_CASE("OpenSource refuses what it cannot open with the exact message and an empty channel")
{
    EngineHost host;
    GetDeviceLists();
    struct Case {
        int channel; const char *video; const char *audio; int music;
        const char *message;   /* null: no box */
    } cases[] = {
        {0, "clip.xyz", "", 0, "Corvane does not support such type file !!"},
        {1, "noextension", "", 0, "Corvane does not support such type file !!"},
        {2, "ftp://host/stream", "", 0, "Corvane does not support such type file !!"},
        {3, "dev:No Such Camera", "", 0, "Video [No Such Camera] is not found."},
        {4, "song.mp3", "", 0, "Corvane does not support such type file !!"},
        {2, "song.mp3", "", 1, "Corvane does not support such type file !!"},
        {1, "song.wav", "", 0, "Corvane does not support such type file !!"},
        {0, "clip.avi", "dev:No Such Mic", 0, "Audio [No Such Mic] is not found."},
        {0, "movie.vob", "dev:Other Mic", 0, "Audio [Other Mic] is not found."},
        {1, "pic.JPG", "dEv:Mic 2", 0, "Audio [Mic 2] is not found."},
    };
    for (const auto &c : cases) {
        INFO(c.video << " on channel " << c.channel << " music " << c.music);
        SetBackMusic(c.music);
        MsgBoxCapture boxes;
        CHECK(OpenSource(c.channel, c.video, c.audio) == FALSE);
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.boxes()[0].text == c.message);
        CHECK(boxes.boxes()[0].caption == "Error");
        CHECK(g_engine.channel[c.channel] == nullptr);
    }
    SetBackMusic(0);
    ReleaseDeviceLists();
}

TEST_CASE("Network and stream addresses go to the network source, which opens asynchronously")
{
    EngineHost host;
    struct Case { const char *url; int kind; };
    /* Port 1: nothing listens, so each attempt ends at once. */
    for (const Case &c : {Case{"http://127.0.0.1:1/live", 256}, Case{"mms://localhost:1/live", 16},
                          Case{"HTTP://127.0.0.1:1/a.xyz", 256}}) {
        INFO(c.url);
        MsgBoxCapture boxes;
        CHECK(OpenSource(1, c.url, "") == TRUE);
        CHECK(boxes.count() == 0);
        auto *src = dynamic_cast<CAsfReader *>(g_engine.channel[1]);
        REQUIRE(src != nullptr);
        CHECK(src->sourceKind == c.kind);
        EngineDeleteChannel(1);
        CHECK(g_engine.channel[1] == nullptr);
    }
}

TEST_CASE("SetFrameRate restarts the clock only when the period changes")
{
    EngineHost host;
    UINT first = g_transformer.eventId;
    REQUIRE(first != 0);
    CHECK(SetFrameRate(30) == 33);
    CHECK(g_transformer.eventId == first);
    int id = SetFrameRate(25);
    CHECK(g_engine.framePeriod == 40);
    CHECK(g_transformer.period == 40);
    CHECK(id == (int)g_transformer.eventId.load());
    CHECK(id != 0);
    /* 0 frames per second has no period: nothing changes, nothing crashes. */
    CHECK(SetFrameRate(0) == 40);
    SetFrameRate(1000);
    CHECK(g_engine.framePeriod == 1);
    /* The clock ticks. */
    unsigned before = g_transformer.ticks;
    SetFrameRate(30);
    host.Pump(300);
    CHECK(g_transformer.ticks - before >= 3);
}

TEST_CASE("SetTransEffect: duration from the seconds in auto mode, 1000 ms in manual mode; progress 0 posted")
{
    EngineHost host;
    struct { int autoOn; double seconds; int ms; } cases[] = {
        {1, 2.5, 2500}, {1, 0.1, 100}, {1, 1.9999, 1999}, {0, 7.0, 1000}, {0, 0.1, 1000},
    };
    for (const auto &c : cases) {
        INFO(c.autoOn << " " << c.seconds);
        CHECK(SetAutoTrans(c.autoOn) == c.autoOn);
        host.msgs.clear();
        SetTransEffect(3, c.seconds);
        CHECK(g_transformer.durationMs == c.ms);
        CHECK(g_transformer.currentIndex == 3);
        host.Pump(50);
        CHECK(host.Has(WM_ENGINE_TRANSPROGRESS, 0, 0));
    }
    SetTransEffect(5, 1.0);
    CHECK(g_transformer.previousIndex == 3);
    CHECK(SetTransPosition(7) == 700);
    CHECK(g_transformer.elapsedMs == 700);
}

TEST_CASE("Transition names and icon names")
{
    EngineHost host;
    CHECK(GetTransEffectNumbers() == 44);
    CHECK(std::string(GetTransEffectName(0)) == "Cut");
    CHECK(std::string(GetTransEffectName(1)) == "Left Wipe");
    CHECK(std::string(GetTransEffectName(43)) == "PIP Right Bottom BA");
    CHECK(std::string(GetTransEffectIconName(20)) == "crossdissolve");
    CHECK(GetTransEffectName(44) == nullptr);
    CHECK(GetTransEffectIconName(-1) == nullptr);
}

TEST_CASE("Encoder settings follow the encoder kind in force")
{
    EngineLoadDefaults();
    SECTION("save file") {
        CHECK(SetEncoder(1) == 1);
        SetSaveFile("C:\\out\\show.wmv");
        char back[260];
        WideCharToMultiByte(CP_ACP, 0, g_engine.saveFileW, -1, back, 260, nullptr, nullptr);
        CHECK(std::string(back) == "C:\\out\\show.wmv");
        CHECK(g_engine.saveFileA[0] == 0);
        SetSaveFile(nullptr);
        CHECK(g_engine.saveFileW[0] == 0);
        CHECK(SetEncoder(0x1000000) == 0x1000000);
        SetSaveFile("show.flv");
        CHECK(std::string(g_engine.saveFileA) == "show.flv");
        SetEncoder(5);
        SetSaveFile("other.flv");
        CHECK(std::string(g_engine.saveFileA) == "show.flv");
        /* A name longer than 260 characters is cut, not overrun. */
        SetEncoder(0x1000000);
        std::string longName(600, 'x');
        SetSaveFile(longName.c_str());
        CHECK(strlen(g_engine.saveFileA) == 259);
    }
    SECTION("push server") {
        SetPushServer("media.example", "live", "template", 1);
        char back[260];
        WideCharToMultiByte(CP_ACP, 0, g_engine.pushTarget, -1, back, 260, nullptr, nullptr);
        CHECK(std::string(back) == "http://media.example/live");
        WideCharToMultiByte(CP_ACP, 0, g_engine.copyFrom, -1, back, 260, nullptr, nullptr);
        CHECK(std::string(back) == "template");
        CHECK(g_engine.autoRemove == 1);
        SetPushServer(nullptr, "live", "", 0);
        CHECK(g_engine.pushTarget[0] == 0);
        CHECK(g_engine.copyFrom[0] == 0);
    }
    SECTION("plain values") {
        CHECK(SetProfileIndex(0x12345) == 0x2345);
        CHECK(SetBroadcastPort(0x11F90) == 0x1F90);
        CHECK(g_engine.broadcastPort == 0x1F90);
        CHECK(SetWMFVersion(0x100) == 0x100);
        CHECK(SetWMFDRM(1) == 1);
        CHECK(ShowDateAndTime(1, 0, 0) == 1);
        CHECK(ApplyFilter(7) == 7);
        SetEncoder(1);
        IndexOnOff(1);
        CHECK(g_engine.indexAfterWriting == 1);
        SetEncoder(0x1000000);
        IndexOnOff(0);
        CHECK(g_engine.indexAfterWriting == 1);
        FlvSettings s = {};
        s.VideoWidth = 640;
        s.FrameRate = 29.97;
        strcpy(s.ArchivingFileName, "rec.flv");
        SetFLVEncProfile(&s);
        CHECK(memcmp(&g_engine.flv, &s, sizeof(s)) == 0);
        CHECK(SetFLVEncProfile(nullptr) == 0);
        CHECK(ResetEngine() == 1);
        CHECK(g_engine.applyFilter == 1);
    }
    EngineLoadDefaults();
}

TEST_CASE("Warning box and error explanation texts")
{
    MsgBoxCapture boxes;
    EngineWarning("Video Renderer connection failed:%x", 0x80040217u);
    EngineExplainError(2);
    EngineExplainError(0x7fffabcd);
    std::string long_text(400, 'y');
    EngineWarning("%s", long_text.c_str());
    REQUIRE(boxes.count() == 4);
    CHECK(boxes.texts()[0] == "Video Renderer connection failed:80040217");
    CHECK_THAT(boxes.texts()[1], Catch::StartsWith("This is the error code:  2.\n\n\nThis is the system's explanation:\n\n"));
    CHECK(boxes.texts()[1].size() > strlen("This is the error code:  2.\n\n\nThis is the system's explanation:\n\n"));
    CHECK(boxes.texts()[2] == "This is the error code:  2147462093.\n\n\nThis is the system's explanation:\n\n<unknown>");
    CHECK(boxes.texts()[3].size() == 259);
}

TEST_CASE("Capture commands without a capture source")
{
    EngineHost host;
    // Whatever capture devices this machine lists, none is the selected source.
    GetDeviceLists();
    struct {
        const char *name;
        int (WINAPI *command)();
        int boxes;
    } commands[] = {
        {"CapVideoFormat", CapVideoFormat, 1},
        {"CapVideoSource", CapVideoSource, 1},
        {"CapVideoDisplay", CapVideoDisplay, 0},
        {"CapVideoCompression", CapVideoCompression, 0},
    };
    for (const auto &c : commands) {
        INFO(c.name);
        MsgBoxCapture boxes;
        CHECK(c.command() == 0);
        std::vector<std::string> t = boxes.texts();
        CHECK(std::count(t.begin(), t.end(), std::string("Selected source is not a Capture device.")) == c.boxes);
    }
    ReleaseDeviceLists();
}

TEST_CASE("Transport on an empty channel answers 0 and does not crash")
{
    EngineHost host;
    for (int ch : {0, 4, 5, 200, -1}) {
        INFO(ch);
        CHECK(MyPlay(ch) == 0);
        CHECK(MyStop(ch) == 0);
        CHECK(MyPause(ch) == 0);
        CHECK(MyRewind(ch) == 0);
        CHECK(MyFastForward(ch) == 0);
        CHECK(MyReverse(ch) == 0);
        CHECK(MyGetDuration(ch) == 0);
        CHECK(MyGetPosition(ch) == 0);
        CHECK(MySetPosition(ch, 5000000) == 0);
        CHECK(CloseSource(ch) == 0);
        CHECK(SelectChannel(ch) == FALSE);
        HandleEvent(ch);
    }
    CHECK(OpenSource(5, "clip.avi", "") == FALSE);
}
