#include "platform/prefix/prefix.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <stdexcept>

#include "platform/registry/reg_text.h"
#include "platform/registry/registry_store.h"

namespace qv {

namespace fs = std::filesystem;

namespace {

std::mutex g_activeMutex;
std::shared_ptr<Prefix> g_active;

std::string UnixUserName() {
    if (const passwd* pw = ::getpwuid(::getuid())) return pw->pw_name;
    const char* u = std::getenv("USER");
    return u && *u ? u : "user";
}

fs::path HomeFolder() {
    const char* h = std::getenv("HOME");
    if (h && *h) return h;
    if (const passwd* pw = ::getpwuid(::getuid())) return pw->pw_dir;
    return "/";
}

std::vector<uint8_t> StringData(const std::string& s) {
    std::u16string u = reg::ToUtf16(s);
    u += u'\0';
    std::vector<uint8_t> d(u.size() * 2);
    for (size_t i = 0; i < u.size(); ++i) {
        d[2 * i] = static_cast<uint8_t>(u[i] & 0xff);
        d[2 * i + 1] = static_cast<uint8_t>(u[i] >> 8);
    }
    return d;
}

}  // namespace

Prefix::Prefix(fs::path root) : root_(std::move(root)) {
    std::error_code ec;
    if (!fs::is_directory(root_, ec))
        throw std::runtime_error("The Wine prefix " + root_.string() + " does not exist or is not a folder.");
    if (!fs::exists(root_ / "system.reg", ec) && !fs::exists(root_ / "user.reg", ec) &&
        !fs::exists(root_ / "drive_c", ec))
        throw std::runtime_error(root_.string() +
                                 " is not a Wine prefix: it has no system.reg, user.reg or drive_c.");
    registry_ = std::make_unique<RegistryStore>(root_);
}

Prefix::~Prefix() = default;

void SetActivePrefix(std::shared_ptr<Prefix> prefix) {
    std::lock_guard<std::mutex> lock(g_activeMutex);
    g_active = std::move(prefix);
}

namespace {
thread_local std::shared_ptr<Prefix> t_threadPrefix;
}

std::shared_ptr<Prefix> ActivePrefix() {
    if (t_threadPrefix) return t_threadPrefix;
    std::lock_guard<std::mutex> lock(g_activeMutex);
    return g_active;
}

ScopedThreadPrefix::ScopedThreadPrefix(std::shared_ptr<Prefix> prefix) : previous_(std::move(t_threadPrefix)) {
    t_threadPrefix = std::move(prefix);
}

ScopedThreadPrefix::~ScopedThreadPrefix() { t_threadPrefix = std::move(previous_); }

std::string ActiveRegistryError() {
    std::shared_ptr<Prefix> prefix = ActivePrefix();
    return prefix ? prefix->Registry().LastError() : std::string();
}

fs::path ChoosePrefixPath() {
    const char* env = std::getenv("WINEPREFIX");
    if (env && *env) return fs::absolute(env);
    std::error_code ec;
    fs::path wine = HomeFolder() / ".wine";
    if (fs::exists(wine / "system.reg", ec) || fs::exists(wine / "user.reg", ec)) return wine;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    fs::path data = (xdg && *xdg) ? fs::path(xdg) : HomeFolder() / ".local" / "share";
    return data / "quorvane" / "prefix";
}

void EnsureMinimalPrefix(const fs::path& root) {
    std::error_code ec;
    if (fs::exists(root / "system.reg", ec)) return;
    const std::string user = UnixUserName();
    const fs::path c = root / "drive_c";
    const fs::path profile = c / "users" / user;
    for (const fs::path& d :
         {c / "windows" / "system32", c / "windows" / "Fonts", c / "windows" / "help", c / "Program Files",
          c / "Program Files (x86)", c / "ProgramData", c / "users" / "Public", profile / "Desktop",
          profile / "AppData" / "Roaming" / "Microsoft" / "Windows" / "Start Menu" / "Programs" / "StartUp",
          profile / "AppData" / "Local" / "Microsoft" / "Windows" / "INetCache",
          profile / "AppData" / "Local" / "Microsoft" / "Windows" / "INetCookies", root / "dosdevices"}) {
        fs::create_directories(d, ec);
        if (ec) throw std::runtime_error("Cannot create " + d.string() + ": " + ec.message());
    }
    if (!fs::exists(root / "dosdevices" / "c:", ec) && !fs::is_symlink(root / "dosdevices" / "c:", ec))
        fs::create_directory_symlink("../drive_c", root / "dosdevices" / "c:", ec);
    if (!fs::exists(root / "dosdevices" / "z:", ec) && !fs::is_symlink(root / "dosdevices" / "z:", ec))
        fs::create_directory_symlink("/", root / "dosdevices" / "z:", ec);

    RegistryStore store(root);
    auto lock = store.WriteLock();
    store.BeginBatch();
    const std::string profileWin = "C:\\users\\" + user;
    struct Entry {
        RegRoot root;
        const char16_t* key;
        const char* name;
        std::string value;
    };
    const Entry entries[] = {
        {RegRoot::LocalMachine, u"Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
         "C:\\Program Files"},
        {RegRoot::LocalMachine, u"Software\\Microsoft\\Windows\\CurrentVersion", "CommonFilesDir",
         "C:\\Program Files\\Common Files"},
        {RegRoot::LocalMachine, u"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1000",
         "ProfileImagePath", profileWin},
        {RegRoot::LocalMachine, u"System\\CurrentControlSet\\Control\\Session Manager\\Environment", "windir",
         "C:\\windows"},
        {RegRoot::CurrentUser, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Desktop",
         profileWin + "\\Desktop"},
        {RegRoot::CurrentUser, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "AppData",
         profileWin + "\\AppData\\Roaming"},
        {RegRoot::CurrentUser, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
         "Start Menu", profileWin + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu"},
        {RegRoot::CurrentUser, u"Environment", "TEMP", profileWin + "\\AppData\\Local\\Temp"},
        {RegRoot::Users, u".Default\\Environment", "TEMP", "C:\\windows\\temp"},
    };
    for (const Entry& e : entries) {
        long err = 0;
        reg::Key* k = store.Create(e.root, e.key, nullptr, &err);
        if (k) store.SetValue(k, reg::ToUtf16(e.name), 1, StringData(e.value));
    }
    if (store.EndBatch() != 0)
        throw std::runtime_error("Cannot create the prefix registry in " + root.string() + ": " + store.LastError());
}

std::shared_ptr<Prefix> OpenUserPrefix() {
    fs::path p = ChoosePrefixPath();
    const char* env = std::getenv("WINEPREFIX");
    if (!(env && *env) && p != HomeFolder() / ".wine") EnsureMinimalPrefix(p);
    auto prefix = std::make_shared<Prefix>(p);
    SetActivePrefix(prefix);
    return prefix;
}

}  // namespace qv
