#pragma once

#include <QFileInfo>

namespace ondiva {

// A file or folder counts as writable only when some write permission is set:
// even a user who could override it (the administrator) should not change a
// catalogue, or the folder of one, that was marked read-only.
inline bool markedWritable(const QFileInfo& info)
{
    // (WriteUser is left out: it reports what the current user may do, which for the administrator is anything.)
    const auto anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return info.isWritable() && (info.permissions() & anyWrite);
}

} // namespace ondiva
