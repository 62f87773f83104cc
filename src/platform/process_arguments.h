#pragma once
// The process command line, split into arguments by the system's rules.
#include <string>
#include <vector>

namespace platform {

class ProcessArguments {
public:
    virtual ~ProcessArguments() = default;
    // All arguments, the program's path first; false when the command line
    // cannot be split.
    virtual bool read(std::vector<std::wstring>& arguments) = 0;
};

}  // namespace platform
