#include <windows.h>
#include <shellapi.h>

#include "platform/win32/win32_implementations.h"

namespace platform::win32 {

namespace {

// The system's argument array, released on every path.
class ArgumentArray {
public:
    explicit ArgumentArray(LPWSTR* list) : list_(list) {}
    ~ArgumentArray() {
        if (list_ != nullptr) LocalFree(list_);
    }
    ArgumentArray(const ArgumentArray&) = delete;
    ArgumentArray& operator=(const ArgumentArray&) = delete;
    LPWSTR* get() const { return list_; }

private:
    LPWSTR* list_;
};

}  // namespace

bool Win32ProcessArguments::read(std::vector<std::wstring>& arguments) {
    int count = 0;
    const ArgumentArray list(CommandLineToArgvW(GetCommandLineW(), &count));
    if (list.get() == nullptr) return false;
    // Out of memory part way: the scan sees the arguments copied before.
    CopyArguments(list.get(), count, arguments);
    return true;
}

}  // namespace platform::win32
