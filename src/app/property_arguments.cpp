#include "app/property_arguments.h"

#include "app/run_log.h"
#include "app/switches.h"
#include "package/file_names.h"
#include "platform/error_codes.h"
#include "platform/services.h"
#include "platform/thread_state.h"
#include "ui/message_ids.h"
#include "ui/messages.h"

namespace {

constexpr std::size_t kCommandLineCapacity = 1024;  // the Windows Installer's, terminator included
// The patch run's own command line without its two variable texts.
constexpr wchar_t kOwnCommandLine[] = L"PATCH=\"\" REBOOTPROMPT=S FILESINUSETEXT=\"\" REBOOT=ReallySuppress";

bool IsNameStart(wchar_t c) { return (c >= L'A' && c <= L'Z') || c == L'_' || c == L'.'; }
bool IsNameCharacter(wchar_t c) { return IsNameStart(c) || (c >= L'0' && c <= L'9'); }

std::wstring NameOf(const std::wstring& argument) { return argument.substr(0, argument.find(L'=')); }

// The property as one ` NAME="VALUE"` of the command line.
std::wstring Quoted(const std::wstring& argument) {
    const std::size_t equals = argument.find(L'=');
    std::wstring text = L" " + argument.substr(0, equals + 1) + L"\"";
    for (std::size_t i = equals + 1; i < argument.size(); ++i) {
        if (argument[i] == L'"') text += L'"';
        text += argument[i];
    }
    return text + L"\"";
}

}  // namespace

bool IsPropertyArgument(const std::wstring& argument) {
    const std::size_t equals = argument.find(L'=');
    if (equals == std::wstring::npos || equals == 0 || !IsNameStart(argument[0])) return false;
    for (std::size_t i = 1; i < equals; ++i) {
        if (!IsNameCharacter(argument[i])) return false;
    }
    return true;
}

std::size_t PropertiesCapacity() {
    const std::size_t own = (sizeof(kOwnCommandLine) / sizeof(wchar_t) - 1) + kMaxPathChars + (kMessageTextCapacity - 1);
    return kCommandLineCapacity - 1 - own;
}

std::optional<std::wstring> PropertyRefusal(const std::vector<std::wstring>& properties, bool noRestart,
                                            std::wstring& refused) {
    std::size_t length = 0;
    for (const std::wstring& argument : properties) {
        refused = argument;
        const std::wstring name = NameOf(argument);
        if (name == L"PATCH") return std::wstring(L"PATCH names the patch package, which the update passes itself");
        if (name == L"REBOOTPROMPT" || name == L"FILESINUSETEXT") {
            return name + L" belongs to the update, which sets it itself";
        }
        if (name == L"REBOOT" && noRestart) return std::wstring(L"/norestart sets REBOOT=ReallySuppress itself");
        length += Quoted(argument).size();
        if (length > PropertiesCapacity()) {
            return L"the properties up to this one take " + std::to_wstring(length) + L" characters, and at most " +
                   std::to_wstring(PropertiesCapacity()) + L" fit the Windows Installer's command line";
        }
    }
    refused.clear();
    return std::nullopt;
}

std::wstring PropertiesCommandLine(const std::vector<std::wstring>& properties) {
    std::wstring text;
    for (const std::wstring& argument : properties) text += Quoted(argument);
    return text;
}

bool AcceptPropertyArguments() {
    if (!DeploymentMode()) return true;
    for (const std::wstring& argument : PropertyArguments) {
        LogLine(L"Property " + Quoted(argument).substr(1) + L" for every configure call");
    }
    std::wstring refused;
    const std::optional<std::wstring> why = PropertyRefusal(PropertyArguments, NoRestartSwitch, refused);
    if (!why) return true;
    LogLine(L"Argument \"" + refused + L"\" refused: " + *why + L"; nothing is installed");
    platform::Current().thread->setLastError(platform::kErrorInvalidParameter);
    ShowMessage(kMsgFailureWithCode);
    return false;
}

std::wstring PassedPropertiesCommandLine() {
    return DeploymentMode() ? PropertiesCommandLine(PropertyArguments) : std::wstring();
}
