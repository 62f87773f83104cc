#include "app/switches.h"

bool InstallMode = true;
bool ExtractMode = false;
std::wstring ExtractPath;
bool ReportMode = false;

bool QuietSwitch = false;
bool PassiveSwitch = false;
bool NoRestartSwitch = false;
bool LogSwitch = false;
std::wstring LogPath;
bool CheckSwitch = false;
bool CmtraceSwitch = false;
std::vector<std::wstring> PropertyArguments;
bool HelpMode = false;
bool BoxesHidden = false;
std::vector<std::wstring> ProgramArguments;

bool DeploymentMode() {
    return QuietSwitch || PassiveSwitch || NoRestartSwitch || LogSwitch || CheckSwitch || CmtraceSwitch;
}
