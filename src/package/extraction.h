#pragma once
// Writing an embedded patch package out to a file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/resources.h"

// Resource names of the two packages an executable may carry.
extern const wchar_t* const kGlobalPackageResource;      // "IDR_MSP"
extern const wchar_t* const kLanguagePackResource;       // "IDR_MSP_LP"
extern const wchar_t* const kPackageResourceType;        // "MSP"

// Writes the package resource `resourceName` to a file.
// `path` empty: a new file "MSP<n>" in the temporary folder (elevated: the
// user's only where it is shown to be theirs, see HoldTempFolderForCopies),
// created only if no file of that name exists. Otherwise `path` is a name pattern: the file is
// written beside it as its base name, the text of string `suffixId` (0: none)
// and its extension, replacing a file of that name.
// On return `path` holds the name that was, or was to be, written. True when
// the whole resource is in the file and the file is closed; otherwise the
// thread's last error tells why, and no partial file is left.
bool ExtractPackage(std::wstring& path, const std::wstring& resourceName, unsigned suffixId);

// The bytes of the carried package `resourceName`: 0, or the error code of a
// package that is not carried (1814) or empty (1812).
std::uint32_t CarriedPackageBytes(const std::wstring& resourceName, platform::ResourceBytes& bytes);

// True when the executable carries the package resource `resourceName`.
bool IsPackageCarried(const std::wstring& resourceName);

// The number n of the next "MSP<n>" file of the process.
unsigned NextPackageNumber();

// The folder for log files, without a trailing separator, at most
// `capacity` - 1 characters: the temporary folder (created if missing),
// else "c:". For a run that is not elevated only: elevated, nothing is made
// where the user's environment points (platform::HoldUserTempFolder).
std::wstring PrepareTempFolder(std::size_t capacity);
