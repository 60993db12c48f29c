/*
 * How the scheduler's plain classes talk to the operator: a warning with an
 * OK button and a Yes/No question, both in a box captioned "Warning" with the
 * stop icon.  The program passes a MessageBoxPrompt; tests pass a recorder.
 */
#ifndef SCHEDULER_PROMPT_H
#define SCHEDULER_PROMPT_H

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <string>

class OperatorPrompt {
public:
    virtual ~OperatorPrompt() = default;
    virtual void Warn(const std::string &text) = 0;
    /* True for Yes. */
    virtual bool AskYesNo(const std::string &text) = 0;
};

class MessageBoxPrompt : public OperatorPrompt {
public:
    explicit MessageBoxPrompt(HWND owner = nullptr) : owner_(owner) {}
    void SetOwner(HWND owner) { owner_ = owner; }
    void Warn(const std::string &text) override;
    bool AskYesNo(const std::string &text) override;

private:
    HWND owner_;
};

#endif
