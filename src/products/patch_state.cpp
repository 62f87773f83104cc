#include "products/patch_state.h"

#include <vector>

#include "platform/installer.h"
#include "platform/services.h"

namespace {

constexpr std::uint32_t kStateChars = 16;  // a small number and its terminator

}  // namespace

std::optional<std::uint32_t> RegisteredPatchNumber(const std::wstring& patchCode, const std::wstring& productCode,
                                                   const wchar_t* property) {
    platform::Installer& installer = *platform::Current().installer;
    for (std::uint32_t context :
         {platform::kContextMachine, platform::kContextUserManaged, platform::kContextUserUnmanaged}) {
        std::vector<wchar_t> buffer(kStateChars, L'\0');
        std::uint32_t count = kStateChars;
        if (installer.getPatchInfoEx(patchCode, productCode, context, property, buffer.data(), count) !=
            platform::kInstallerSuccess) {
            continue;
        }
        const std::wstring text = platform::TextUpToTerminator(buffer);
        if (text.empty()) return std::nullopt;
        std::uint32_t state = 0;
        for (wchar_t c : text) {
            if (c < L'0' || c > L'9' || state > 0xFFFFFFu) return std::nullopt;
            state = state * 10 + static_cast<std::uint32_t>(c - L'0');
        }
        return state;
    }
    return std::nullopt;
}
