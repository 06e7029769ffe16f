// The Wine prefix Quorvane works on: its folder, its registry and its drives.
// One prefix is active per process; the Win32 stand-in functions act on it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace qv {

class RegistryStore;

class Prefix {
public:
    // Opens the prefix at `root` and loads its registry. Throws std::runtime_error with a
    // message for the user when the folder does not exist or is not a Wine prefix.
    explicit Prefix(std::filesystem::path root);
    ~Prefix();
    Prefix(const Prefix&) = delete;
    Prefix& operator=(const Prefix&) = delete;

    const std::filesystem::path& Root() const { return root_; }
    RegistryStore& Registry() { return *registry_; }

    // The folder of a drive letter ("c" -> <prefix>/dosdevices/c:), empty when not mapped.
    std::filesystem::path DriveFolder(char letter) const;
    // True when DriveFolder(letter) is not empty; in a scan, without copying the folder.
    bool HasDriveFolder(char letter) const;

private:
    // DriveFolder for a lower-case letter, read from the disk.
    std::filesystem::path FindDriveFolder(char letter) const;

    std::filesystem::path root_;
    std::unique_ptr<RegistryStore> registry_;
};

// The prefix the Win32 functions act on; null until one is set.
void SetActivePrefix(std::shared_ptr<Prefix> prefix);
std::shared_ptr<Prefix> ActivePrefix();
// Makes `prefix` the active one for this thread only while it lives: code that judges
// another prefix (menu entries of other prefixes) uses the Win32 functions on it without
// touching the window's prefix.
class ScopedThreadPrefix {
public:
    explicit ScopedThreadPrefix(std::shared_ptr<Prefix> prefix);
    ~ScopedThreadPrefix();
    ScopedThreadPrefix(const ScopedThreadPrefix&) = delete;
    ScopedThreadPrefix& operator=(const ScopedThreadPrefix&) = delete;

private:
    std::shared_ptr<Prefix> previous_;
};
// Why the active prefix's registry last refused a change; empty when none is set.
std::string ActiveRegistryError();

// The prefix a user means, chosen as every Wine tool does: $WINEPREFIX if set, else ~/.wine
// when it holds a registry, else Quorvane's own prefix under $XDG_DATA_HOME/quorvane/prefix
// (created with a minimal registry and folder skeleton on first use).
std::filesystem::path ChoosePrefixPath();

// Creates a minimal prefix (registry files and folder skeleton) at `root` unless one is there.
void EnsureMinimalPrefix(const std::filesystem::path& root);

// Chooses, opens and activates the prefix a user means; returns it.
std::shared_ptr<Prefix> OpenUserPrefix();

}  // namespace qv
