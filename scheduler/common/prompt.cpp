#include "prompt.h"
#include "texts.h"

void MessageBoxPrompt::Warn(const std::string &text)
{
    MessageBoxA(owner_, text.c_str(), texts::kWarningCaption, MB_OK | MB_ICONSTOP);
}

bool MessageBoxPrompt::AskYesNo(const std::string &text)
{
    return MessageBoxA(owner_, text.c_str(), texts::kWarningCaption, MB_YESNO | MB_ICONSTOP) == IDYES;
}
