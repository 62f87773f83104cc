// Message boxes: what ShowMessage shows for each message, in which language,
// and that nothing it fills in can overrun its text.
#include <gtest/gtest.h>

#include "catalogue_sources.h"
#include "fixtures.h"
#include "ui/catalogue_languages.h"
#include "ui/message_format.h"
#include "ui/messages.h"

namespace {

const std::wstring& English(unsigned id) { return catalogue::English().at(id); }

std::wstring Replaced(const std::wstring& text, const std::wstring& placeholder, const std::wstring& value) {
    std::wstring result = text;
    result.replace(result.find(placeholder), placeholder.size(), value);
    return result;
}

// The substitutes hold the real catalogue, read from its resource scripts.
class MessageBoxTest : public PlatformTest {
protected:
    MessageBoxTest() {
        for (const auto& source : catalogue::ReadSources()) {
            for (const auto& table : source.script.tables) {
                for (const auto& [id, text] : table.strings) {
                    resources.addString(table.language, id, text);
                    texts[{table.language, id}] = text;
                }
            }
        }
        DisplayedProductName.clear();
    }
    ~MessageBoxTest() override { DisplayedProductName.clear(); }

    const fake::ShownBox& OnlyBox() {
        EXPECT_EQ(boxes.shown.size(), 1u);
        static const fake::ShownBox none{};
        return boxes.shown.empty() ? none : boxes.shown.back();
    }

    std::wstring Text(std::uint16_t language, unsigned id) { return texts[{language, id}]; }

    std::map<std::pair<std::uint16_t, unsigned>, std::wstring> texts;
};

TEST_F(MessageBoxTest, EachMessageGetsItsTextCaptionAndStyle) {
    struct Row {
        unsigned id;
        std::wstring text;
        std::wstring caption;
        std::uint32_t style;
    };
    thread.error = 1603;
    DisplayedProductName = L"Orvanth Studio";
    const std::vector<Row> rows{
        {300, Replaced(English(300), L"%d", L"1603"), L"Installation Error", 0x50010},
        {301, L"The update was successfully installed and Orvanth Studio has been updated.",
         L"Installation Successful", 0x50040},
        {306, L"Your version of Orvanth Studio is up-to-date and this update is not necessary",
         L"Installation Unnecessary", 0x50010},
        {307, English(307), L"Installation Error", 0x50010},
        {308, Replaced(English(308), L"%s", L"Orvanth Studio"), L"Installation Error", 0x50010},
        {309, English(309), L"Installation Error", 0x50010},
        {310, English(310), L"Installation Error", 0x50010},
        {314, English(314), L"Installation Error", 0x50010},
        // Outside the table of messages: caption "Error" and no icon.
        {315, English(315), L"Error", 0x50000},
        {311, L"Installation Error", L"Error", 0x50000},
        {999, L"", L"Error", 0x50000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        boxes.shown.clear();
        ShowMessage(row.id);
        const fake::ShownBox& box = OnlyBox();
        EXPECT_EQ(box.text, row.text);
        EXPECT_EQ(box.caption, row.caption);
        EXPECT_EQ(box.style, row.style);
    }
}

TEST_F(MessageBoxTest, QuietModeLoadsAndShowsNothing) {
    QuietMode = true;
    for (unsigned id : {300u, 301u, 306u, 307u, 308u, 309u, 310u, 314u, 999u}) ShowMessage(id);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(resources.stringLoads, 0);
}

TEST_F(MessageBoxTest, ErrorCodeIsTheLastErrorOnEntryAsASignedNumber) {
    // Loading strings changes the thread's last error, as the system's
    // resource functions do; the box must show the value it was asked with.
    struct ClobberingResources : fake::Resources {
        fake::ThreadState* thread = nullptr;
        std::optional<std::wstring> loadStringInLanguage(platform::ModuleHandle module, unsigned id,
                                                         std::uint16_t lang) override {
            thread->error = 1815;
            return fake::Resources::loadStringInLanguage(module, id, lang);
        }
    } clobbering;
    clobbering.strings = resources.strings;
    clobbering.thread = &thread;
    services.resources = &clobbering;
    platform::Install(services);

    const std::vector<std::pair<std::uint32_t, std::wstring>> codes{
        {0, L"0"},
        {1603, L"1603"},
        {0x7FFFFFFF, L"2147483647"},
        {0x80000000, L"-2147483648"},
        {0x80070005, L"-2147024891"},
        {0xFFFFFFFF, L"-1"},
    };
    for (const auto& [code, shown] : codes) {
        boxes.shown.clear();
        thread.error = code;
        ShowMessage(300);
        EXPECT_EQ(OnlyBox().text, Replaced(English(300), L"%d", shown));
    }
}

TEST_F(MessageBoxTest, EmptyProductNameLeavesTwoSpacesInARow) {
    ShowMessage(301);
    EXPECT_EQ(OnlyBox().text, L"The update was successfully installed and  has been updated.");
}

TEST_F(MessageBoxTest, ProductNameIsTextNotAFormat) {
    DisplayedProductName = L"100%s %d %n %%";
    ShowMessage(308);
    EXPECT_EQ(OnlyBox().text, Replaced(English(308), L"%s", L"100%s %d %n %%"));
}

TEST_F(MessageBoxTest, OverlongProductNameIsCutWithinTheOutputBuffer) {
    DisplayedProductName = std::wstring(5000, L'N');
    for (unsigned id : {301u, 306u, 308u}) {
        SCOPED_TRACE(id);
        boxes.shown.clear();
        ShowMessage(id);
        const std::wstring& pattern = English(id);
        const std::wstring& text = OnlyBox().text;
        // The output holds the loaded text's length + 512 characters with
        // the terminator, and all of the sentence around the name.
        EXPECT_EQ(text.size(), pattern.size() + 511);
        const std::size_t at = pattern.find(L"%s");
        EXPECT_EQ(text.substr(0, at), pattern.substr(0, at));
        const std::wstring after = pattern.substr(at + 2);
        EXPECT_EQ(text.substr(text.size() - after.size()), after);
        EXPECT_EQ(text[text.size() - after.size() - 1], L'\u2026');
    }
}

TEST(FillPlaceholderTest, CutsOnlyWhatDoesNotFit) {
    struct Row {
        const char* name;
        std::wstring pattern, placeholder, value;
        std::size_t capacity;
        std::wstring expected;
    };
    const std::wstring high(1, static_cast<wchar_t>(0xD83D)), low(1, static_cast<wchar_t>(0xDE00));
    const std::vector<Row> rows{
        {"fits exactly", L"a %s b", L"%s", L"xyz", 8, L"a xyz b"},
        {"one too many", L"a %s b", L"%s", L"wxyz", 8, L"a wx\u2026 b"},
        {"no room at all", L"a %s b", L"%s", L"xyz", 5, L"a  b"},
        {"pattern alone too long", L"abcdef %s", L"%s", L"x", 4, L"abc"},
        {"no capacity", L"a %s", L"%s", L"x", 0, L""},
        {"pair not split", L"%s!", L"%s", L"ab" + high + low + L"cd", 6, L"ab\u2026!"},
        {"pair kept whole", L"%s!", L"%s", L"a" + high + low + L"cd", 6, L"a" + high + low + L"\u2026!"},
        {"only the first placeholder", L"%s and %s", L"%s", L"x", 100, L"x and %s"},
        {"placeholder absent", L"no value", L"%s", L"x", 100, L"no value"},
        {"no placeholder to fill", L"50% %d", L"", L"x", 100, L"50% %d"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FillPlaceholder(row.pattern, row.placeholder, row.value, row.capacity), row.expected) << row.name;
    }
}

TEST_F(MessageBoxTest, LoadMessageTextCutsToTheCapacity) {
    resources.addString(1033, 400, std::wstring(300, L'x'));
    struct Row {
        unsigned id;
        std::size_t capacity;
        int count;
    };
    for (const Row& row : std::vector<Row>{{400, 256, 255}, {400, 301, 300}, {400, 1000, 300}, {400, 2, 1},
                                           {400, 1, 0}, {400, 0, 0}, {311, 256, 18}, {999, 256, 0}}) {
        std::wstring text = L"left over";
        EXPECT_EQ(LoadMessageText(ModuleInstance, row.id, text, row.capacity), row.count)
            << row.id << " in " << row.capacity;
        EXPECT_EQ(text.size(), static_cast<std::size_t>(row.count));
    }
}

TEST(MessageLanguageOrderTest, ThreadLanguageThenItsSiblingsThenTheUserThenEnglish) {
    struct Row {
        const char* name;
        std::uint32_t threadLocale;
        std::uint16_t userLanguage;
        std::vector<std::uint16_t> expected;
    };
    const std::vector<Row> rows{
        {"German", 1031, 1041, {1031, 1041, 1033}},
        {"German with a sort order", 0x00010407, 1033, {1031, 1033}},
        {"Swiss German", 0x0807, 1033, {1031, 1033}},
        {"traditional Spanish", 0x040A, 1033, {3082, 1033}},
        {"Portugal", 0x0816, 1033, {1046, 1033}},
        {"Hong Kong", 0x0C04, 1033, {1028, 2052, 1033}},
        {"Macao", 0x1404, 1033, {1028, 2052, 1033}},
        {"Singapore", 0x1004, 1033, {2052, 1028, 1033}},
        {"Taiwan", 1028, 1033, {1028, 2052, 1033}},
        {"mainland China", 2052, 1028, {2052, 1028, 1033}},
        {"user default", 0x0400, 1041, {1041, 1033}},
        {"user default, Austrian user", 0x0400, 0x0C07, {1031, 1033}},
        {"system default", 0x0800, 1049, {1049, 1033}},
        {"Dutch product, Russian user", 1043, 1049, {1049, 1033}},
        {"Dutch product, Dutch user", 1043, 1043, {1033}},
        {"English", 1033, 1033, {1033}},
        {"British English", 2057, 1031, {1033, 1031}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(MessageLanguageOrder(row.threadLocale, row.userLanguage, CatalogueLanguages()), row.expected)
            << row.name;
    }
    // Only the catalogue's languages are offered, English included.
    EXPECT_EQ(MessageLanguageOrder(1043, 1043, {1031}), std::vector<std::uint16_t>{});
    EXPECT_EQ(MessageLanguageOrder(0x0C04, 1031, {2052, 1031}), (std::vector<std::uint16_t>{2052, 1031}));
}

TEST_F(MessageBoxTest, MessagesFollowTheThreadLocaleNotTheLoadersChoice) {
    // The system's loader would pick the UI language's table, Japanese here.
    resources.threadLanguage = 1041;
    thread.userUiLanguage = 1041;
    struct Row {
        std::uint32_t locale;
        std::uint16_t textLanguage;
    };
    for (const Row& row : std::vector<Row>{{1031, 1031}, {0x0807, 1031}, {1036, 1036}, {0x0C04, 1028},
                                           {0x0400, 1041}, {1043, 1041}, {3082, 3082}}) {
        SCOPED_TRACE(row.locale);
        boxes.shown.clear();
        thread.locale = row.locale;
        thread.error = 5;  // the loads of the last box may have changed it
        ShowMessage(300);
        const fake::ShownBox& box = OnlyBox();
        EXPECT_EQ(box.text, Replaced(Text(row.textLanguage, 300), L"%d", L"5"));
        EXPECT_EQ(box.caption, Text(row.textLanguage, 311));
    }
    EXPECT_TRUE(thread.localesSet.empty()) << "showing a message leaves the thread locale alone";
}

TEST_F(MessageBoxTest, AStringMissingFromTheChosenTableComesFromTheNextLanguage) {
    thread.locale = 1031;
    thread.userUiLanguage = 1049;
    resources.strings.erase({300, 1031});
    ShowMessage(300);
    const fake::ShownBox& box = OnlyBox();
    EXPECT_EQ(box.text, Replaced(Text(1049, 300), L"%d", L"0"));
    EXPECT_EQ(box.caption, Text(1031, 311));

    // Unsupported everywhere: English.
    boxes.shown.clear();
    thread.locale = 1043;
    thread.userUiLanguage = 1043;
    ShowMessage(301);
    EXPECT_EQ(OnlyBox().caption, L"Installation Successful");
}

TEST_F(MessageBoxTest, AMissingCaptionKeepsTheWordError) {
    for (std::uint16_t language : CatalogueLanguages()) resources.strings.erase({312, language});
    ShowMessage(301);
    EXPECT_EQ(OnlyBox().caption, L"Error");
    EXPECT_EQ(OnlyBox().style, 0x50040u);
}

}  // namespace
