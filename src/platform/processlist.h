#pragma once

#include <QString>
#include <QStringList>

namespace zelvano {

// The executable file names of the processes running on this machine.
class ProcessList
{
public:
    virtual ~ProcessList() = default;
    // One name per process; a process whose name cannot be read is left out.
    // Empty when the list itself cannot be read.
    virtual QStringList names() const = 0;
};

// The machine's process list: on Linux the file name of /proc/PID/exe.
class SystemProcessList final : public ProcessList
{
public:
    QStringList names() const override;
};

// The file name of this program's own executable ("zelvano").
QString ownExecutableName();

// The file name a /proc/PID/exe link points at; " (deleted)" (the executable
// was replaced while it runs) is dropped, so an old running copy still counts.
QString executableNameOfLink(const QString &linkTarget);

} // namespace zelvano
