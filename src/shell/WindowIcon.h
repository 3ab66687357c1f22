#pragma once

#include <QIcon>

namespace ondiva::shell {

// The program's icon, drawn at 32x32 and 16x16: a magazine page under a magnifying glass.
QIcon windowIcon();

} // namespace ondiva::shell
