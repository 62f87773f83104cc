#pragma once
// The message catalogue and the message boxes that show it.
#include <cstddef>
#include <string>

#include "platform/resources.h"

// The product name that messages 301, 306 and 308 insert: the name of the
// global package's target handled last. Empty at start; nothing clears it.
extern std::wstring DisplayedProductName;

// "/q": ShowMessage shows nothing. Set from the command line before any
// action runs, kept until the process ends.
extern bool QuietMode;

// The characters that every message text and caption is loaded into,
// terminator included.
constexpr std::size_t kMessageTextCapacity = 256;

// Loads string `id` of `module`'s catalogue into `text`, cut to
// `capacity` - 1 characters, in the language of the thread locale (see
// MessageLanguageOrder for the fallbacks). Returns the number of characters
// that `text` received: 0, and an empty `text`, when no table has the string.
int LoadMessageText(platform::ModuleHandle module, unsigned id, std::wstring& text, std::size_t capacity);

// Shows message `id` in a modal box without owner and returns when the user
// has closed it; returns at once, reading and loading nothing, in quiet mode.
// Message 300 shows the thread's last-error value as it was on entry.
// False when the box could not be shown: the thread's last error says why.
bool ShowMessage(unsigned id);

// Receives every message that ShowMessage is asked for, with the text its box
// has (or would have had), and whether it was shown.
using MessageRecorder = void (*)(unsigned id, const std::wstring& text, bool shown);

// Sets the recorder; nullptr for none (the start value). While one is set,
// quiet mode still loads and fills each message for it.
void SetMessageRecorder(MessageRecorder recorder);
