#include "quickboot/startup_failure_message.h"

#include "app/string_table.h"

namespace {

// Enough names to recognise the problem; the rest are counted.
constexpr size_t kNamesShown = 10;

}  // namespace

std::string StartupFailureMessage(const CStartupItemManager& manager, const std::string& registryError) {
    const std::vector<size_t>& failed = manager.FailedRows();
    if (failed.empty()) return {};
    std::string text(StringText(921));
    size_t shown = 0;
    for (size_t index : failed) {
        if (index >= manager.Rows().size()) continue;
        if (shown == kNamesShown) {
            text += "\n... and " + std::to_string(failed.size() - shown) + " more";
            break;
        }
        const StartupRow& row = manager.Rows()[index];
        text += "\n" + row.item + " (" + (row.root.empty() ? "?" : row.root) + ", " +
                (row.checked ? "to start" : "to switch off") + ")";
        ++shown;
    }
    if (!manager.AutostartError().empty()) text += "\n\n" + manager.AutostartError();
    if (!registryError.empty()) text += "\n\n" + registryError;
    return text;
}
