#include "quickboot/boot_up_result.h"

#include <climits>

#include "app/settings.h"
#include "app/string_table.h"
#include "vendor/core/system32.h"

namespace {

constexpr int kSecondsPerProgram = 4;
constexpr char kGainText[] = "Your PC has been optimized to boot up\nXX seconds faster.";

}  // namespace

int BootSecondsSaved(int switchedOff) {
    if (switchedOff <= 0) return 0;
    if (switchedOff > INT_MAX / kSecondsPerProgram) return INT_MAX / kSecondsPerProgram * kSecondsPerProgram;
    return switchedOff * kSecondsPerProgram;
}

std::string BootUpResultText(int seconds) {
    if (seconds <= 0) return std::string(StringText(920));
    std::string text = kGainText;
    text.replace(text.find("XX"), 2, std::to_string(seconds));
    return text;
}

BootUpResult ReadBootUpResult() {
    BootUpResult result;
    int flag = 0;
    if (CSystem32::GetRegistryValue(settings::kOptionsKey, settings::kBFlag, flag, HKEY_LOCAL_MACHINE)) {
        result.recorded = true;
        result.switchedOff = flag > 0 ? flag : 0;
        CSystem32::DeleteRegistryValue(settings::kOptionsKey, settings::kBFlag, HKEY_LOCAL_MACHINE);
    }
    result.seconds = BootSecondsSaved(result.switchedOff);
    result.text = BootUpResultText(result.seconds);
    return result;
}
