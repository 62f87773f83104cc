// A package's Keywords and Template texts read through the installer
// substitute: the split at the first ";" and the retry for long texts.
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"
#include "installer_substitutes.h"
#include "package/summary_information.h"
#include "platform/error_codes.h"
#include "substitutes/fake_installer.h"

namespace {

constexpr std::uint32_t kKeywords = 5;
constexpr std::uint32_t kTemplate = 7;
const std::wstring kPackage = L"C:\\Temp\\MSP1";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = fuzz::WideFromBytes(data, size);
    // The service hands the whole text over; the program reads up to the first zero.
    const std::wstring seen = text.substr(0, text.find(L'\0'));

    fuzz::InstallerSubstitutes substitutes;
    fake::ThreadState& thread = substitutes.thread;
    fake::Installer& installer = substitutes.installer;
    installer.packages[kPackage].properties[kKeywords].text = text;
    installer.packages[kPackage].properties[kTemplate].text = text;

    // The split, checked by what it gives rather than by splitting again:
    // a non-empty head without ";", joined by ";" to the rest, is the text;
    // no split only for a text that has no ";" or begins with one.
    std::wstring upgrade = L"up", targets = L"tv";
    if (ReadPatchVersions(kPackage, upgrade, targets)) {
        FUZZ_CHECK(!upgrade.empty() && upgrade.find(L';') == std::wstring::npos);
        FUZZ_CHECK(upgrade + L';' + targets == seen);
        FUZZ_CHECK(thread.error == 0);
    } else {
        FUZZ_CHECK(seen.find(L';') == std::wstring::npos || seen.front() == L';');
        FUZZ_CHECK(upgrade == L"up" && targets == L"tv");
        FUZZ_CHECK(thread.error == platform::kErrorResourceNotPresent);
    }

    std::wstring codes = L"codes";
    FUZZ_CHECK(ReadTargetProductCodes(kPackage, codes));
    FUZZ_CHECK(codes == seen);

    // Two reads at most per property, the first with 2048 characters.
    FUZZ_CHECK(installer.reads.size() >= 2 && installer.reads.size() <= 4);
    FUZZ_CHECK(installer.reads[0].countPassed == 2048);
    // Every handle opened was closed, once.
    FUZZ_CHECK(installer.opened == 2);
    FUZZ_CHECK(installer.closed.size() == 2 && installer.closed[0] != installer.closed[1]);

    platform::Install(platform::Services());
    return 0;
}
