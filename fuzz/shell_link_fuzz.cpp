// libFuzzer target: the shortcut readers. Every input is read both as a .lnk file (through
// liblnk) and as a .url file, each then resolved against a small prefix, and its text is
// given to the .url parsing helpers directly. Nothing may crash or hit undefined behaviour,
// and the answers stay within what the readers promise.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_prefix.h"
#include "platform/prefix/prefix.h"
#include "vendor/core/shell_link.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

qvfuzz::FuzzPrefix& FuzzFolder() {
    static qvfuzz::FuzzPrefix folder;
    static const bool ready = [] {
        folder.Write("drive_c/windows/notepad.exe", "MZ");
        folder.Write("drive_c/windows/win.ini", "[windows]\n");
        qv::SetActivePrefix(std::make_shared<qv::Prefix>(folder.Root()));
        return true;
    }();
    (void)ready;
    return folder;
}

bool StartsWithFile(const std::string& url) {
    if (url.size() < 5) return false;
    std::string head = url.substr(0, 5);
    for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return head == "file:";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvfuzz::FuzzPrefix& folder = FuzzFolder();
    std::string bytes(reinterpret_cast<const char*>(data), size);
    folder.Write("drive_c/fuzz.lnk", bytes);
    folder.Write("drive_c/fuzz.url", bytes);

    CShellLink link;
    if (link.Load("C:\\fuzz.lnk")) {
        int r = link.Resolve(nullptr, 0);
        Check(r == 1 || r == 2);
        (void)link.GetPath();
    } else {
        Check(link.Resolve(nullptr, 0) == 0);
    }

    CUrlShellLink url;
    Check(url.Load("C:\\fuzz.url") == 1);
    int r = url.Resolve(nullptr, 0);
    Check(r == 0 || r == 1);
    std::string address = CUrlShellLink::UrlOfText(bytes);
    Check(address == url.GetPath() || bytes.size() > 65536);
    Check(address.find('\n') == std::string::npos);
    if (StartsWithFile(address)) {
        std::string path = CUrlShellLink::PathOfFileUrl(address);
        Check(path.size() >= 2);
    }
    return 0;
}
