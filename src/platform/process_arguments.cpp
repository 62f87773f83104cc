#include "platform/process_arguments.h"

#include <new>

namespace platform {

bool CopyArguments(const wchar_t* const* list, int count, std::vector<std::wstring>& arguments) {
    arguments.clear();
    try {
        for (int i = 0; i < count; ++i) arguments.emplace_back(list[i]);
    } catch (const std::bad_alloc&) {
        // The arguments copied so far stay; a failed emplace_back adds nothing.
        return false;
    }
    return true;
}

}  // namespace platform
