#include "shell/help_document.h"

#include <shellapi.h>

#include "app/derived_paths.h"

std::string HelpDocumentPath() {
    std::string path = GetHelpFilePath();
    const std::string chm = ".chm";
    if (path.size() >= chm.size() && path.compare(path.size() - chm.size(), chm.size(), chm) == 0) {
        path.replace(path.size() - chm.size(), chm.size(), ".html");
    }
    return path;
}

int OpenHelpDocument() {
    std::string path = HelpDocumentPath();
    HINSTANCE result = ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<intptr_t>(result) > 32 ? 1 : 0;
}
