#pragma once

// What this process holds open, seen from the outside: the descriptors that
// the kernel lists for it. A command that returns must have closed its catalogue.

#include <QDir>
#include <QFileInfo>

namespace ondiva::testing {

// How many descriptors of this process refer to a catalogue file (a file named *.mdb).
inline int openCatalogueFiles()
{
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        if (QFileInfo(fds.filePath(fd)).symLinkTarget().endsWith(QStringLiteral(".mdb")))
            ++count;
    }
    return count;
}

} // namespace ondiva::testing
