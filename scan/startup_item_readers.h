// The startup programs as the Quick Boot page lists them: those the Run keys start, and
// those the system configuration utility's store holds switched off. They test nothing.
#pragma once

#include <string>

// Rows of the Quick Boot list: startup item, path, root, registry key, key.
class IStartupRowSink {
public:
    virtual ~IStartupRowSink() = default;
    virtual void AddStartupRow(const std::string& item, const std::string& path, const std::string& root,
                               const std::string& registryKey, const std::string& key) = 0;
};

// The values of HKCU ...\Run and HKLM ...\Run, the latter in both registry views of a
// 64-bit prefix (each row names its key). Returns 1.
int ReadEnabledStartupItems(IStartupRowSink& sink);
// The items under HKLM ...\Shared Tools\MSConfig\startupreg. 0 when that key cannot be opened.
int ReadDisabledStartupItems(IStartupRowSink& sink);
