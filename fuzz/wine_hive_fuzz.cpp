// libFuzzer target: Wine's registry files. Arbitrary bytes are loaded, saved, loaded again
// and saved again. The second save must equal the first (a load of our own output changes
// nothing), our own output must load without any complaint, and nothing may crash or hit
// undefined behaviour. Links are resolved inside the file's branch as the store does. The
// bytes are also read from a file in small pieces, as the store reads them: that must give
// the same tree and the same report as reading them whole.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/registry/reg_text.h"
#include "platform/registry/wine_hive_format.h"

using namespace qv::reg;

namespace {

constexpr int64_t kNow = 0x1dd86cc3f58d2a4;  // a fixed load time keeps runs repeatable

[[noreturn]] void Fail(const char* what, const std::string& a, const std::string& b) {
    std::fprintf(stderr, "%s\n---- first ----\n%s\n---- second ----\n%s\n", what, a.c_str(), b.c_str());
    __builtin_trap();
}

// The branch a file names on its second line; files without one are read as system.reg.
Branch BranchOf(std::string_view text) {
    size_t line2 = text.find('\n');
    std::string_view head = text.substr(0, line2 == std::string_view::npos ? 0 : text.find('\n', line2 + 1));
    if (head.find("User\\\\.Default") != std::string_view::npos) return Branch::UserDefault;
    if (head.find("User\\\\S-1-5-21") != std::string_view::npos) return Branch::User;
    return Branch::Machine;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    Branch branch = BranchOf(text);
    const char* file = branch == Branch::Machine ? "system.reg" : branch == Branch::User ? "user.reg" : "userdef.reg";
    LinkResolver resolve = SameBranchLinkResolver(branch);

    ParsedHive first = ParseWineHive(text, file, kNow, resolve);
    std::string arch = first.arch.empty() ? "win64" : first.arch;
    std::string saved = SerializeWineHive(*first.root, branch, arch);

    ParsedHive second = ParseWineHive(saved, file, kNow, resolve);
    if (second.report.rejected || second.report.lossy || !second.report.messages.empty())
        Fail("our own output does not load cleanly", saved,
             second.report.messages.empty() ? std::string("(lossy, no message)") : second.report.messages.front());
    std::string again = SerializeWineHive(*second.root, branch, arch);
    if (again != saved) Fail("a load and save of our own output changed it", saved, again);

    static int fd = ::memfd_create("hive", MFD_CLOEXEC);
    if (fd >= 0 && ::ftruncate(fd, 0) == 0 && ::pwrite(fd, data, size, 0) == static_cast<ssize_t>(size) &&
        ::lseek(fd, 0, SEEK_SET) == 0) {
        const size_t piece = 2 + (size ? data[size / 2] % 61 : 0);
        ParsedHive streamed = ParseWineHiveFile(fd, uint64_t(1) << 30, "too large", file, kNow, resolve, piece);
        std::string streamedSaved = SerializeWineHive(*streamed.root, branch, arch);
        if (streamedSaved != saved) Fail("reading in pieces gives another tree", saved, streamedSaved);
        if (streamed.report.messages != first.report.messages || streamed.report.lossy != first.report.lossy ||
            streamed.report.rejected != first.report.rejected)
            Fail("reading in pieces gives another report", first.report.messages.empty() ? "" : first.report.messages[0],
                 streamed.report.messages.empty() ? "" : streamed.report.messages[0]);
    }
    return 0;
}
