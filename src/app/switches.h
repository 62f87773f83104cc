#pragma once
// Process-wide values set from the command line before any action runs and
// kept until the process ends.
#include <string>
#include <vector>

#include "platform/resources.h"  // ModuleInstance, owned by the platform layer
#include "ui/messages.h"         // QuietMode ("/q", "/quiet", "/passive"), owned by the message catalogue

extern bool InstallMode;                       // the patch run; reset by "/e", "/i" and "/pi"
extern bool ExtractMode;                       // "/e"
extern std::wstring ExtractPath;               // the argument after "/e"
extern bool ReportMode;                        // set by "/i", reset by "/pi"

// The switches of unattended deployment. Any of the six below makes the exit
// code tell the outcome and the program write a log of its own.
extern bool QuietSwitch;      // "/quiet": Windows Installer shows nothing either
extern bool PassiveSwitch;    // "/passive": Windows Installer shows its progress only
extern bool NoRestartSwitch;  // "/norestart": REBOOT=ReallySuppress on every configure call
extern bool LogSwitch;        // "/log"
extern std::wstring LogPath;  // the argument after "/log"; empty: the default name
extern bool CheckSwitch;      // "/check": the patch run's decisions only, no configure call, no box
extern bool CmtraceSwitch;    // "/cmtrace": the own log in the format of Configuration Manager's logs
extern bool HelpMode;         // "/?" or "/help": the help box and nothing else

// Not a switch: set at start when the process's window station is not
// visible to a user. No box is then shown in any mode (quiet mode is set),
// and Windows Installer runs without its UI.
extern bool BoxesHidden;

// The arguments of the form NAME=VALUE with a public property name, in the
// order given; they count only together with a deployment switch.
extern std::vector<std::wstring> PropertyArguments;

// The arguments as read, the program's path first (empty when the command
// line could not be split).
extern std::vector<std::wstring> ProgramArguments;

// True when the command line holds any of the deployment switches.
bool DeploymentMode();
