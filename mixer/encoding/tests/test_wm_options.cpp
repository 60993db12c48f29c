/*
 * The Windows Media encoding options (dialog 209) on a real (virtual)
 * display, over a stand-in profile store: the keys loaded and saved, the
 * bit-rate rows of the stream configurations, the profile built from the
 * checked rows, the profile buttons, the port and the URLs, the apply step
 * after OK.  Each page is photographed into the artefacts folder.
 */
#include <catch2/catch.hpp>
#include "app.h"
#include "encoding_ids.h"
#include "profile.h"
#include "wm_options_dlg.h"
#include "wm_fake_engine.h"
#include "dialog_script.h"
#include <functional>

namespace {
cl::CWinApp theApp("EncodingTest");
constexpr UINT WM_SCRIPT = WM_APP + 41;

struct Dlg : ScriptedDialog<Dlg, CWmEncodingOptionsDlg, WM_SCRIPT> {
    Dlg(cl::CProfile &p, const std::vector<WmConfigEntry> &c, int family) : ScriptedDialog(p, c)
    {
        m_nWmVersion = family;
    }
    void Tab(int page) { SelectTab(IDC_WM_TAB, page); }
    void PickProfile(int line) { PickListLine(IDC_WM_PROFILES, line); }
    std::string RowText(int row, int column)
    {
        char buf[64] = {};
        LVITEMA it = {};
        it.iSubItem = column;
        it.pszText = buf;
        it.cchTextMax = sizeof(buf);
        BitrateList().SendMessage(LVM_GETITEMTEXTA, row, (LPARAM)&it);
        return buf;
    }
    int Rows() { return (int)BitrateList().SendMessage(LVM_GETITEMCOUNT); }
    std::vector<int> CheckedRows()
    {
        std::vector<int> r;
        for (int i = 0; i < Rows(); ++i)
            if (BitrateList().IsChecked(i)) r.push_back(i);
        return r;
    }
};


/* A fresh application profile, the stand-in store with twelve profiles
 * and the stream configurations of two destinations. */
struct Fixture {
    cl::CProfile profile{"Software\\Halvard\\CorvaneWmOptionsTest"};
    std::vector<WmConfigEntry> configs;
    Fixture()
    {
        profile.DeleteAll();
        fake::S() = fake::Store();
        for (int i = 0; i < 12; ++i)
            fake::S().profiles.push_back({"Profile " + std::to_string(i), "About profile " + std::to_string(i)});
        configs = {{1, "v-stream", "v_stream.prx", "Streaming video", 2},
                   {0, "a-stream", "a_stream.prx", "Streaming audio", 2},
                   {1, "v-file", "v_file.prx", "File video", 0},
                   {2, "s-stream", "s_stream.prx", "Script", 2},
                   {1, "v-one", "v_one.prx", "Single video", 3},
                   {0, "a-one", "a_one.prx", "Single audio", 3}};
        fake::S().files["v_stream.prx"].video = {{282000, 29.97f, 8, 5000, 70, 640, 480},
                                                  {148000, 15.0f, 4, 3000, 50, 320, 240},
                                                  {43000, 10.0f, 10, 5000, 0, 176, 144}};
        fake::S().files["a_stream.prx"].audio = {64000, 32000};
        fake::S().files["v_file.prx"].video = {{1000000, 25.0f, 5, 5000, 90, 720, 576}};
        fake::S().files["v_one.prx"].video = {{500000, 30.0f, 5, 4000, 80, 320, 240}};
        fake::S().files["a_one.prx"].audio = {48000, 96000};
        g_encodingEngine = fake::Engine();
    }
    ~Fixture()
    {
        g_encodingEngine = RealEncodingEngine();
        profile.DeleteAll();
    }
};

} // namespace

TEST_CASE("Options dialog: a fresh profile shows the dialog defaults, OK saves every key, a second run reads them back",
          "[wmoptions]")
{
    Fixture fx;
    BoxCapture boxes;
    std::string host, address;
    LocalHostAddresses(&host, &address);
    {
        Dlg dlg(fx.profile, fx.configs, 1);
        dlg.script = [&](Dlg &d) {
            CHECK(d.GetWindowText() == "Windows Media Encoding Options");
            RECT r = d.GetWindowRect();
            CHECK((r.right - r.left == 450 && r.bottom - r.top == 440));
            CHECK(::SendMessageA(d.GetDlgItem(IDC_WM_TAB), TCM_GETITEMCOUNT, 0, 0) == 3);
            CHECK(d.GetDlgItemText(IDC_WM_FILE) == "C:\\output.wmv");
            CHECK(d.GetDlgItemText(IDC_WM_PORT) == "8080");
            CHECK(d.Checked(IDC_WM_BROADCAST));
            CHECK(d.Checked(IDC_WM_ARCHIVE));
            CHECK(!d.Checked(IDC_WM_ADD_INDEX));
            CHECK(!d.Checked(IDC_WM_PUSH));
            CHECK(!d.Enabled(IDC_WM_SERVER));
            CHECK(d.SelectedProfileLine() == 9);
            CHECK(d.GetDlgItemText(IDC_WM_PROFILE_TEXT) == "About profile 9");
            CHECK(d.GetDlgItemText(IDC_WM_URL_LAN) == "http://" + host + ":8080");
            CHECK(d.GetDlgItemText(IDC_WM_URL_NET) == "http://" + address + ":8080");
            /* Page 0 shows, the others wait. */
            CHECK((d.Visible(IDC_WM_TITLE) && !d.Visible(IDC_WM_PROFILES) && !d.Visible(IDC_WM_PORT)));
            Photograph(d.m_hWnd, "wm_options_information.bmp", 4);
            d.Tab(1);
            CHECK((d.Visible(IDC_WM_PROFILES) && d.Visible(IDC_WM_NEW) && !d.Visible(IDC_WM_DESTINATION) &&
                   !d.Visible(IDC_WM_TITLE) && !::IsWindowVisible(d.BitrateList().m_hWnd)));
            Photograph(d.m_hWnd, "wm_options_profile.bmp", 4);
            d.PickProfile(4);
            CHECK(d.GetDlgItemText(IDC_WM_PROFILE_TEXT) == "About profile 4");
            d.Tab(2);
            CHECK((d.Visible(IDC_WM_PORT) && !d.Visible(IDC_WM_PROFILES)));
            Photograph(d.m_hWnd, "wm_options_output.bmp", 4);
            d.SetDlgItemText(IDC_WM_TITLE, "Evening news");
            d.SetDlgItemText(IDC_WM_AUTHOR, "Studio 2");
            d.SetDlgItemText(IDC_WM_COPYRIGHT, "(c) us");
            d.SetDlgItemText(IDC_WM_RATING, "G");
            d.SetDlgItemText(IDC_WM_DESCRIPTION, "Live");
            d.SetDlgItemText(IDC_WM_FILE, "C:\\shows\\news.wmv");
            d.SetDlgItemText(IDC_WM_PORT, "9000");
            CHECK(d.GetDlgItemText(IDC_WM_URL_LAN) == "http://" + host + ":9000");
            CheckDlgButton(d.m_hWnd, IDC_WM_ADD_INDEX, BST_CHECKED);
            d.Click(IDC_WM_ADD_INDEX);          /* the index switch reaches the engine at once */
            CheckDlgButton(d.m_hWnd, IDC_WM_BROADCAST, BST_UNCHECKED);
            d.Click(IDC_WM_BROADCAST);
            CHECK(!d.Enabled(IDC_WM_PORT));
            d.SetDlgItemText(IDC_WM_SERVER, "media.example:8081");
            d.SetDlgItemText(IDC_WM_POINT, "live");
            d.SetDlgItemText(IDC_WM_COPY_FROM, "template");
            CheckDlgButton(d.m_hWnd, IDC_WM_AUTO_REMOVE, BST_CHECKED);
            d.Click(IDOK);
        };
        REQUIRE(dlg.DoModal() == IDOK);
    }
    CHECK(fake::Calls({"IndexOnOff"}) == std::vector<std::string>{"IndexOnOff 0", "IndexOnOff 1"});
    const cl::CProfile &p = fx.profile;
    const char *sec = "EncodingOption\\WindowsMedia";
    CHECK(p.GetString(sec, "Title", "-") == "Evening news");
    CHECK(p.GetString(sec, "Author", "-") == "Studio 2");
    CHECK(p.GetString(sec, "Copyright", "-") == "(c) us");
    CHECK(p.GetString(sec, "Rating", "-") == "G");
    CHECK(p.GetString(sec, "Description", "-") == "Live");
    CHECK(p.GetString(sec, "ArchivingFileName", "-") == "C:\\shows\\news.wmv");
    CHECK(p.GetString(sec, "PushServer", "-") == "media.example:8081");
    CHECK(p.GetString(sec, "PublishingPoint", "-") == "live");
    CHECK(p.GetString(sec, "CopyFrom", "-") == "template");
    CHECK(p.GetInt(sec, "AutoRemove", -1) == 1);
    CHECK(p.GetInt(sec, "Port", -1) == 9000);
    CHECK(p.GetInt(sec, "Addindex", -1) == 1);
    CHECK(p.GetInt(sec, "PushToServer", -1) == 0);
    CHECK(p.GetInt(sec, "ArchiveToFile", -1) == 1);
    CHECK(p.GetInt(sec, "Broadcast", -1) == 0);
    CHECK(p.GetInt(sec, "WM8ProfileIndex", -1) == 4);
    CHECK(p.GetString(sec, "WM8ProfileName", "-") == "Profile 4");
    CHECK(p.GetInt("EncodingOption", "ProfileVersion", -1) == 0);

    /* Read back; the profile is found by name after the list changed. */
    fake::S().profiles.erase(fake::S().profiles.begin());
    Dlg again(fx.profile, fx.configs, 1);
    again.script = [](Dlg &d) {
        CHECK(d.GetDlgItemText(IDC_WM_TITLE) == "Evening news");
        CHECK(d.GetDlgItemText(IDC_WM_FILE) == "C:\\shows\\news.wmv");
        CHECK(d.GetDlgItemText(IDC_WM_PORT) == "9000");
        CHECK(d.GetDlgItemText(IDC_WM_SERVER) == "media.example:8081");
        CHECK((!d.Checked(IDC_WM_BROADCAST) && d.Checked(IDC_WM_ADD_INDEX) && d.Checked(IDC_WM_AUTO_REMOVE)));
        CHECK(!d.Enabled(IDC_WM_FREE_PORT));
        CHECK(d.SelectedProfileName() == "Profile 4");
        d.Click(IDCANCEL);
    };
    CHECK(again.DoModal() == IDCANCEL);
    CHECK(boxes.boxes().empty());
}

TEST_CASE("Options dialog: the port edit and FreePort", "[wmoptions]")
{
    Fixture fx;
    std::string host, address;
    LocalHostAddresses(&host, &address);
    Dlg dlg(fx.profile, fx.configs, 1);
    dlg.script = [&](Dlg &d) {
        struct Step { const char *typed; int port; };
        const Step steps[] = {{"7070", 7070}, {"0", 7070}, {"", 8080}, {"abc", 8080}, {"9100", 9100}};
        for (const Step &s : steps) {
            INFO("typed '" << s.typed << "'");
            d.SetDlgItemText(IDC_WM_PORT, s.typed);
            CHECK(d.m_nPort == s.port);
            CHECK(d.GetDlgItemText(IDC_WM_URL_LAN) == "http://" + host + ":" + std::to_string(s.port));
        }
        d.Click(IDC_WM_FREE_PORT);
        CHECK(d.m_nPort == 9101);
        CHECK(d.GetDlgItemText(IDC_WM_PORT) == "9101");
        CHECK(d.GetDlgItemText(IDC_WM_URL_NET) == "http://" + address + ":9101");
        d.Click(IDCANCEL);
    };
    CHECK(dlg.DoModal() == IDCANCEL);
    CHECK(fx.profile.GetInt("EncodingOption\\WindowsMedia", "Port", -1) == -1);   /* Cancel writes nothing */
}

TEST_CASE("Options dialog, Windows Media 9: bit-rate rows from the configurations and UserChosePrx from the checked rows",
          "[wmoptions][wm9]")
{
    Fixture fx;
    BoxCapture boxes;
    Dlg dlg(fx.profile, fx.configs, 16);
    dlg.script = [&](Dlg &d) {
        CHECK(::SendMessageA(d.GetDlgItem(IDC_WM_TAB), TCM_GETITEMCOUNT, 0, 0) == 4);
        CHECK(::SendMessageA(d.GetDlgItem(IDC_WM_DESTINATION), CB_GETCOUNT, 0, 0) == 8);
        CHECK(::SendMessageA(d.GetDlgItem(IDC_WM_DESTINATION), CB_GETCURSEL, 0, 0) == 2);
        /* Destination 2 lists its one video and one audio configuration (not the script). */
        CHECK(::SendMessageA(d.GetDlgItem(IDC_WM_VIDEO), CB_GETCOUNT, 0, 0) == 1);
        CHECK(::SendMessageA(d.GetDlgItem(IDC_WM_AUDIO), CB_GETCOUNT, 0, 0) == 1);
        REQUIRE(d.Rows() == 3);
        /* (video kbps + 9) x 1000 + audio, in kbps; past the audio streams the last one again. */
        CHECK(d.RowText(0, 0) == "355 Kbps");
        CHECK(d.RowText(1, 0) == "189 Kbps");
        CHECK(d.RowText(2, 0) == "84 Kbps");
        CHECK(d.RowText(0, 1) == "29.97 fps");
        CHECK(d.RowText(2, 2) == "176 x 144");
        WmBitrateRow r = d.Row(1);
        CHECK((r.videoBitrate == 148000 && r.keySeconds == 4 && r.bufferWindow == 3000 && r.quality == 50 &&
               r.width == 320 && r.audioBitrate == 32000));
        CHECK(r.frameRate == Approx(15.0));
        CHECK(d.Row(2).audioBitrate == 32000);
        /* A fresh profile checks row "0". */
        CHECK(d.CheckedRows() == std::vector<int>{0});
        d.Tab(1);
        CHECK((d.Visible(IDC_WM_DESTINATION) && d.Visible(IDC_WM_VIDEO) && ::IsWindowVisible(d.BitrateList().m_hWnd) &&
               !d.Visible(IDC_WM_PROFILES)));
        CHECK((!d.Enabled(IDC_WM_NEW) && d.Enabled(IDC_WM_COPY) && !d.Enabled(IDC_WM_EDIT) && !d.Enabled(IDC_WM_DELETE)));
        CHECK(!::IsWindowVisible(d.DataList()));
        Photograph(d.m_hWnd, "wm_options_profile_wm9.bmp", 4);
        d.Tab(3);
        CHECK((d.Visible(IDC_WM_PUSH) && d.Visible(IDC_WM_SERVER) && !d.Visible(IDC_WM_PORT)));
        Photograph(d.m_hWnd, "wm_options_push.bmp", 4);
        /* OK with no row checked says so and stays. */
        d.BitrateList().UncheckAll();
        fake::S().calls.clear();
        d.Click(IDOK);
        CHECK(boxes.texts() == std::vector<std::string>{"At least You need to select one bit rate in the list."});
        CHECK(fake::Calls({"CreateNewProfile", "SaveProfile"}).empty());
        d.BitrateList().SetCheck(0, true);
        d.BitrateList().SetCheck(2, true);
        d.Click(IDOK);
    };
    REQUIRE(dlg.DoModal() == IDOK);
    CHECK(fake::Calls({"CreateNewProfile", "SetProfileName", "Add", "SaveProfile"}) ==
          std::vector<std::string>{"CreateNewProfile", "SetProfileName UserChosePrx",
                                   "AddAudioStream9 type2000 64000", "AddVideoStream9 type1000 q70 k8 w5000",
                                   "AddAudioStream9 type2001 32000", "AddVideoStream9 type1002 q0 k10 w5000",
                                   "SaveProfile"});
    const cl::CProfile &p = fx.profile;
    const char *sec = "EncodingOption\\WindowsMedia";
    CHECK(p.GetInt(sec, "WM9Destination", -1) == 2);
    CHECK(p.GetInt(sec, "WM9Video", -1) == 0);
    CHECK(p.GetInt(sec, "WM9Audio", -1) == 0);
    CHECK(p.GetInt(sec, "WM9SelBandWidthNumbers", -1) == 3);
    CHECK(p.GetInt(sec, "WM9CheckedNumbers", -1) == 2);
    CHECK(p.GetString(sec, "WM9CheckBitrate", "-") == "0,2");
    CHECK(p.GetInt(sec, "WM9ProfileIndex", -1) == 12);
    CHECK(p.GetInt("EncodingOption", "ProfileVersion", -1) == 1);
    CHECK(fake::S().profiles.back().first == "UserChosePrx");

    /* The next run checks the stored rows. */
    Dlg again(fx.profile, fx.configs, 16);
    again.script = [](Dlg &d) {
        CHECK(d.CheckedRows() == std::vector<int>{0, 2});
        d.Click(IDCANCEL);
    };
    CHECK(again.DoModal() == IDCANCEL);
}

TEST_CASE("Options dialog, Windows Media 9: destinations, a single video stream, repeated rows", "[wmoptions][wm9]")
{
    Fixture fx;
    BoxCapture boxes;
    Dlg dlg(fx.profile, fx.configs, 16);
    dlg.script = [&](Dlg &d) {
        /* One video stream and two audio streams: two rows, both checked by the list. */
        fake::S().calls.clear();
        d.Pick(IDC_WM_DESTINATION, 3);
        CHECK(fake::Calls({"GetCodecCount", "LoadProfile9"}) ==
              std::vector<std::string>{"GetCodecCount 1", "LoadProfile9 v_one.prx", "GetCodecCount 0",
                                       "LoadProfile9 a_one.prx", "GetCodecCount 1", "LoadProfile9 v_one.prx",
                                       "GetCodecCount 0", "LoadProfile9 a_one.prx"});
        REQUIRE(d.Rows() == 2);
        CHECK(d.CheckedRows() == std::vector<int>{0, 1});
        CHECK(d.RowText(0, 0) == "557 Kbps");
        CHECK(d.RowText(1, 0) == "605 Kbps");   /* past the video stream: (500000 + 96000 + 9000) / 1000 */
        /* A destination without configurations empties the lists and keeps the rows. */
        d.Pick(IDC_WM_DESTINATION, 5);
        CHECK(::SendMessageA(d.GetDlgItem(IDC_WM_VIDEO), CB_GETCOUNT, 0, 0) == 0);
        CHECK(d.Rows() == 2);
        /* "User Define": the own profiles. */
        d.Tab(1);
        d.Pick(IDC_WM_DESTINATION, 7);
        CHECK(d.m_nWmVersion == 256);
        CHECK((d.Visible(IDC_WM_PROFILES) && !::IsWindowVisible(d.BitrateList().m_hWnd) && d.Enabled(IDC_WM_EDIT)));
        RECT r;
        GetWindowRect(d.GetDlgItem(IDC_WM_PROFILES), &r);
        CHECK((r.right - r.left == 360 && r.bottom - r.top == 155));
        d.Pick(IDC_WM_DESTINATION, 3);
        CHECK(d.m_nWmVersion == 16);
        /* Two equal rows: OK adds the streams once. */
        fake::S().files["v_one.prx"].video.push_back(fake::S().files["v_one.prx"].video[0]);
        fake::S().files["a_one.prx"].audio[1] = 48000;
        d.Pick(IDC_WM_VIDEO, 0);
        REQUIRE(d.Rows() == 2);
        d.BitrateList().SetCheck(0, true);
        d.BitrateList().SetCheck(1, true);
        fake::S().calls.clear();
        d.Click(IDOK);
    };
    REQUIRE(dlg.DoModal() == IDOK);
    CHECK(fake::Calls({"Add"}).size() == 2);
    CHECK(fx.profile.GetString("EncodingOption\\WindowsMedia", "WM9CheckBitrate", "-") == "0,1");
    CHECK(fx.profile.GetInt("EncodingOption\\WindowsMedia", "WM9Destination", -1) == 3);
    CHECK(boxes.boxes().empty());
}

TEST_CASE("Options dialog: the profile buttons open their dialogs, guard UserChosePrx and ask before deleting",
          "[wmoptions][buttons]")
{
    Fixture fx;
    fake::S().profiles[3].first = "UserChosePrx";
    std::vector<std::string> opened;
    auto runner = [&](const char *who, INT_PTR answer) {
        return [&opened, who, answer](CWmEncodingOptionsDlg &owner, int mode) {
            opened.push_back(std::string(who) + " " + std::to_string(mode) + " on '" + owner.SelectedProfileName() + "'");
            return answer;
        };
    };
    SECTION("Windows Media 8: the profile manager in modes 0, 1 and 2")
    {
        Dlg dlg(fx.profile, fx.configs, 1);
        dlg.runProfileManager = runner("manager", IDOK);
        dlg.runProfileEditor = runner("editor", IDOK);
        dlg.script = [](Dlg &d) {
            d.PickProfile(5);
            d.Click(IDC_WM_NEW);
            d.Click(IDC_WM_COPY);
            d.Click(IDC_WM_EDIT);
            CHECK(d.SelectedProfileLine() == 5);
            d.Click(IDCANCEL);
        };
        dlg.DoModal();
        CHECK(opened == std::vector<std::string>{"manager 0 on 'Profile 5'", "manager 1 on 'Profile 5'",
                                                 "manager 2 on 'Profile 5'"});
    }
    SECTION("Own profiles: the editor; UserChosePrx is neither edited nor deleted; Delete asks")
    {
        BoxCapture boxes(IDNO);
        Dlg dlg(fx.profile, fx.configs, 256);
        dlg.runProfileEditor = runner("editor", IDCANCEL);
        dlg.script = [&](Dlg &d) {
            d.PickProfile(3);
            d.Click(IDC_WM_EDIT);
            d.Click(IDC_WM_DELETE);
            CHECK(boxes.texts() == std::vector<std::string>{"UserChosePrx is System Profile.",
                                                            "UserChosePrx is System Profile."});
            boxes.clear();
            d.PickProfile(6);
            d.Click(IDC_WM_EDIT);
            d.Click(IDC_WM_COPY);
            d.Click(IDC_WM_NEW);
            /* Delete asks; No keeps the profile. */
            d.Click(IDC_WM_DELETE);
            CHECK(boxes.texts() == std::vector<std::string>{"Delete the profile \"Profile 6\"?"});
            CHECK(fake::S().profiles.size() == 12);
            boxes.answer(IDYES);
            d.Click(IDC_WM_DELETE);
            CHECK(fake::S().profiles.size() == 11);
            CHECK(fake::S().profiles[6].first == "Profile 7");
            CHECK(d.SelectedProfileLine() == 6);
            CHECK(d.GetDlgItemText(IDC_WM_PROFILE_TEXT) == "About profile 7");
            d.PickProfile(10);
            d.Click(IDC_WM_DELETE);
            CHECK(d.SelectedProfileLine() == 9);     /* the last line went: the new last one */
            d.Click(IDOK);
        };
        REQUIRE(dlg.DoModal() == IDOK);
        CHECK(opened == std::vector<std::string>{"editor 2 on 'Profile 6'", "editor 3 on 'Profile 6'",
                                                 "editor 0 on 'Profile 6'"});
        CHECK(fx.profile.GetInt("EncodingOption\\WindowsMedia", "UserProfileIndex", -1) == 9);
        CHECK(fx.profile.GetString("EncodingOption\\WindowsMedia", "UserProfileName", "-") == "Profile 10");
        CHECK(fx.profile.GetInt("EncodingOption", "ProfileVersion", -1) == 2);
    }
    SECTION("Windows Media 9 Copy: Profile_copy from the checked rows, deleted again when the editor is cancelled")
    {
        Dlg dlg(fx.profile, fx.configs, 16);
        dlg.runProfileEditor = runner("editor", IDCANCEL);
        dlg.script = [](Dlg &d) {
            d.Click(IDC_WM_COPY);
            d.Click(IDCANCEL);
        };
        dlg.DoModal();
        CHECK(opened == std::vector<std::string>{"editor 1 on 'Profile_copy'"});
        CHECK(fake::Calls({"SetProfileName", "DeleteProfile"}) ==
              std::vector<std::string>{"SetProfileName Profile_copy", "DeleteProfile 12"});
        CHECK(fake::S().profiles.size() == 12);
    }
}

namespace {
/* Closes the options dialog from inside its modal loop (a thread timer):
 * OK after choosing "User Define", or Cancel. */
std::function<bool()> g_closer;
void CALLBACK CloseTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    if (g_closer && g_closer()) KillTimer(nullptr, id);
}
std::function<bool()> CloseWith(UINT button, bool userDefine)
{
    return [button, userDefine] {
        HWND w = FindWindowA(nullptr, "Windows Media Encoding Options");
        if (!w || !IsWindowVisible(w)) return false;
        if (userDefine) {
            SendMessageA(GetDlgItem(w, IDC_WM_DESTINATION), CB_SETCURSEL, 7, 0);
            SendMessageA(w, WM_COMMAND, MAKEWPARAM(IDC_WM_DESTINATION, CBN_SELCHANGE), 0);
        }
        PostMessageA(w, WM_COMMAND, button, 0);
        return true;
    };
}
} // namespace

TEST_CASE("ShowWmEncodingOptions: OK hands the family back and applies the settings, Cancel changes nothing",
          "[wmoptions]")
{
    Fixture fx;
    int kind = ENCODER_WM, version = 16, remote = 0;
    EncoderSelection sel(kind, version, remote);
    sel.profile = &fx.profile;
    sel.wm9Configs = fx.configs;

    g_closer = CloseWith(IDOK, true);
    UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseTimer);
    CHECK(ShowWmEncodingOptions(sel, nullptr) == 1);
    KillTimer(nullptr, timer);
    CHECK(version == 256);
    CHECK(sel.m_bWmSettingsApplied == 1);
    CHECK(fx.profile.GetInt("EncodingOption", "ProfileVersion", -1) == 2);
    /* The apply step ran with the saved keys: family 256, broadcast on port 8080. */
    CHECK(fake::Calls({"SetWMFVersion", "SetBroadcastPort"}) ==
          std::vector<std::string>{"SetWMFVersion 256", "SetBroadcastPort 8080"});

    fake::S().calls.clear();
    g_closer = CloseWith(IDCANCEL, false);
    sel.m_bWmSettingsApplied = 0;
    timer = SetTimer(nullptr, 0, 50, CloseTimer);
    CHECK(ShowWmEncodingOptions(sel, nullptr) == 0);
    KillTimer(nullptr, timer);
    g_closer = nullptr;
    CHECK(version == 256);
    CHECK(sel.m_bWmSettingsApplied == 0);
    CHECK(fake::Calls({"SetWMFVersion", "SetBroadcastPort"}).empty());
}
