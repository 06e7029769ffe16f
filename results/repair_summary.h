// The account a finished repair gives the user: what it really removed, which rows removed
// nothing and why, the backup file, and how to undo it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "results/scan_repair.h"

// `repair` has just repaired `rows`; `prefix` is the prefix it worked on.
std::string RepairSummaryText(const CScanRepair& repair, const std::vector<RepairRow>& rows,
                              const std::filesystem::path& prefix);
