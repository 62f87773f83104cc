#pragma once
// The name and version of the running Windows, as the information report
// shows them.
#include <string>

#include "products/four_part_version.h"

// Asks the system anew on every call. `description` comes in holding the text
// for a system that is not recognised and `version` the value for one whose
// version cannot be read. On return `description` is unchanged, replaced by
// a name, extended by an edition word, or both; `version` is unchanged or the
// system's major.minor.0.0. Both stay as they came when the version cannot be
// read or the platform is not Windows NT.
void DescribeOperatingSystem(std::wstring& description, FourPartVersion& version);
