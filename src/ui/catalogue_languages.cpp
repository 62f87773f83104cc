#include "ui/catalogue_languages.h"

#include <algorithm>

namespace {

constexpr std::uint16_t kPrimaryChinese = 0x04;

std::uint16_t PrimaryLanguage(std::uint16_t language) { return language & 0x3FF; }

// Chinese shares one primary language between two scripts; Taiwan, Hong Kong
// and Macao (and the script-only "zh-Hant") write the traditional one.
bool IsTraditionalChinese(std::uint16_t language) {
    switch (language >> 10) {
        case 0x01:  // Taiwan
        case 0x03:  // Hong Kong SAR
        case 0x05:  // Macao SAR
        case 0x1F:  // zh-Hant
            return true;
        default:
            return false;
    }
}

bool Contains(const std::vector<std::uint16_t>& list, std::uint16_t language) {
    return std::find(list.begin(), list.end(), language) != list.end();
}

void Add(std::vector<std::uint16_t>& order, std::uint16_t language) {
    if (!Contains(order, language)) order.push_back(language);
}

// The table of `language` itself, then its siblings: the catalogue's other
// tables of the same primary language, those of the same script first.
void AddLanguageAndSiblings(std::vector<std::uint16_t>& order, std::uint16_t language,
                            const std::vector<std::uint16_t>& catalogue) {
    if (PrimaryLanguage(language) == 0) return;  // neutral: no table of its own
    if (Contains(catalogue, language)) Add(order, language);

    const bool chinese = PrimaryLanguage(language) == kPrimaryChinese;
    for (int pass = 0; pass < 2; ++pass) {
        for (std::uint16_t candidate : catalogue) {
            if (PrimaryLanguage(candidate) != PrimaryLanguage(language)) continue;
            const bool sameScript = !chinese || IsTraditionalChinese(candidate) == IsTraditionalChinese(language);
            if (sameScript == (pass == 0)) Add(order, candidate);
        }
    }
}

}  // namespace

const std::vector<std::uint16_t>& CatalogueLanguages() {
    static const std::vector<std::uint16_t> languages{
        1028,  // Chinese (Traditional, Taiwan)
        1029,  // Czech
        1031,  // German
        1033,  // English (United States)
        1036,  // French
        1038,  // Hungarian
        1040,  // Italian
        1041,  // Japanese
        1042,  // Korean
        1045,  // Polish
        1046,  // Portuguese (Brazil)
        1049,  // Russian
        2052,  // Chinese (Simplified)
        3082,  // Spanish (modern sort)
    };
    return languages;
}

std::vector<std::uint16_t> MessageLanguageOrder(std::uint32_t threadLocale, std::uint16_t userUiLanguage,
                                                const std::vector<std::uint16_t>& catalogue) {
    std::vector<std::uint16_t> order;
    AddLanguageAndSiblings(order, static_cast<std::uint16_t>(threadLocale & 0xFFFF), catalogue);
    AddLanguageAndSiblings(order, userUiLanguage, catalogue);
    if (Contains(catalogue, kEnglishUnitedStates)) Add(order, kEnglishUnitedStates);
    return order;
}
