#pragma once
// Windows Installer properties given on the command line as NAME=VALUE, passed
// on to every configure call when a deployment switch is given too.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// True for an argument that reads as NAME=VALUE: one that holds "=" and is
// not a switch (does not start with "/"). VALUE may be empty.
bool LooksLikeProperty(const std::wstring& argument);

// True for NAME=VALUE that the scan takes as a property: every one but a
// private property (an identifier with lower-case letters), which Windows
// Installer does not take from a command line and which is let be. Whether
// NAME may be passed on is for PropertyRefusal to say.
bool IsPropertyArgument(const std::wstring& argument);

// The property as the own log names it: NAME and the length of its value,
// never the value, except for Windows Installer's own setting properties
// (REBOOT, REINSTALLMODE and the like), shown as NAME="VALUE".
std::wstring LoggedProperty(const std::wstring& argument);

// The characters the properties may take on a configure call's command line:
// what 1024 characters leave beside the patch run's own properties at their
// longest (a 259-character package path, a 255-character files-in-use text,
// REBOOT=ReallySuppress).
std::size_t PropertiesCapacity();

// Why `properties` cannot be passed on, naming the property in `refused` (its
// name only); or nothing when they can. Refused: a name that is not a
// Windows Installer identifier;
// the properties that would make the configure call install or remove
// features, remove a patch, run another action or install another instance
// (REMOVE, ADDLOCAL, MSIPATCHREMOVE and the like); PATCH, REBOOTPROMPT and
// FILESINUSETEXT, which the patch run sets itself; REBOOT together with
// "/norestart"; and the first property that no longer fits the command line.
std::optional<std::wstring> PropertyRefusal(const std::vector<std::wstring>& properties, bool noRestart,
                                            std::wstring& refused);

// The properties as they follow the patch run's own on the command line:
// ` NAME="VALUE"` each, in order, a quotation mark inside VALUE doubled.
std::wstring PropertiesCommandLine(const std::vector<std::wstring>& properties);

// Under the deployment switches: logs each property given (LoggedProperty), and when one is
// refused, logs which and why and shows message 300 with code 87. True when
// the run may go on; without those switches the properties are ignored: true.
bool AcceptPropertyArguments();

// PropertiesCommandLine of the arguments given, under the deployment
// switches; else empty.
std::wstring PassedPropertiesCommandLine();

// The same as the own log shows it: " " and LoggedProperty of each.
std::wstring LoggedPassedProperties();

// `arguments` (the program's path first) with every other argument that
// reads as a property in its logged form.
std::vector<std::wstring> LoggedArguments(const std::vector<std::wstring>& arguments);
