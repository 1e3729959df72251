#pragma once

#include "platform/processes.h"

#include <QString>

#include <memory>
#include <optional>

class QLockFile;

namespace zelvano {

// The claim that the tray program or the service runs for one program folder.
// One-shot commands never take it.
class InstanceClaim
{
public:
    virtual ~InstanceClaim() = default;
    // Takes the claim for the folder; false when another process holds it.
    // Once taken it is held until this object goes or the process ends, however
    // it ends (a killed copy never leaves a stale claim behind).
    virtual bool claim(const QString &folder) = 0;
};

// The machine's claim: on Linux an abstract unix socket named after the
// folder's canonical path (the kernel lets it go with the process, and it does
// not depend on the folder being writable); elsewhere a lock file in the
// temporary folder.
class FolderInstanceLock final : public InstanceClaim
{
public:
    FolderInstanceLock();
    ~FolderInstanceLock() override;
    FolderInstanceLock(const FolderInstanceLock &) = delete;
    FolderInstanceLock &operator=(const FolderInstanceLock &) = delete;

    bool claim(const QString &folder) override;

    // The name the claim goes by: the same for every spelling of one folder
    // (relative, with "..", through a symbolic link).
    static QString claimName(const QString &folder);

    // Who holds the claim of a folder now, read without taking it (a copy
    // starting at that moment is never turned away by the look). `process`
    // is missing when the holder cannot be seen (another user's process).
    struct Holder
    {
        bool held = false;
        std::optional<ProcessInfo> process;
    };
    static Holder holder(const QString &folder);

private:
    int m_socket = -1;
    std::unique_ptr<QLockFile> m_lockFile;
};

} // namespace zelvano
