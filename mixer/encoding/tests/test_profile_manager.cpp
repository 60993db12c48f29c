/*
 * The profile manager (dialog 139) on a real (virtual) display over a
 * stand-in profile store: the three pages, streams added, edited and
 * removed, the size list, the checks with their messages, the engine
 * calls of OK, the modes that read a profile, and keys that close nothing.
 */
#include <catch2/catch.hpp>
#include "app.h"
#include "encoding_ids.h"
#include "profile_dialogs.h"
#include "profile_manager_dlg.h"
#include "wm_fake_engine.h"
#include "dialog_script.h"
#include <functional>

namespace {
cl::CWinApp theApp("EncodingTest");
constexpr UINT WM_SCRIPT = WM_APP + 42;

struct Dlg : ScriptedDialog<Dlg, CProfileManagerDlg, WM_SCRIPT> {
    explicit Dlg(int mode, int line = -1)
    {
        m_nMode = mode;
        m_nProfileLine = line;
    }
    void Tab(int page) { SelectTab(IDC_PM_TAB, page); }
    void PickStream(int line) { PickListLine(IDC_PM_STREAMS, line); }
    std::string Current(UINT combo)
    {
        int i = (int)::SendMessageA(GetDlgItem(combo), CB_GETCURSEL, 0, 0);
        auto lines = Lines(combo, true);
        return i >= 0 && i < (int)lines.size() ? lines[i] : "";
    }
};


struct Fixture {
    Fixture()
    {
        fake::S() = fake::Store();
        fake::L() = fake::Loaded();
        g_encodingEngine = fake::Engine();
    }
    ~Fixture() { g_encodingEngine = RealEncodingEngine(); }
};

/* The target dialog answers with the next name and bit rate. */
struct Targets {
    std::vector<std::pair<std::string, int>> answers;
    int asked = 0;
    std::function<INT_PTR(CProfileTargetDlg &)> Runner()
    {
        return [this](CProfileTargetDlg &t) {
            CHECK(t.m_bNameEditable == 1);
            if (asked >= (int)answers.size()) return (INT_PTR)IDCANCEL;
            t.m_strTargetName = answers[asked].first;
            t.m_nMaxBitrate = answers[asked].second;
            ++asked;
            return (INT_PTR)IDOK;
        };
    }
};

} // namespace

TEST_CASE("Profile manager, new profile: pages, streams, sizes, checks and the engine calls of OK", "[profilemanager]")
{
    Fixture fx;
    BoxCapture boxes;
    Targets targets;
    targets.answers = {{"Broadband", 500000}, {"Modem", 40000}, {"Dual ISDN", 100000}};
    Dlg dlg(0);
    dlg.runTarget = targets.Runner();
    dlg.runVideoSize = [](CVideoSizeDlg &s) {
        s.m_nWidth = 800;
        s.m_nHeight = 600;
        return (INT_PTR)IDOK;
    };
    dlg.script = [&](Dlg &d) {
        CHECK(d.GetWindowText() == "Profile Manager");
        CHECK(::SendMessageA(d.GetDlgItem(IDC_PM_TAB), TCM_GETITEMCOUNT, 0, 0) == 3);
        CHECK((d.Checked(IDC_PM_AUDIO_CHECK) && !d.Enabled(IDC_PM_AUDIO_CHECK)));
        CHECK((d.Checked(IDC_PM_VIDEO_CHECK) && !d.Enabled(IDC_PM_VIDEO_CHECK)));
        CHECK((!d.Checked(IDC_PM_SCRIPT_CHECK) && !d.Enabled(IDC_PM_SCRIPT_BITRATE)));
        CHECK(d.GetDlgItemText(IDC_PM_SCRIPT_BITRATE) == "4096");
        CHECK(d.GetDlgItemText(IDC_PM_FPS) == "15");
        CHECK(d.GetDlgItemText(IDC_PM_KEY) == "8");
        CHECK(d.Lines(IDC_PM_AUDIO_CODEC, true) == std::vector<std::string>{"Audio codec 0", "Audio codec 1"});
        CHECK(d.Lines(IDC_PM_AUDIO_FORMAT, true).size() == 3);
        CHECK(d.Lines(IDC_PM_SIZE, true) == std::vector<std::string>{"160 x 120", "176 x 144 (QCIF)", "320 x 240",
                                                                      "352 x 288 (CIF)", "640 x 480", "Custom..."});
        CHECK((d.Visible(IDC_PM_NAME) && !d.Visible(IDC_PM_AUDIO_CODEC) && !d.Visible(IDC_PM_STREAMS)));
        Photograph(d.m_hWnd, "profile_manager_information.bmp", 5);
        d.Tab(1);
        CHECK((d.Visible(IDC_PM_AUDIO_CODEC) && d.Visible(IDC_PM_BPS) && !d.Visible(IDC_PM_NAME)));
        /* The script bit rate: "0" or nothing becomes 4096 at once. */
        d.Click(IDC_PM_SCRIPT_CHECK);
        CHECK(!d.Enabled(IDC_PM_SCRIPT_BITRATE));   /* clicking the message alone does not tick it */
        CheckDlgButton(d.m_hWnd, IDC_PM_SCRIPT_CHECK, BST_CHECKED);
        d.Click(IDC_PM_SCRIPT_CHECK);
        CHECK(d.Enabled(IDC_PM_SCRIPT_BITRATE));
        for (const char *typed : {"0", "", "none"}) {
            d.SetDlgItemText(IDC_PM_SCRIPT_BITRATE, typed);
            CHECK(d.GetDlgItemText(IDC_PM_SCRIPT_BITRATE) == "4096");
        }
        d.SetDlgItemText(IDC_PM_SCRIPT_BITRATE, "6000");
        d.Pick(IDC_PM_AUDIO_CODEC, 1);
        CHECK(d.Lines(IDC_PM_AUDIO_FORMAT, true) == std::vector<std::string>{"Format 1.0", "Format 1.1"});
        CHECK(d.Current(IDC_PM_AUDIO_FORMAT) == "Format 1.0");
        d.Pick(IDC_PM_AUDIO_FORMAT, 1);
        Photograph(d.m_hWnd, "profile_manager_codec.bmp", 5);
        d.Tab(2);
        /* A frame rate below 1 makes no stream. */
        d.SetDlgItemText(IDC_PM_FPS, "0");
        d.Click(IDC_PM_NEW);
        CHECK(targets.asked == 0);
        d.SetDlgItemText(IDC_PM_FPS, "abc");
        d.Click(IDC_PM_NEW);
        CHECK(targets.asked == 0);
        CHECK(boxes.texts() == std::vector<std::string>{"The frame rate must be at least 1 fps.",
                                                        "The frame rate must be at least 1 fps."});
        boxes.clear();
        d.SetDlgItemText(IDC_PM_FPS, "25");
        d.Pick(IDC_PM_SIZE, 2);
        ::SendMessageA(d.GetDlgItem(IDC_PM_QUALITY), TBM_SETPOS, TRUE, 40);
        d.SendMessage(107);
        CHECK(d.GetDlgItemText(IDC_PM_PERCENT) == "40%");
        d.Click(IDC_PM_NEW);
        d.Click(IDC_PM_NEW);
        d.Pick(IDC_PM_SIZE, 5);                  /* "Custom..." gives 800 x 600, a line of its own */
        CHECK(d.Current(IDC_PM_SIZE) == "800 x 600");
        CHECK(d.Lines(IDC_PM_SIZE, true).size() == 7);
        d.Click(IDC_PM_NEW);
        CHECK(d.Lines(IDC_PM_STREAMS, false) == std::vector<std::string>{"Broadband", "Modem", "Dual ISDN"});
        REQUIRE(d.m_entries.entries.size() == 3);
        CHECK((d.m_entries.entries[2].width == 800 && d.m_entries.entries[2].frameRate == 25 &&
               d.m_entries.entries[2].quality == 40 && d.m_entries.entries[2].maxBitrate == 100000));
        /* Showing a stream selects its size. */
        d.PickStream(0);
        CHECK(d.GetDlgItemText(IDC_PM_TARGET) == "Broadband");
        CHECK(d.GetDlgItemText(IDC_PM_MAX_BITRATE) == "500000");
        CHECK(d.Current(IDC_PM_SIZE) == "320 x 240");
        Photograph(d.m_hWnd, "profile_manager_video.bmp", 5);
        /* Edit Ok: every check, then the stored values and "File Save". */
        struct Edit { const char *target, *bitrate, *fps, *message; };
        const Edit edits[] = {{"", "500000", "25", "Please Input Target Name"},
                              {"Broadband", "0", "25", "Please Input Max Bitrate"},
                              {"Broadband", "-5", "25", "Max Bitrate must be greater than 0"},
                              {"Broadband", "300000", "0", "The frame rate must be at least 1 fps."},
                              {"Fast", "300000", "30", "File Save"}};
        for (const Edit &e : edits) {
            INFO(e.message);
            boxes.clear();
            d.PickStream(0);
            d.SetDlgItemText(IDC_PM_TARGET, e.target);
            d.SetDlgItemText(IDC_PM_MAX_BITRATE, e.bitrate);
            d.SetDlgItemText(IDC_PM_FPS, e.fps);
            d.Click(IDC_PM_EDIT_OK);
            CHECK(boxes.texts() == std::vector<std::string>{e.message});
        }
        CHECK(d.Lines(IDC_PM_STREAMS, false) == std::vector<std::string>{"Fast", "Modem", "Dual ISDN"});
        CHECK((d.m_entries.entries[0].maxBitrate == 300000 && d.m_entries.entries[0].frameRate == 30));
        /* Removing the first of three leaves indexes 0 and 1 in list order. */
        d.PickStream(0);
        d.Click(IDC_PM_REMOVE);
        REQUIRE(d.m_entries.entries.size() == 2);
        CHECK((d.m_entries.entries[0].index == 0 && std::string(d.m_entries.entries[0].targetName) == "Modem"));
        CHECK((d.m_entries.entries[1].index == 1 && std::string(d.m_entries.entries[1].targetName) == "Dual ISDN"));
        /* OK without a name stays; the second OK starts a new profile and saves. */
        boxes.clear();
        fake::S().calls.clear();
        d.Click(IDOK);
        CHECK(boxes.texts() == std::vector<std::string>{"Please Input Profile Name"});
        d.SetDlgItemText(IDC_PM_NAME, "..\\outside");
        d.Click(IDOK);
        d.SetDlgItemText(IDC_PM_NAME, "Evening");
        d.SetDlgItemText(IDC_PM_DESC, "Two sizes");
        d.Click(IDOK);
    };
    REQUIRE(dlg.DoModal() == IDOK);
    CHECK(fake::S().calls == std::vector<std::string>{
                                 "CreateNewProfile", "CreateNewProfile", "CreateNewProfile", "SetProfileName Evening",
                                 "SetProfileDescription Two sizes", "AddAudioStream 1 1",
                                 "AddVideoStream 0 320x240 'Modem' 25 8 40 40000",
                                 "AddVideoStream 0 800x600 'Dual ISDN' 25 8 40 100000", "AddScriptStream 6000",
                                 "SaveProfile"});
    CHECK(boxes.texts() == std::vector<std::string>{"Please Input Profile Name",
                                                    "The profile name cannot be a file name."});
}

TEST_CASE("Profile manager: OK without streams, and Enter or Escape close nothing", "[profilemanager]")
{
    Fixture fx;
    BoxCapture boxes;
    CHECK(!IsDialogClosingKey(nullptr));
    MSG keys[] = {{nullptr, WM_KEYDOWN, VK_RETURN}, {nullptr, WM_KEYDOWN, VK_ESCAPE}, {nullptr, WM_KEYDOWN, 'A'},
                  {nullptr, WM_KEYUP, VK_ESCAPE}};
    CHECK(IsDialogClosingKey(&keys[0]));
    CHECK(IsDialogClosingKey(&keys[1]));
    CHECK(!IsDialogClosingKey(&keys[2]));
    CHECK(!IsDialogClosingKey(&keys[3]));
    Dlg dlg(0);
    dlg.script = [&](Dlg &d) {
        d.SetDlgItemText(IDC_PM_NAME, "Empty");
        d.Click(IDOK);
        CHECK(boxes.texts() == std::vector<std::string>{"Video Stream is Null!"});
        HWND edit = d.GetDlgItem(IDC_PM_NAME);
        SetFocus(edit);
        PostMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
        d.Then([](Dlg &d) {
            CHECK(d.IsModalRunning());
            d.Click(IDCANCEL);
        });
    };
    CHECK(dlg.DoModal() == IDCANCEL);
    CHECK(fake::Calls({"CreateNewProfile", "SaveProfile"}).empty());
}

TEST_CASE("Profile manager, modes 1 and 2: the selected profile read back, system profiles kept", "[profilemanager]")
{
    Fixture fx;
    BoxCapture boxes;
    fake::S().profiles = {{"System", "sys"}, {"Own", "My streams"}};
    fake::L().flags = 2 | 1 << 30 | (int)(1u << 31);
    fake::L().audioCodec = 1;
    fake::L().audioFormat = 1;
    fake::L().videoCodec = 1;
    fake::L().width = 800;
    fake::L().height = 600;
    fake::L().script = 5000;
    fake::L().video = {{"Big", {30, 5, 75, 800000, 800, 600}}, {"Small", {15, 8, 20, 100000, 176, 144}}};
    SECTION("Mode 2: modify an own profile")
    {
        Dlg dlg(2, 1);
        dlg.script = [](Dlg &d) {
            CHECK(fake::Calls({"LoadProfile"}) == std::vector<std::string>{"LoadProfile 1"});
            CHECK(d.GetDlgItemText(IDC_PM_NAME) == "Own");
            CHECK(!d.Enabled(IDC_PM_NAME));
            CHECK(d.GetDlgItemText(IDC_PM_DESC) == "My streams");
            CHECK((d.Checked(IDC_PM_SCRIPT_CHECK) && d.Enabled(IDC_PM_SCRIPT_BITRATE)));
            CHECK(d.GetDlgItemText(IDC_PM_SCRIPT_BITRATE) == "5000");
            CHECK(d.Lines(IDC_PM_STREAMS, false) == std::vector<std::string>{"Big", "Small"});
            CHECK(d.Current(IDC_PM_AUDIO_CODEC) == "Audio codec 1");
            CHECK(d.Current(IDC_PM_AUDIO_FORMAT) == "Format 1.1");
            CHECK(d.Current(IDC_PM_VIDEO_CODEC) == "Video codec 1");
            /* The first line is shown; the 800 x 600 size became a line of the list. */
            CHECK(d.GetDlgItemText(IDC_PM_TARGET) == "Big");
            CHECK(d.Current(IDC_PM_SIZE) == "800 x 600");
            CHECK(d.GetDlgItemText(IDC_PM_PERCENT) == "75%");
            d.PickStream(1);
            /* Sizes are looked up by their exact text: "176 x 144" is a line of its own. */
            CHECK(d.Current(IDC_PM_SIZE) == "176 x 144");
            CHECK(d.GetDlgItemText(IDC_PM_FPS) == "15");
            fake::S().calls.clear();
            d.Click(IDOK);
        };
        REQUIRE(dlg.DoModal() == IDOK);
        CHECK(fake::Calls({"Set", "Add"}) ==
              std::vector<std::string>{"SetProfileName Own", "SetProfileDescription My streams", "AddAudioStream 1 1",
                                       "AddVideoStream 1 800x600 'Big' 30 5 75 800000",
                                       "AddVideoStream 1 176x144 'Small' 15 8 20 100000", "AddScriptStream 5000"});
    }
    SECTION("Mode 2 on a system profile says so and is cancelled")
    {
        fake::L().flags = 2;
        Dlg dlg(2, 0);
        CHECK(dlg.DoModal() == IDCANCEL);
        CHECK(boxes.texts() == std::vector<std::string>{"A system profile can't be modified."});
        CHECK(fake::Calls({"SaveProfile"}).empty());
    }
    SECTION("Mode 1: a new profile from the selected one, without its name or script")
    {
        Dlg dlg(1, 1);
        dlg.script = [](Dlg &d) {
            CHECK(d.GetDlgItemText(IDC_PM_NAME).empty());
            CHECK(d.Enabled(IDC_PM_NAME));
            CHECK((!d.Checked(IDC_PM_SCRIPT_CHECK) && !d.Enabled(IDC_PM_SCRIPT_BITRATE)));
            CHECK(d.GetDlgItemText(IDC_PM_SCRIPT_BITRATE) == "4096");
            CHECK(d.Lines(IDC_PM_STREAMS, false).size() == 2);
            d.Click(IDCANCEL);
        };
        CHECK(dlg.DoModal() == IDCANCEL);
    }
    SECTION("A profile without video: the video controls are off")
    {
        fake::L().flags = 1 << 30;
        fake::L().videoCodec = -1;
        fake::L().video.clear();
        Dlg dlg(1, 1);
        dlg.script = [](Dlg &d) {
            CHECK((!d.Checked(IDC_PM_VIDEO_CHECK) && !d.Enabled(IDC_PM_VIDEO_CHECK)));
            for (UINT id : {IDC_PM_VIDEO_CODEC, IDC_PM_SIZE, IDC_PM_STREAMS, IDC_PM_NEW, IDC_PM_EDIT_OK, IDC_PM_REMOVE,
                            IDC_PM_FPS, IDC_PM_KEY, IDC_PM_QUALITY})
                CHECK(!d.Enabled(id));
            CHECK(d.GetDlgItemText(IDC_PM_KEY) == "7");
            CHECK(d.GetDlgItemText(IDC_PM_PERCENT) == "0%");
            d.Click(IDCANCEL);
        };
        CHECK(dlg.DoModal() == IDCANCEL);
    }
}
