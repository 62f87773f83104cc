#include "ui/messages.h"

#include <cstdint>
#include <optional>

#include "platform/message_boxes.h"
#include "platform/services.h"
#include "platform/thread_state.h"
#include "ui/catalogue_languages.h"
#include "ui/message_format.h"
#include "ui/message_ids.h"

std::wstring DisplayedProductName;
bool QuietMode = false;

namespace {

MessageRecorder g_recorder = nullptr;

// MB_OK | MB_SETFOREGROUND | MB_TOPMOST, with the error or information icon.
constexpr std::uint32_t kStylePlain = 0x50000;
constexpr std::uint32_t kStyleError = 0x50010;
constexpr std::uint32_t kStyleInformation = 0x50040;

// Room that a filled-in product name or error code may take beyond the
// loaded text, terminator included.
constexpr std::size_t kFillHeadroom = 512;

// How one message is put together: its placeholder and what fills it, its
// caption and its box style.
enum class Fill { None, ProductName, ErrorCode };

struct MessageLayout {
    Fill fill;
    unsigned caption;
    std::uint32_t style;
};

std::optional<MessageLayout> LayoutOf(unsigned id) {
    switch (id) {
        case kMsgFailureWithCode:
            return MessageLayout{Fill::ErrorCode, kMsgErrorCaption, kStyleError};
        case kMsgUpdated:
            return MessageLayout{Fill::ProductName, kMsgSuccessCaption, kStyleInformation};
        case kMsgUpToDate:
            // Shown with the error icon, under the "unnecessary" caption.
            return MessageLayout{Fill::ProductName, kMsgUnnecessaryCaption, kStyleError};
        case kMsgWrongVersion:
            return MessageLayout{Fill::ProductName, kMsgErrorCaption, kStyleError};
        case kMsgProductNotFound:
        case kMsgBadCommandLine:
        case kMsgNoPatchList:
        case kMsgBlocked:
            return MessageLayout{Fill::None, kMsgErrorCaption, kStyleError};
        default:
            return std::nullopt;
    }
}

}  // namespace

int LoadMessageText(platform::ModuleHandle module, unsigned id, std::wstring& text, std::size_t capacity) {
    text.clear();
    if (capacity <= 1) return 0;  // room for the terminator at most

    const platform::Services& services = platform::Current();
    std::optional<std::wstring> loaded;
    for (std::uint16_t language : MessageLanguageOrder(services.thread->threadLocale(),
                                                       services.thread->userDefaultUiLanguage(),
                                                       CatalogueLanguages())) {
        loaded = services.resources->loadStringInLanguage(module, id, language);
        if (loaded) break;
    }
    // A module with none of the catalogue's languages: whatever the system's
    // loader picks.
    if (!loaded) loaded = services.resources->loadString(module, id);
    if (!loaded) return 0;

    text = loaded->substr(0, capacity - 1);
    return static_cast<int>(text.size());
}

void SetMessageRecorder(MessageRecorder recorder) { g_recorder = recorder; }

bool ShowMessage(unsigned id) {
    if (QuietMode && g_recorder == nullptr) return true;

    // Before anything else: loading strings may change the thread's last error.
    const platform::Services& services = platform::Current();
    const std::uint32_t lastError = services.thread->lastError();

    std::wstring caption = L"Error";
    std::wstring loaded;
    LoadMessageText(ModuleInstance, id, loaded, kMessageTextCapacity);
    const std::size_t capacity = loaded.size() + kFillHeadroom;

    std::wstring text;
    std::uint32_t style = kStylePlain;
    if (const std::optional<MessageLayout> layout = LayoutOf(id)) {
        switch (layout->fill) {
            case Fill::ErrorCode:
                text = FillPlaceholder(loaded, L"%d", SignedDecimal(lastError), capacity);
                break;
            case Fill::ProductName:
                text = FillPlaceholder(loaded, L"%s", DisplayedProductName, capacity);
                break;
            case Fill::None:
                text = loaded;
                break;
        }
        // A missing caption leaves "Error" in place rather than a blank title.
        std::wstring loadedCaption;
        if (LoadMessageText(ModuleInstance, layout->caption, loadedCaption, kMessageTextCapacity) > 0) {
            caption = loadedCaption;
        }
        style = layout->style;
    } else {
        // Not a message of the table above: its text as it stands, no icon.
        text = loaded;
    }

    if (g_recorder != nullptr) g_recorder(id, text, !QuietMode);
    if (QuietMode) return true;
    return services.boxes->show(text, caption, style);
}
