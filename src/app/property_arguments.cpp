#include "app/property_arguments.h"

#include "app/patch_run.h"
#include "app/run_log.h"
#include "app/switches.h"
#include "package/file_names.h"
#include "platform/error_codes.h"
#include "platform/services.h"
#include "platform/thread_state.h"
#include "ui/message_ids.h"

namespace {

constexpr std::size_t kCommandLineCapacity = 1024;  // the Windows Installer's, terminator included
// The patch run's own command line without its two variable texts.
constexpr wchar_t kOwnCommandLine[] = L"PATCH=\"\" REBOOTPROMPT=S FILESINUSETEXT=\"\" REBOOT=ReallySuppress";

bool IsLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Windows Installer's properties that change what the configure call does:
// which features or components it installs, moves or removes, whether it
// removes a patch, which action it runs (EXECUTEACTION, the action the
// server runs), whether it runs as the removal of an upgraded product
// (UPGRADINGPRODUCTCODE) or which product instance it is. With any of them a
// patch run would become something else and still report "patched".
constexpr const wchar_t* kRefusedProperties[] = {
    L"ACTION",         L"ADDDEFAULT",     L"ADDLOCAL",        L"ADDSOURCE",       L"ADVERTISE",
    L"COMPADDDEFAULT", L"COMPADDLOCAL",   L"COMPADDSOURCE",   L"EXECUTEACTION",   L"FILEADDDEFAULT",
    L"FILEADDLOCAL",   L"FILEADDSOURCE",  L"MSIINSTANCEGUID", L"MSINEWINSTANCE",  L"MSIPATCHREMOVE",
    L"REMOVE",         L"TRANSFORMS",     L"UPGRADINGPRODUCTCODE",
};

// Windows Installer's own documented properties whose values are settings,
// not secrets: the one list of properties whose values the own log shows.
constexpr const wchar_t* kSettingProperties[] = {
    L"ALLUSERS",       L"DISABLEROLLBACK",          L"EXECUTEMODE",  L"LIMITUI",
    L"MSIDISABLERMRESTART", L"MSIENFORCEUPGRADECOMPONENTRULES", L"MSIFASTINSTALL", L"MSIINSTALLPERUSER",
    L"MSIRESTARTMANAGERCONTROL", L"MSIRMSHUTDOWN", L"MSIUNINSTALLSUPERSEDEDCOMPONENTS", L"REBOOT",
    L"REBOOTPROMPT",   L"REINSTALL",                L"REINSTALLMODE",
};

template <std::size_t N>
bool IsIn(const wchar_t* const (&names)[N], const std::wstring& name) {
    for (const wchar_t* listed : names) {
        if (name == listed) return true;
    }
    return false;
}

// A Windows Installer identifier: a letter or "_" first, then letters,
// digits, "_" and ".".
bool IsIdentifier(const std::wstring& name) {
    if (name.empty() || !(IsLetter(name[0]) || name[0] == L'_')) return false;
    for (wchar_t c : name) {
        if (!IsLetter(c) && !IsDigit(c) && c != L'_' && c != L'.') return false;
    }
    return true;
}

bool HasLowerCase(const std::wstring& name) {
    for (wchar_t c : name) {
        if (c >= L'a' && c <= L'z') return true;
    }
    return false;
}

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

bool LooksLikeProperty(const std::wstring& argument) {
    return argument.find(L'=') != std::wstring::npos && argument[0] != L'/';
}

bool IsPropertyArgument(const std::wstring& argument) {
    if (!LooksLikeProperty(argument)) return false;
    // A private property: Windows Installer takes none from a command line,
    // and the update has always let them be.
    const std::wstring name = NameOf(argument);
    return !(IsIdentifier(name) && HasLowerCase(name));
}

std::wstring LoggedProperty(const std::wstring& argument) {
    const std::wstring name = NameOf(argument);
    const std::size_t length = argument.size() - name.size() - 1;
    if (IsIn(kSettingProperties, name)) return Quoted(argument).substr(1);
    return name + L" (a value of " + std::to_wstring(length) + (length == 1 ? L" character)" : L" characters)");
}

std::size_t PropertiesCapacity() {
    const std::size_t own = (sizeof(kOwnCommandLine) / sizeof(wchar_t) - 1) + kMaxPathChars + (kMessageTextCapacity - 1);
    return kCommandLineCapacity - 1 - own;
}

std::optional<std::wstring> PropertyRefusal(const std::vector<std::wstring>& properties, bool noRestart,
                                            std::wstring& refused) {
    std::size_t length = 0;
    for (const std::wstring& argument : properties) {
        const std::wstring name = NameOf(argument);
        refused = name;
        if (!IsIdentifier(name)) {
            return std::wstring(L"not a Windows Installer property name (a letter or _ first, then letters, digits, _ "
                                L"and .)");
        }
        if (IsIn(kRefusedProperties, name)) {
            return name + L" would change what the configure call does (features installed or removed, a patch "
                          L"removed, another action or instance): the update applies its patch and nothing else";
        }
        if (name == L"PATCH") return std::wstring(L"PATCH names the patch package, which the update passes itself");
        // "None" registers the patch without changing anything on the system,
        // and the configure call still answers 0.
        if (name == L"EXECUTEMODE" && argument.substr(name.size() + 1) != L"Script") {
            return std::wstring(L"EXECUTEMODE other than Script would register the patch without applying it");
        }
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
        // A masked value is a warning: the log cannot show what was given.
        LogLine(L"Property " + LoggedProperty(argument) + L" for every configure call",
                IsIn(kSettingProperties, NameOf(argument)) ? LogSeverity::Information : LogSeverity::Warning);
    }
    std::wstring refused;
    const std::optional<std::wstring> why = PropertyRefusal(PropertyArguments, NoRestartSwitch, refused);
    if (!why) return true;
    LogLine(L"Property \"" + refused + L"\" refused: " + *why + L"; nothing is installed", LogSeverity::Warning);
    platform::Current().thread->setLastError(platform::kErrorInvalidParameter);
    RunRecord unused;  // the exit code is the refusal's
    TellUser(kMsgFailureWithCode, unused);
    return false;
}

std::wstring PassedPropertiesCommandLine() {
    return DeploymentMode() ? PropertiesCommandLine(PropertyArguments) : std::wstring();
}

std::wstring LoggedPassedProperties() {
    std::wstring text;
    if (!DeploymentMode()) return text;
    for (const std::wstring& argument : PropertyArguments) text += L" " + LoggedProperty(argument);
    return text;
}

std::vector<std::wstring> LoggedArguments(const std::vector<std::wstring>& arguments) {
    // Every argument that reads as a property, also one the scan did not take
    // (after "/i", or a path after "/e" or "/log"): a value shown too few
    // times is better than a secret shown once. The program's path stays.
    std::vector<std::wstring> logged = arguments;
    for (std::size_t i = 1; i < logged.size(); ++i) {
        if (LooksLikeProperty(logged[i])) logged[i] = LoggedProperty(logged[i]);
    }
    return logged;
}
