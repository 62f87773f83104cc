#include "report/package_information.h"

#include "package/extraction.h"
#include "package/held_package.h"
#include "package/summary_information.h"
#include "platform/message_boxes.h"
#include "platform/services.h"
#include "products/four_part_version.h"
#include "report/os_description.h"

const wchar_t* const kReportCaption = L"Info";

namespace {

const wchar_t* const kSectionSeparator = L"\n\n-----------------------------------------------\n\n";

// Each product code of the Template text on a line of its own; nothing else
// changes.
std::wstring ProductLines(std::wstring productCodes) {
    for (wchar_t& c : productCodes) {
        if (c == L';') c = L'\n';
    }
    return productCodes;
}

}  // namespace

std::wstring DescribePackage(const std::wstring& resourceName) {
    std::wstring productCodes;
    std::wstring upgradeVersion;
    std::wstring targetVersions;
    // Only the copy this call has just written, held from its creation and
    // compared with the carried package, is read: nobody can change it in
    // the shared temporary folder until it has been read. Without one the
    // lines stay empty, as they would for a file that cannot be read.
    if (const std::unique_ptr<ReportCopy> copy = ReportCopy::Write(resourceName)) {
        ReadTargetProductCodes(copy->path(), productCodes);
        ReadPatchVersions(copy->path(), upgradeVersion, targetVersions);
    }

    std::wstring systemName = L"Windows";
    FourPartVersion systemVersion;
    systemVersion.clear();
    DescribeOperatingSystem(systemName, systemVersion);

    std::wstring section = L"Products:\n";
    section += ProductLines(productCodes);
    section += L"\nTarget:\n\t";
    section += targetVersions;
    section += L"\nUpgrade:\n\t";
    section += upgradeVersion;
    section += L"\nOSInfo:\n\t";
    section += systemName;
    section += L"(";
    section += systemVersion.toText();
    section += L")";
    return section;
}

bool ShowPackageInformation() {
    // The global package is extracted and read completely before the
    // language pack is touched. Quiet mode does not silence this box.
    std::wstring text = L"Global MSP\n\n";
    text += DescribePackage(kGlobalPackageResource);
    text += kSectionSeparator;
    text += L"Language pack MSP\n\n";
    text += DescribePackage(kLanguagePackResource);
    return platform::Current().boxes->show(text, kReportCaption, kReportBoxStyle);
}
