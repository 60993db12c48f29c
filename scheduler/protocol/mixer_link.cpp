#include "mixer_link.h"

#include <cstdio>

#include "common/prompt.h"
#include "common/texts.h"
#include "runlog/run_log.h"
#include "schedule/source_schedule.h"
#include "schedule/title_schedule.h"

using namespace remote;

BOOL LaunchProgram(const char *program, const char *word, std::string *commandLine, HANDLE *process)
{
    std::string path = program ? program : "";
    if (path.find(':') == std::string::npos) {
        char self[MAX_PATH] = {0};
        DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string folder(self, n);
        size_t slash = folder.rfind('\\');
        folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
        path = folder + path;
    }
    std::string cmd = "\"" + path + "\"";
    if (word && *word)
        cmd += std::string(" ") + word;
    if (commandLine)
        *commandLine = cmd;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string buf = cmd;
    if (!CreateProcessA(nullptr, &buf[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 0;
    WaitForInputIdle(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    if (process)
        *process = pi.hProcess;
    else
        CloseHandle(pi.hProcess);
    return 1;
}

MixerLink::MixerLink(SourceSchedule &sources, TitleSchedule &titles, RunLog &log, OperatorPrompt &prompt,
                     MixerLinkHooks hooks)
    : sources_(sources), titles_(titles), log_(log), prompt_(prompt), hooks_(std::move(hooks))
{
}

void MixerLink::Log(const std::string &text, const char *status)
{
    log_.Add(text, status);
}

void MixerLink::Refuse(const char *request, long long value)
{
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s : %lld cannot be sent", request, value);
    Log(buf, "FAIL");
}

void MixerLink::Post(int code, LPARAM arg)
{
    if (hooks_.post)
        hooks_.post(mixer_, code, arg);
}

BOOL MixerLink::ConnectMixer()
{
    mixer_ = FindWindowA(nullptr, kMixerWindowTitle);
    if (mixer_) {
        Log(texts::kMixerOperating);
        return 1;
    }
    HANDLE process = nullptr;
    if (LaunchProgram(program_.c_str(), kMixerCommandWord, nullptr, &process)) {
        /* The new mixer makes its window while it starts: look for it a
         * while, as long as the process lives. */
        const DWORD begin = GetTickCount();
        for (;;) {
            mixer_ = FindWindowA(nullptr, kMixerWindowTitle);
            if (mixer_ || GetTickCount() - begin >= startWaitMs_ || WaitForSingleObject(process, 50) == WAIT_OBJECT_0)
                break;
        }
        CloseHandle(process);
        Log(texts::kMixerOperating);
    } else {
        Log(texts::kMixerOperating, "FAIL");
    }
    return 0;
}

void MixerLink::Start()
{
    if (ConnectMixer())
        Hello();
}

bool MixerLink::Hello()
{
    Post(RC_HELLO, WindowArg(self_));
    return true;
}

bool MixerLink::PauseChannel(int channel)
{
    LPARAM a;
    if (!PackChannelItem(channel, 0, a)) {
        Refuse("HOLD channel", channel);
        return false;
    }
    Post(RC_PAUSE_CHANNEL, a);
    return true;
}

bool MixerLink::PlayChannel(int channel, int item)
{
    LPARAM a;
    if (!PackChannelItem(channel, item, a)) {
        Refuse(channel < 1 || channel > 5 ? "PLAY channel" : "PLAY item", channel < 1 || channel > 5 ? channel : item);
        return false;
    }
    Post(RC_PLAY_CHANNEL, a);
    return true;
}

bool MixerLink::SelectChannel(int channel, int item)
{
    LPARAM a;
    if (!PackChannelItem(channel, item, a)) {
        Refuse(channel < 1 || channel > 5 ? "SELECT channel" : "SELECT item", channel < 1 || channel > 5 ? channel : item);
        return false;
    }
    Post(RC_SELECT_CHANNEL, a);
    return true;
}

bool MixerLink::Switch(int transition, double seconds)
{
    LPARAM a;
    if (!PackTransitionTime(transition, seconds, a)) {
        Refuse(transition < 0 || transition > kTransitionMax ? "Effect Type" : "Speed",
               transition < 0 || transition > kTransitionMax ? transition : static_cast<long long>(seconds));
        return false;
    }
    Post(RC_SWITCH, a);
    return true;
}

bool MixerLink::SeekChannel(int channel, int seconds)
{
    LPARAM a;
    if (!PackChannelPosition(channel, seconds, a)) {
        Refuse(channel < 1 || channel > 5 ? "Seek channel" : "Start position", channel < 1 || channel > 5 ? channel : seconds);
        return false;
    }
    Post(RC_SEEK_CHANNEL, a);
    return true;
}

bool MixerLink::TitleOn(int titleItem)
{
    Post(RC_TITLE_ON, titleItem);
    return true;
}

bool MixerLink::Plain(Code code)
{
    Post(code, 0);
    return true;
}

void MixerLink::PostSelfNotice(Code code)
{
    if (hooks_.post)
        hooks_.post(self_, code, WindowArg(self_));
}

bool MixerLink::SendSource(int channel, const std::string &video, const std::string &audio, int number, bool devices)
{
    std::string text;
    if (channel < 1 || channel > 5 || !BuildSourceText(video, audio, number, devices, text) ||
        !FillDescriptor(descriptor_, text)) {
        Refuse("Source", number);
        return false;
    }
    COPYDATASTRUCT cds = {DescriptorData(channel - 1, kDescriptorSource), kDescriptorBytes, descriptor_.text};
    if (hooks_.sendCopyData)
        hooks_.sendCopyData(mixer_, self_, cds);
    return true;
}

bool MixerLink::SendTitle(int titleItem, const std::string &path)
{
    if (titleItem < 0 || titleItem > 0xFFFF || path.empty() || !FillDescriptor(descriptor_, path)) {
        Refuse("CG", titleItem);
        return false;
    }
    COPYDATASTRUCT cds = {DescriptorData(titleItem, kDescriptorTitle), kDescriptorBytes, descriptor_.text};
    if (hooks_.sendCopyData)
        hooks_.sendCopyData(mixer_, self_, cds);
    return true;
}

LRESULT MixerLink::OnMixerReply(WPARAM wcode, LPARAM arg)
{
    const int code = static_cast<int>(wcode);
    const size_t linesBefore = log_.Count();
    char buf[200];
    auto line = [&](const char *fmt, auto... v) {
        std::snprintf(buf, sizeof buf, fmt, v...);
        Log(buf);
    };

    switch (code) {
    case RC_ANNOUNCE:
        mixer_ = ArgWindow(arg);
        if (mixer_)
            Hello();
        break;
    case RC_HELLO_ACK:
        mixer_ = ArgWindow(arg);
        Log(texts::kMixerReady);
        break;
    case RC_PLAY_CHANNEL_DONE: {
        const int item = UnpackLow12(arg);
        line("PLAY AS %04d : Ch%02d : %s", item, UnpackChannel16(arg) + 1, texts::kChannelOn);
        currentSource_ = item;
        lastHandled_ = item - 1;
        if (hooks_.showSourceNumberBlinking)
            hooks_.showSourceNumberBlinking(item);
        break;
    }
    case RC_TITLE_ON_DONE: {
        const int item = Arg(arg);
        line("Title %04d : %s", item, texts::kTitleOn);
        if (hooks_.showTitleNumberBlinking)
            hooks_.showTitleNumberBlinking(item);
        titles_.SetStateOfNumber(item, kTitleOnAir);
        Call(hooks_.repaintTitles);
        currentTitle_ = item;
        break;
    }
    case RC_TITLE_LOADED: {
        const int item = Arg(arg);
        line("CG %04d : %s", item, texts::kStandBy);
        titles_.SetStateOfNumber(item, kTitleReady);
        Call(hooks_.repaintTitles);
        currentTitle_ = item;
        lastLoadedTitle_ = item - 1;
        break;
    }
    case RC_TITLE_OFF_DONE:
        if (arg != 0) {
            line("Title %04d : %s", Arg(arg), texts::kDone);
            Call(hooks_.stopTitleNumberBlinking);
        }
        break;
    case RC_ENCODE_START_DONE:
        Log(texts::kStartEncoding);
        break;
    case RC_SWITCH_DONE:
        line("%s %02d : Speed %02d Sec", texts::kEffectType, UnpackChannel16(arg), UnpackLow12(arg));
        break;
    case RC_SOURCE_LOADED:
        line("AS %04d : Ch%02d : %s", 0, Arg(arg) + 1, texts::kPictureTuning);
        break;
    case RC_SOURCE_LOADED_ITEM:
        line("AS %04d : Ch%02d : %s", UnpackLow12(arg), UnpackChannel16(arg) + 1, texts::kPictureTuning);
        if (hooks_.sourceLoadAnswer)
            hooks_.sourceLoadAnswer(UnpackLow12(arg), true);
        break;
    case RC_SOURCE_FAILED: {
        const int item = UnpackLow12(arg);
        std::snprintf(buf, sizeof buf, "AS %04d : Ch%02d : not loaded", item, UnpackChannel16(arg) + 1);
        Log(buf, "FAIL");
        if (item && hooks_.sourceLoadAnswer)
            hooks_.sourceLoadAnswer(item, false);
        break;
    }
    case RC_TITLE_FAILED:
        std::snprintf(buf, sizeof buf, "CG %04d : not loaded", Arg(arg));
        Log(buf, "FAIL");
        break;
    case RC_ENCODE_START_FAILED:
        Log(texts::kStartEncoding, "FAIL");
        break;
    case RC_SELECT_CHANNEL_DONE:
        line("SELECT AS %04d : Ch%02d : %s", UnpackLow12(arg), UnpackChannel16(arg) + 1, texts::kSelectToSwitch);
        break;
    case RC_ENCODE_STOP_DONE:
        Log(texts::kStopEncoding);
        break;
    case RC_MIXER_EXITED:
        /* Only the mixer of the handshake may say it has gone. */
        if (!mixer_ || ArgWindow(arg) != mixer_)
            break;
        Log(texts::kMixerExited);
        if (prompt_.AskYesNo(texts::kMixerExitedAsk)) {
            Call(hooks_.closeWindow);
            break;
        }
        mixer_ = nullptr;
        if (!sources_.Empty()) {
            if (hooks_.stopTimer) {
                hooks_.stopTimer(4001);
                hooks_.stopTimer(4003);
            }
            Call(hooks_.resetSourceRun);
            sources_.ClearItems();
            log_.Clear();
        }
        if (!titles_.Empty()) {
            if (hooks_.stopTimer)
                hooks_.stopTimer(4004);
            Call(hooks_.resetTitleRun);
            titles_.ClearItems();
        }
        break;
    case RC_SCHEDULE_END:
        if (ArgWindow(arg) != self_ || !self_ || sources_.Empty())
            break;
        if (mixer_)
            Post(RC_TITLE_OFF, 0);
        if (hooks_.sourceChanged && hooks_.sourceChanged() && prompt_.AskYesNo(texts::kScheduleEndSave))
            Call(hooks_.saveSource);
        Call(hooks_.resetSourceRun);
        sources_.ClearItems();
        PostSelfNotice(RC_TITLE_SCHEDULE_END);
        log_.Clear();
        break;
    case RC_TITLE_SCHEDULE_END:
        if (ArgWindow(arg) != self_ || !self_ || titles_.Empty())
            break;
        if (hooks_.titleChanged && hooks_.titleChanged() && prompt_.AskYesNo(texts::kSaveTitleSchedule))
            Call(hooks_.saveTitle);
        Call(hooks_.resetTitleRun);
        titles_.ClearItems();
        break;
    case RC_SCHEDULE_FINISHED:
        if (ArgWindow(arg) != self_ || !self_ || sources_.Empty())
            break;
        if (mixer_)
            Post(RC_TITLE_OFF, 0);
        Call(hooks_.finishSchedule);
        break;
    case RC_SEEK_CHANNEL_DONE:
        line("AS Ch %02d : %s", UnpackChannel14(arg) + 1, texts::kReadyAtStart);
        break;
    case RC_MIXER_OFF_DONE:
        Log(texts::kMixerOff);
        break;
    case RC_ONAIR_START_DONE:
        Log(texts::kMixerOn);
        break;
    case RC_PAUSE_CHANNEL_DONE:
        line("HOLD AS %04d : Ch%02d : %s", currentSource_ & kField12Max, UnpackChannel16(arg) + 1, texts::kMixerOn);
        lastHandled_ = currentSource_;
        break;
    case RC_PLAY_CHANNEL_NOW_DONE:
        line("PLAY AS %04d : Ch%02d : %s", currentSource_ & kField12Max, UnpackChannel16(arg) + 1, texts::kChannelOn);
        if (hooks_.showSourceNumberBlinking)
            hooks_.showSourceNumberBlinking(currentSource_);
        break;
    default:
        break;
    }

    /* Keep the log readable, and its size bounded: at capacity, or while no
     * source schedule is loaded, it is cleared (its lines go to the file). */
    if (hooks_.setLogStateColumn)
        hooks_.setLogStateColumn(RunLog::StateColumnWidth(linesBefore));
    if (linesBefore >= 11 && hooks_.scrollLog)
        hooks_.scrollLog(RunLog::ScrollPixels(linesBefore));
    if (linesBefore >= RunLog::kCapacity || sources_.Empty())
        log_.Clear();
    return -1;
}
