/*
 * Drives a running modal mixer window from inside its own loop: steps run
 * one after another from a thread timer; a step answers true when done and
 * is retried (every 50 ms) until then, with a bound per step.  A step that
 * opens something modal runs to its end inside the step (the timer does not
 * re-enter while a step runs).
 */
#ifndef CORV_MIXER_TESTS_MIXER_SCRIPT_H
#define CORV_MIXER_TESTS_MIXER_SCRIPT_H

#include <catch2/catch.hpp>
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

class MixerScript {
public:
    using Step = std::function<bool()>;
    MixerScript &Then(const std::string &name, Step s, DWORD boundMs = 15000)
    {
        steps_.push_back({name, std::move(s), boundMs});
        return *this;
    }
    /* A step that only waits ms. */
    MixerScript &Wait(DWORD ms)
    {
        auto until = std::make_shared<DWORD>(0);
        return Then("wait", [until, ms] {
            if (!*until) *until = GetTickCount() + ms;
            return (int)(GetTickCount() - *until) >= 0;
        }, ms + 5000);
    }
    /* Starts the steps; onEnd runs after the last one (or after a step ran out of time). */
    void Start(std::function<void()> onEnd)
    {
        onEnd_ = std::move(onEnd);
        current() = this;
        timer_ = SetTimer(nullptr, 0, 50, Tick);
    }
    bool Finished() const { return at_ >= steps_.size(); }
    std::string Failed() const { return failed_; }

private:
    struct Entry { std::string name; Step step; DWORD bound; };
    static MixerScript *&current() { static MixerScript *c = nullptr; return c; }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        MixerScript *s = current();
        if (!s || s->busy_ || s->done_) return;
        s->busy_ = true;
        if (s->at_ < s->steps_.size()) {
            Entry &e = s->steps_[s->at_];
            if (!s->started_) { s->started_ = GetTickCount(); }
            bool ok = e.step();
            if (ok) {
                ++s->at_;
                s->started_ = 0;
            } else if (GetTickCount() - s->started_ > e.bound) {
                s->failed_ = e.name;
                s->at_ = s->steps_.size() + 1;
            }
        }
        if (s->at_ >= s->steps_.size() && !s->done_) {
            s->done_ = true;
            KillTimer(nullptr, s->timer_);
            if (s->onEnd_) s->onEnd_();
        }
        s->busy_ = false;
    }
    std::vector<Entry> steps_;
    size_t at_ = 0;
    DWORD started_ = 0;
    bool busy_ = false, done_ = false;
    UINT_PTR timer_ = 0;
    std::string failed_;
    std::function<void()> onEnd_;
};

/* Real key input (the window must be in front). */
inline void Keys(std::initializer_list<WORD> held, WORD key, bool system = false)
{
    (void)system;
    std::vector<INPUT> in;
    auto push = [&](WORD vk, bool up) {
        INPUT i = {};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = vk;
        i.ki.wScan = (WORD)MapVirtualKeyA(vk, 0);
        i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    };
    for (WORD h : held) push(h, false);
    push(key, false);
    push(key, true);
    for (auto it = held.end(); it != held.begin();) push(*--it, true);
    SendInput((UINT)in.size(), in.data(), sizeof(INPUT));
}

/* A real left click at client point (x, y) of a window: the pointer moves
 * there and the button goes down and up through the input queue.  The
 * window's own loop handles it once the current step returns. */
inline void MouseClick(HWND w, int x, int y)
{
    POINT p = {x, y};
    ClientToScreen(w, &p);
    SetCursorPos(p.x, p.y);
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, in, sizeof(INPUT));
}

/* A real click on the middle of a window. */
inline void MouseClick(HWND w)
{
    RECT r = {};
    GetClientRect(w, &r);
    MouseClick(w, r.right / 2, r.bottom / 2);
}

#endif
