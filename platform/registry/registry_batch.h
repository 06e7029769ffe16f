// Groups many registry changes into one save: inside a batch the Reg* functions change
// memory only, and the batch's Commit() puts them all on disk at once (or none, with an
// error that says why). A batch that is never committed explicitly commits when it ends.
#pragma once

#include <memory>
#include <string>

namespace qv {

class Prefix;

class RegistryBatch {
public:
    RegistryBatch();  // on the active prefix
    ~RegistryBatch();
    RegistryBatch(const RegistryBatch&) = delete;
    RegistryBatch& operator=(const RegistryBatch&) = delete;

    // Saves the changes made since the batch began. Returns a Windows error code; the
    // message for the user is in Error().
    long Commit();
    std::string Error() const;

private:
    std::shared_ptr<Prefix> prefix_;
    bool open_ = false;
};

}  // namespace qv
