#pragma once
// The message catalogue as its resource scripts (res/strings/*.rc) hold it,
// and the English texts it must hold, for the native tests.
#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "rc_string_table.h"

namespace catalogue {

struct SourceFile {
    std::string name;  // e.g. "de-DE.rc"
    rc::Script script;
};

inline std::filesystem::path StringsFolder() { return std::filesystem::path(SOURCE_DIR) / "res" / "strings"; }

// Every resource script of the catalogue, by file name.
inline std::vector<SourceFile> ReadSources() {
    std::vector<SourceFile> files;
    for (const auto& entry : std::filesystem::directory_iterator(StringsFolder())) {
        if (entry.path().extension() != ".rc") continue;
        files.push_back({entry.path().filename().string(), rc::ReadScript(entry.path().string())});
    }
    std::sort(files.begin(), files.end(), [](const SourceFile& a, const SourceFile& b) { return a.name < b.name; });
    return files;
}

// The identifiers every language holds.
inline const std::vector<unsigned>& Ids() {
    static const std::vector<unsigned> ids{300, 301, 306, 307, 308, 309, 310, 311, 312, 313, 314, 315, 316, 317,
                                            320, 321, 322, 323, 324, 325, 326, 327, 328, 329, 330, 331, 332,
                                            333};
    return ids;
}

// The English (1033) catalogue, character for character.
inline const std::map<unsigned, std::wstring>& English() {
    static const std::map<unsigned, std::wstring> texts{
        {300, L"A problem prevented the Update from being installed. Contact your system administrator. \n\n"
              L" Error Code: %d"},
        {301, L"The update was successfully installed and %s has been updated."},
        {306, L"Your version of %s is up-to-date and this update is not necessary"},
        {307, L"The update could not be installed because the expected Orvanth product could not be located on "
              L"your computer.\nMake sure that you are using the correct update for the product."},
        {308, L"This update could not be installed because it is not designed for the version of %s that is "
              L"installed on your computer.  SP1 must be applied before SP2 can be applied."},
        {309, L"The command line that you supplied is incorrect. Please check it for errors."},
        {310, L"You must supply a patch list with the command line to install this update."},
        {311, L"Installation Error"},
        {312, L"Installation Successful"},
        {313, L"Installation Unnecessary"},
        {314, L"Installation of this update is blocked.  For more information, please read Information for "
              L"Windows Vista Users in the update readme."},
        {315, L"The following applications should be closed before continuing the install:"},
        {316, L"_glob"},
        {317, L"_lp"},
        {320, L"Update command line"},
        {321, L"Version %s"},
        {322, L"/quiet - installs without any window: no messages, and Windows Installer shows nothing."},
        {323, L"/passive - no messages; Windows Installer shows only its progress, without Cancel."},
        {324, L"/norestart - never restarts the computer; a restart that is needed ends with exit code 3010."},
        {325, L"/log FILE - writes this program's log to FILE and the Windows Installer logs to the same folder."},
        {326, L"/q - no messages (the exit code is then always 0)."},
        {327, L"/e FILE - writes the patch packages to files named after FILE."},
        {328, L"/i - shows the products and versions that the patch packages apply to."},
        {329, L"/? or /help - shows this help."},
        {330, L"Exit codes with /quiet, /passive, /norestart, /log or /cmtrace:"},
        {331, L"0 - installed or already up to date\n3010 - installed; restart the computer to finish\n1641 - installed; a restart was started\n1642 - no product that this update applies to\nother - the error code of the failure"},
        {332, L"/check - installs nothing; the exit code tells what a run would do: 1 - it would install, 0 - already "
              L"up to date, 1642 - nothing applies, other - the error code."},
        {333, L"/cmtrace - writes this program's log in the format that CMTrace and OneTrace read, failures and "
              L"warnings marked."},
    };
    return texts;
}

}  // namespace catalogue
