#pragma once
// Windows error codes the program reports itself, where the system gave none
// of its own for a failure, and the installer results it takes for success.
#include <cstdint>

namespace platform {

constexpr std::uint32_t kErrorFileNotFound = 2;             // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t kErrorPathNotFound = 3;             // ERROR_PATH_NOT_FOUND
constexpr std::uint32_t kErrorAccessDenied = 5;             // ERROR_ACCESS_DENIED
constexpr std::uint32_t kErrorNotEnoughMemory = 8;          // ERROR_NOT_ENOUGH_MEMORY
constexpr std::uint32_t kErrorWriteFault = 29;              // ERROR_WRITE_FAULT
constexpr std::uint32_t kErrorSharingViolation = 32;        // ERROR_SHARING_VIOLATION
constexpr std::uint32_t kErrorNotSupported = 50;           // ERROR_NOT_SUPPORTED: a network drive where none may be
constexpr std::uint32_t kErrorCannotMake = 82;              // ERROR_CANNOT_MAKE
constexpr std::uint32_t kErrorInvalidParameter = 87;        // ERROR_INVALID_PARAMETER
constexpr std::uint32_t kErrorSubstitutedDrive = 135;      // ERROR_IS_SUBSTED
constexpr std::uint32_t kErrorNameTooLong = 206;            // ERROR_FILENAME_EXCED_RANGE
constexpr std::uint32_t kErrorInstallFailure = 1603;       // ERROR_INSTALL_FAILURE
constexpr std::uint32_t kErrorInstallAlreadyRunning = 1618; // ERROR_INSTALL_ALREADY_RUNNING
constexpr std::uint32_t kErrorFunctionFailed = 1627;        // ERROR_FUNCTION_FAILED
constexpr std::uint32_t kErrorPatchTargetNotFound = 1642;   // ERROR_PATCH_TARGET_NOT_FOUND
constexpr std::uint32_t kErrorResourceDataNotFound = 1812;  // ERROR_RESOURCE_DATA_NOT_FOUND
constexpr std::uint32_t kErrorResourceTypeNotFound = 1813;  // ERROR_RESOURCE_TYPE_NOT_FOUND
constexpr std::uint32_t kErrorResourceNameNotFound = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND
constexpr std::uint32_t kErrorResourceLangNotFound = 1815;  // ERROR_RESOURCE_LANG_NOT_FOUND
// Where a file or folder is cannot be shown: the system cannot tell where its handle leads.
constexpr std::uint32_t kErrorIdentityUnknown = 1921;       // ERROR_CANT_RESOLVE_FILENAME
// A link, junction or mount point in a path that must have none.
constexpr std::uint32_t kErrorLinkInPath = 4395;            // ERROR_REPARSE_POINT_ENCOUNTERED
constexpr std::uint32_t kErrorResourceNotPresent = 4316;    // ERROR_RESOURCE_NOT_PRESENT: Keywords without a usable ";"

// A configure call that succeeded and asks for a restart.
constexpr std::uint32_t kSuccessRebootInitiated = 1641;     // ERROR_SUCCESS_REBOOT_INITIATED
constexpr std::uint32_t kSuccessRebootRequired = 3010;      // ERROR_SUCCESS_REBOOT_REQUIRED

}  // namespace platform
