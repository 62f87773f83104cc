#pragma once
// The process command line, split into arguments by the system's rules.
#include <string>
#include <vector>

namespace platform {

class ProcessArguments {
public:
    virtual ~ProcessArguments() = default;
    // All arguments, the program's path first; false when the command line
    // cannot be split. When memory runs out while they are copied, `arguments`
    // holds those copied before, and the result is true.
    virtual bool read(std::vector<std::wstring>& arguments) = 0;
};

// Copies the `count` texts of `list` into `arguments`, in order, until
// memory runs out; nothing is thrown. False when not all were copied.
bool CopyArguments(const wchar_t* const* list, int count, std::vector<std::wstring>& arguments);

}  // namespace platform
