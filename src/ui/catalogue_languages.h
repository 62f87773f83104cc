#pragma once
// Which of the catalogue's language tables a message is read from.
//
// The messages follow the product being patched: the patch run sets the
// thread locale to the product's language, and the catalogue is read in that
// language. The table is named explicitly rather than left to the system's
// resource loader, because the loader picks string tables by the thread's UI
// language, which the thread locale does not steer.
#include <cstdint>
#include <vector>

// The LANGIDs of the catalogue's tables (res/strings), in the order that
// res/update.rc includes them.
const std::vector<std::uint16_t>& CatalogueLanguages();

constexpr std::uint16_t kEnglishUnitedStates = 0x0409;  // 1033, the last resort

// The languages to read a message in, best first and without repeats:
//   1. the language of the thread locale (its low 16 bits), when the catalogue has it;
//   2. the catalogue's other tables of the same primary language (for Chinese,
//      the table of the same script first);
//   3. 1 and 2 for the user's default UI language;
//   4. English (United States), when the catalogue has it.
// A neutral locale such as LOCALE_USER_DEFAULT (0x0400) matches no table, so it
// stands for the user's default. Only languages of `catalogue` are returned.
std::vector<std::uint16_t> MessageLanguageOrder(std::uint32_t threadLocale, std::uint16_t userUiLanguage,
                                                const std::vector<std::uint16_t>& catalogue);
