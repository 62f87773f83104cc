#pragma once
// One way to make any call of the platform substitutes fail. Every method of
// a substitute that can fail on Windows asks `Faults().fails("name")` first:
// the call is counted (and named, while names are kept), and when it is the
// one planned to fail, or a test makes every call of that name fail, the
// method returns its interface's failure value with the last error set, as
// the system's call would. A call that succeeds may change the last error too,
// as many of the system's calls do: it is cleared.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace fake {

constexpr std::uint32_t kFaultAccessDenied = 5;  // ERROR_ACCESS_DENIED, the usual last error of a failure

class FaultPlan {
public:
    // The call to fail, counted from 1 since the last reset; 0: none. And a
    // later one to fail as well, such as a call that only the first failure
    // brings (a retry, a removal after a refusal, the next free name).
    std::size_t failAt = 0;
    std::size_t thenFailAt = 0;
    // Calls that fail every time, with the last error they leave (a test's
    // standing refusal, such as a disk that takes no file).
    std::map<std::string, std::uint32_t> failEvery;
    // The thread's last error, as fake::ThreadState shows it.
    std::uint32_t lastError = 0;
    // Counted calls, and their names while `keepNames` is set.
    std::size_t count = 0;
    bool keepNames = false;
    std::vector<const char*> names;
    // The calls made to fail by `failAt` and `thenFailAt`, once they were,
    // and the errors they gave.
    const char* failed = nullptr;
    std::uint32_t failedError = 0;
    const char* thenFailed = nullptr;
    std::uint32_t thenFailedError = 0;

    // Counts the call `name` (a literal); true when it is to fail, with the
    // last error set to `error`.
    bool fails(const char* name, std::uint32_t error = kFaultAccessDenied);
    void reset() { *this = FaultPlan(); }
};

// The plan of this process: one thread, one last error.
FaultPlan& Faults();

}  // namespace fake
