#include "platform/private_folder.h"

namespace platform {

std::wstring PrivateFolderDescriptor(const std::wstring& extraUser) {
    std::wstring sddl = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    if (!extraUser.empty()) sddl += L"(A;OICI;FA;;;" + extraUser + L")";
    return sddl;
}

}  // namespace platform
