#pragma once

#include <QIcon>

class QPainter;

namespace ondiva::shell {

// Paints the icon's picture into the size x size square at the painter's
// origin. The window icon and the installed PNG files are both drawn by it.
void paintIcon(QPainter& painter, int size);

// The program's icon, drawn at 32x32 and 16x16: a magazine page under a magnifying glass.
QIcon windowIcon();

} // namespace ondiva::shell
