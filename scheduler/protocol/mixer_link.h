/*
 * The scheduler's side of the remote-control protocol: the connection to
 * the mixer (LaunchProgram, ConnectMixer and the hello), the requests with
 * their packing checks, the source and title descriptors, and the handling
 * of every reply with its run-log line (OnMixerReply).
 *
 * What the scheduler window does in answer (labels, list repaints, timers,
 * the run-state resets of the on-air sequencer) it supplies as hooks; the
 * rest is plain state here.  UI thread only.
 */
#ifndef SCHEDULER_MIXER_LINK_H
#define SCHEDULER_MIXER_LINK_H

#include <functional>
#include <string>

#include "protocol/remote_protocol.h"

class OperatorPrompt;
class RunLog;
class SourceSchedule;
class TitleSchedule;

/* Starts 'program' (relative to this program's folder unless it holds a
 * ':') with the command line "\"full path\" word" and waits until it is idle
 * for input.  The command line built is returned through 'commandLine'; with
 * 'process' the caller receives the process handle and closes it. */
BOOL LaunchProgram(const char *program, const char *word, std::string *commandLine = nullptr,
                   HANDLE *process = nullptr);

struct MixerLinkHooks {
    /* Posts a message (the test records it; the program calls PostMessage). */
    std::function<void(HWND to, int code, LPARAM arg)> post;
    /* Sends a descriptor (SendMessage WM_COPYDATA in the program). */
    std::function<void(HWND to, HWND from, const COPYDATASTRUCT &cds)> sendCopyData;
    std::function<void(int item)> showSourceNumberBlinking;
    std::function<void(int item)> showTitleNumberBlinking;
    std::function<void()> stopTitleNumberBlinking; /* a blinking label shows "0000" */
    std::function<void()> repaintTitles;
    std::function<void()> closeWindow;
    std::function<void(int timer)> stopTimer;
    std::function<void()> resetSourceRun, resetTitleRun, finishSchedule;
    std::function<bool()> sourceChanged, titleChanged;
    std::function<void()> saveSource, saveTitle;
    std::function<void(int width)> setLogStateColumn;
    std::function<void(int pixels)> scrollLog;
    /* The mixer's answer to a source load: the item loaded (true) or could
     * not be loaded (false). */
    std::function<void(int item, bool loaded)> sourceLoadAnswer;
};

class MixerLink {
public:
    MixerLink(SourceSchedule &sources, TitleSchedule &titles, RunLog &log, OperatorPrompt &prompt,
              MixerLinkHooks hooks);

    void SetOwnWindow(HWND self) { self_ = self; }
    HWND OwnWindow() const { return self_; }
    HWND MixerWindow() const { return mixer_; }
    void SetMixerWindow(HWND w) { mixer_ = w; }
    /* The program started when no mixer runs (default "Corvane.exe"). */
    void SetMixerProgram(const std::string &program) { program_ = program; }
    /* How long ConnectMixer looks for the window of a mixer it started
     * (the wait for input idle does not cover a window made later). */
    void SetStartWait(DWORD ms) { startWaitMs_ = ms; }

    /* Finds the mixer by title; 1 when it was running, 0 when it was started
     * (or could not be).  Logs "Corvane is operating." with the outcome. */
    BOOL ConnectMixer();
    /* ConnectMixer, then RC_HELLO when the mixer was already running. */
    void Start();

    /* Requests.  Each returns false, posts nothing and logs a FAIL line when
     * a value cannot travel in the packed argument. */
    bool Hello();
    bool PauseChannel(int channel);
    bool PlayChannel(int channel, int item);
    bool SelectChannel(int channel, int item = 0);
    bool Switch(int transition, double seconds);
    bool SeekChannel(int channel, int seconds);
    bool TitleOn(int titleItem);
    bool Plain(remote::Code code); /* the codes whose argument is 0 */
    /* Posts a notice to the scheduler's own window, naming it (see the
     * protocol header). */
    void PostSelfNotice(remote::Code code);

    bool SendSource(int channel, const std::string &video, const std::string &audio, int number, bool devices);
    bool SendTitle(int titleItem, const std::string &path);

    /* The scheduler window's handler of message 3000; always -1. */
    LRESULT OnMixerReply(WPARAM code, LPARAM arg);

    int CurrentSourceItem() const { return currentSource_; }
    int LastHandledSourceIndex() const { return lastHandled_; }
    int CurrentTitle() const { return currentTitle_; }
    int LastLoadedTitleIndex() const { return lastLoadedTitle_; }
    void SetCurrentSourceItem(int item) { currentSource_ = item; }

private:
    void Log(const std::string &text, const char *status = "SUCCESS");
    void Refuse(const char *request, long long value);
    void Post(int code, LPARAM arg);
    template <typename F> void Call(const F &f) { if (f) f(); }

    SourceSchedule &sources_;
    TitleSchedule &titles_;
    RunLog &log_;
    OperatorPrompt &prompt_;
    MixerLinkHooks hooks_;
    HWND self_ = nullptr, mixer_ = nullptr;
    std::string program_ = remote::kMixerProgram;
    DWORD startWaitMs_ = 10000;
    remote::SourceDescriptorBuffer descriptor_{};
    int currentSource_ = 0, lastHandled_ = 0, currentTitle_ = 0, lastLoadedTitle_ = 0;
};

#endif
