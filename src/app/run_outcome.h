#pragma once
// What a patch run did, as far as its exit code tells it, and the exit code
// that follows from it.
#include <cstdint>
#include <vector>

enum class RunEvent {
    Applied,           // a configure call returned 0
    RestartRequired,   // a configure call returned 3010
    RestartInitiated,  // a configure call returned 1641
    UpToDate,          // a target or a whole package needed nothing
    ProductNotFound,   // message 307: no target of a package is installed
    // The same for the language-pack package after a global package that did
    // its work: neutral for the exit code.
    LanguagePackNotInstalled,
    WrongVersion,      // message 308: a target's version is not one the package applies to
    Failure,           // message 300, with its error code
    // A message whose box could not be shown, with the system's error: the
    // user was not told. Neutral for the exit code, which tells what became
    // of the products.
    MessageNotShown,
};

struct RunRecord {
    struct Entry {
        RunEvent event;
        std::uint32_t code;    // the error code of a Failure or a MessageNotShown
        unsigned message = 0;  // the message of a MessageNotShown
    };
    std::vector<Entry> entries;  // in the order they happened
    // Waited for other installations so far: one budget for the whole run.
    std::uint32_t waitedMs = 0;

    void note(RunEvent event, std::uint32_t code = 0, unsigned message = 0) {
        entries.push_back({event, code, message});
    }
};

// The exit code of a run under the deployment switches: the first failure's
// code, else 1641 when a restart was started, else 3010 when one is needed
// (a product was patched and waits for it, whatever else was not
// applicable), else 1642 when a package found nothing it applies to, else 0.
// A failure whose code would read as one of those outcomes (0, 1641, 3010,
// 1642) exits with 1603 instead.
std::uint32_t ExitCodeFor(const RunRecord& record);

// The code of the first failure of `record`, as it came; 0 when none failed
// (or the failure came with 0).
std::uint32_t FirstFailureCode(const RunRecord& record);

// The event of a configure call's result; Failure for any code that is not a
// success.
RunEvent EventOfConfigureResult(std::uint32_t result);
