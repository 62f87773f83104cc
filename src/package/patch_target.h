#pragma once
// One candidate target product of a patch package, and the process-wide list
// of the targets of the package being processed.
#include <cstddef>
#include <string>
#include <vector>

struct PatchTarget {
    std::wstring productCode;
    std::wstring upgradeVersion;
    std::wstring productName;
    std::wstring language;
    std::wstring commandLine;
    std::wstring targetVersions;
    std::wstring installedVersion;
};

// Ordered list of targets in the order of appending; owns its records.
class TargetList {
public:
    void clear() { records_.clear(); }
    void append(PatchTarget record) { records_.push_back(std::move(record)); }
    std::size_t count() const { return records_.size(); }
    // `position` is below count(); callers check it first.
    PatchTarget& at(std::size_t position) { return records_[position]; }
    const PatchTarget& at(std::size_t position) const { return records_[position]; }

private:
    std::vector<PatchTarget> records_;
};

extern TargetList Targets;
