#pragma once

// The parts of CatalogueFiles that Qt does the same way on every system, shared
// by the POSIX and the Windows implementation.

#include "platform/files/CatalogueFiles.h"

namespace ondiva {

// The files beside target whose names start with target's name and tag.
QStringList filesBesideByName(const QString& target, const QString& tag);

} // namespace ondiva
