#include "platform/win32/environment_expansion.h"

namespace qv {

std::string ExpandEnvironmentText(std::string_view text, const WindowsEnvironment& environment) {
    std::string result;
    result.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '%') {
            result += text[i++];
            continue;
        }
        size_t close = text.find('%', i + 1);
        if (close == std::string_view::npos) {
            result.append(text.substr(i));
            break;
        }
        std::string_view name = text.substr(i + 1, close - i - 1);
        std::optional<std::string> value;
        if (!name.empty()) value = environment.Get(name);
        if (value) {
            result += *value;
            i = close + 1;
        } else {
            result.append(text.substr(i, close - i));
            i = close;
        }
    }
    return result;
}

}  // namespace qv
