#include "ui/help.h"

#include <cstdint>

#include "platform/resources.h"
#include "platform/message_boxes.h"
#include "platform/services.h"
#include "platform/thread_state.h"
#include "ui/message_format.h"
#include "ui/message_ids.h"
#include "ui/messages.h"

namespace {

constexpr std::uint32_t kLocaleUserDefault = 0x0400;   // LOCALE_USER_DEFAULT: the user's own language
constexpr std::uint32_t kStyleInformation = 0x50040;  // MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND | MB_TOPMOST

// One line per switch: the deployment switches ("/quiet", "/passive",
// "/norestart", "/log", "/cmtrace", "/check"), then "/q", "/e", "/i" and "/?".
constexpr unsigned kSwitchLines[] = {kMsgHelpFirstSwitch, 323, 324, 325, kMsgHelpCmtrace, kMsgHelpCheck, 326, 327,
                                     328, kMsgHelpLastSwitch};

std::wstring Text(unsigned id) {
    std::wstring text;
    LoadMessageText(ModuleInstance, id, text, kMessageTextCapacity);
    return text;
}

}  // namespace

std::wstring HelpText(const std::wstring& version) {
    std::wstring text = FillPlaceholder(Text(kMsgHelpVersion), L"%s", version, kMessageTextCapacity) + L"\n";
    for (unsigned id : kSwitchLines) text += L"\n" + Text(id);
    text += L"\n\n" + Text(kMsgHelpExitCodesHeading) + L"\n" + Text(kMsgHelpExitCodes);
    return text;
}

void ShowHelp(const std::wstring& version) {
    // A neutral locale makes the catalogue follow the user's UI language.
    platform::Current().thread->setThreadLocale(kLocaleUserDefault);
    platform::Current().boxes->show(HelpText(version), Text(kMsgHelpCaption), kStyleInformation);
}
