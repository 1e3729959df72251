#pragma once

#include <QString>

namespace zelvano {

// Whether some process of this machine is still writing a file: a file that is
// held open for writing is not finished.
class FileWriters
{
public:
    virtual ~FileWriters() = default;
    // True when a process (this one included) holds the file open for writing
    // or appending. False when none does, or when the machine does not tell.
    virtual bool heldForWriting(const QString &path) const = 0;
};

// The machine's open files: on Linux every /proc/PID/fd link that leads to the
// file, with the open mode from /proc/PID/fdinfo. Only the processes this one
// may look into count (all of them for root, its own user's otherwise).
class SystemFileWriters final : public FileWriters
{
public:
    bool heldForWriting(const QString &path) const override;
};

// The open mode of a /proc/PID/fdinfo text: true when its "flags:" line (octal)
// says write-only or read-write.
bool fdinfoOpenForWriting(const QByteArray &fdinfo);

} // namespace zelvano
