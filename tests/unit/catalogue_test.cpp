// The message catalogue's invariants, read from the resource scripts that the
// executable is built from.
#include <gtest/gtest.h>

#include <set>

#include "catalogue_sources.h"
#include "ui/catalogue_languages.h"

namespace {

std::size_t Count(const std::wstring& text, const std::wstring& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

// Each language's table, with the file it came from.
struct Table {
    std::string file;
    std::map<unsigned, std::wstring> strings;
};

class CatalogueTest : public ::testing::Test {
protected:
    CatalogueTest() : sources(catalogue::ReadSources()) {
        for (const auto& source : sources) {
            for (const auto& table : source.script.tables) {
                tables[table.language] = {source.name, table.strings};
            }
        }
    }
    std::vector<catalogue::SourceFile> sources;
    std::map<std::uint16_t, Table> tables;
};

TEST_F(CatalogueTest, EachScriptHoldsOneTableInOneOfTheCatalogueLanguages) {
    ASSERT_EQ(sources.size(), 14u);
    std::multiset<std::uint16_t> seen;
    for (const auto& source : sources) {
        SCOPED_TRACE(source.name);
        EXPECT_EQ(source.script.error, "");
        ASSERT_EQ(source.script.tables.size(), 1u);
        const std::uint16_t language = source.script.tables[0].language;
        EXPECT_NE(language & 0x3FF, 0) << "a language-neutral table";
        seen.insert(language);
    }
    const auto& expected = CatalogueLanguages();
    EXPECT_EQ(seen, std::multiset<std::uint16_t>(expected.begin(), expected.end()));
}

TEST_F(CatalogueTest, TheExecutableIncludesEveryScriptOnce) {
    const rc::Script update = rc::ReadScript((std::filesystem::path(SOURCE_DIR) / "res" / "update.rc").string());
    ASSERT_EQ(update.error, "");
    std::multiset<std::string> included;
    for (const auto& name : update.includes) {
        if (name.rfind("strings/", 0) == 0) included.insert(name.substr(8));
    }
    std::multiset<std::string> present;
    for (const auto& source : sources) present.insert(source.name);
    EXPECT_EQ(included, present);
}

TEST_F(CatalogueTest, EveryLanguageHoldsExactlyTheFourteenIds) {
    const std::set<unsigned> expected(catalogue::Ids().begin(), catalogue::Ids().end());
    for (const auto& [language, table] : tables) {
        std::set<unsigned> ids;
        for (const auto& entry : table.strings) ids.insert(entry.first);
        EXPECT_EQ(ids, expected) << table.file;
    }
}

TEST_F(CatalogueTest, PlaceholdersAreExactlyThoseTheMessagesFill) {
    struct Row {
        unsigned id;
        std::size_t decimal;  // "%d"
        std::size_t text;     // "%s"
    };
    const std::vector<Row> rows{
        {300, 1, 0}, {301, 0, 1}, {306, 0, 1}, {307, 0, 0}, {308, 0, 1}, {309, 0, 0}, {310, 0, 0},
        {311, 0, 0}, {312, 0, 0}, {313, 0, 0}, {314, 0, 0}, {315, 0, 0}, {316, 0, 0}, {317, 0, 0},
        {320, 0, 0}, {321, 0, 1}, {322, 0, 0}, {323, 0, 0}, {324, 0, 0}, {325, 0, 0}, {326, 0, 0},
        {327, 0, 0}, {328, 0, 0}, {329, 0, 0}, {330, 0, 0}, {331, 0, 0}, {332, 0, 0}, {333, 0, 0},
    };
    for (const auto& [language, table] : tables) {
        for (const Row& row : rows) {
            SCOPED_TRACE(table.file + " " + std::to_string(row.id));
            const std::wstring& text = table.strings.at(row.id);
            EXPECT_EQ(Count(text, L"%d"), row.decimal);
            EXPECT_EQ(Count(text, L"%s"), row.text);
            EXPECT_EQ(Count(text, L"%"), row.decimal + row.text) << "a percent sign besides the placeholder";
        }
    }
}

TEST_F(CatalogueTest, TextsFitTheLoadBufferAndBreakLinesWithLineFeedsOnly) {
    for (const auto& [language, table] : tables) {
        for (const auto& [id, text] : table.strings) {
            SCOPED_TRACE(table.file + " " + std::to_string(id));
            EXPECT_FALSE(text.empty());
            EXPECT_LE(rc::Utf16Length(text), 255u) << "does not fit 256 characters with the terminator";
            for (wchar_t c : text) {
                EXPECT_TRUE(c == L'\n' || c >= 0x20) << "control character " << static_cast<int>(c);
            }
            EXPECT_EQ(Count(text, L"\n\n\n"), 0u);
        }
    }
}

TEST_F(CatalogueTest, FileNameSuffixesAreTheSameInEveryLanguage) {
    for (const auto& [language, table] : tables) {
        EXPECT_EQ(table.strings.at(316), L"_glob") << table.file;
        EXPECT_EQ(table.strings.at(317), L"_lp") << table.file;
    }
}

TEST_F(CatalogueTest, EnglishTextsAreExact) {
    ASSERT_EQ(tables.count(1033), 1u);
    EXPECT_EQ(tables[1033].strings, catalogue::English());
}

TEST_F(CatalogueTest, TranslationsAreTranslatedAndKeepTheirShape) {
    const auto& english = catalogue::English();
    for (const auto& [language, table] : tables) {
        if (language == 1033) continue;
        for (unsigned id = 300; id <= 333; ++id) {
            // "Version %s" may well read the same.
            if (english.count(id) == 0 || id == 316 || id == 317 || id == 321) continue;
            EXPECT_NE(table.strings.at(id), english.at(id)) << table.file << " " << id << " is still English";
        }
        const std::wstring& failure = table.strings.at(300);
        SCOPED_TRACE(table.file);
        // The code closes the text, after an empty line.
        EXPECT_EQ(failure.substr(failure.size() - 2), L"%d");
        EXPECT_EQ(Count(failure, L"\n\n"), 1u);
        // 307 keeps the product's name and its two lines.
        EXPECT_EQ(Count(table.strings.at(307), L"Orvanth"), 1u);
        EXPECT_EQ(Count(table.strings.at(307), L"\n"), 1u);
        for (unsigned caption : {311u, 312u, 313u, 320u}) EXPECT_EQ(Count(table.strings.at(caption), L"\n"), 0u);
        // The help names each switch as it is typed, and every exit code.
        for (unsigned id : {322u, 323u, 324u, 325u, 326u, 327u, 328u, 329u, 332u, 333u}) {
            const std::wstring& english_line = english.at(id);
            const std::wstring switchName = english_line.substr(0, english_line.find(L' '));
            EXPECT_EQ(table.strings.at(id).rfind(switchName, 0), 0u) << id;
        }
        EXPECT_EQ(table.strings.at(331).rfind(L"0 - ", 0), 0u);
        for (const wchar_t* code : {L"\n3010 - ", L"\n1641 - ", L"\n1642 - "}) {
            EXPECT_EQ(Count(table.strings.at(331), code), 1u);
        }
    }
}

}  // namespace
