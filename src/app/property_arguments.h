#pragma once
// Windows Installer properties given on the command line as NAME=VALUE, passed
// on to every configure call when a deployment switch is given too.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// True for NAME=VALUE where NAME is a public property name: upper-case ASCII
// letters, digits, "_" and ".", not starting with a digit. VALUE may be empty.
bool IsPropertyArgument(const std::wstring& argument);

// The characters the properties may take on a configure call's command line:
// what 1024 characters leave beside the patch run's own properties at their
// longest (a 259-character package path, a 255-character files-in-use text,
// REBOOT=ReallySuppress).
std::size_t PropertiesCapacity();

// Why `properties` cannot be passed on, naming the argument in `refused`; or
// nothing when they can. Refused: PATCH, REBOOTPROMPT and FILESINUSETEXT,
// which the patch run sets itself, REBOOT together with "/norestart", and the
// first property that no longer fits the command line.
std::optional<std::wstring> PropertyRefusal(const std::vector<std::wstring>& properties, bool noRestart,
                                            std::wstring& refused);

// The properties as they follow the patch run's own on the command line:
// ` NAME="VALUE"` each, in order, a quotation mark inside VALUE doubled.
std::wstring PropertiesCommandLine(const std::vector<std::wstring>& properties);

// Under the deployment switches: logs each property given, and when one is
// refused, logs which and why and shows message 300 with code 87. True when
// the run may go on; without those switches the properties are ignored: true.
bool AcceptPropertyArguments();

// PropertiesCommandLine of the arguments given, under the deployment
// switches; else empty.
std::wstring PassedPropertiesCommandLine();
