#include "app/entry_point.h"

#include <string>

#include "app/actions.h"
#include "app/command_line.h"
#include "app/switches.h"
#include "package/extraction.h"
#include "package/patch_target.h"
#include "ui/message_ids.h"

int RunEntryPoint(platform::ModuleHandle instance) {
    ModuleInstance = instance;
    ParseCommandLine();

    if (InstallMode) {
        RunPatches();
    } else {
        if (ExtractMode) {
            // Extraction rewrites the path it is given, so the language pack
            // gets its own copy of the pattern as the user wrote it.
            std::wstring languagePackPath = ExtractPath;
            ExtractPackage(ExtractPath, kGlobalPackageResource, kSuffixGlobal);
            ExtractPackage(languagePackPath, kLanguagePackResource, kSuffixLanguagePack);
        }
        if (ReportMode) {
            ShowPackageInformation();
        }
    }

    Targets.clear();
    return 0;
}
