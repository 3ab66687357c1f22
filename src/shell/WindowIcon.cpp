#include "WindowIcon.h"

#include <QPainter>
#include <QPixmap>

namespace ondiva::shell {

void paintIcon(QPainter& painter, int size)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);

    // The page, with a coloured band for each kind of entry in the catalogue.
    painter.setPen(QPen(QColor(64, 64, 64), 1.5));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(3.5, 1.5, 20, 27));
    const QColor bands[] = {{192, 255, 255}, {255, 255, 192}, {192, 255, 192}, {255, 192, 192}};
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        painter.setBrush(bands[i]);
        painter.drawRect(QRectF(6, 5 + i * 5.5, 15, 3.5));
    }

    // The magnifying glass.
    painter.setBrush(QColor(255, 255, 255, 150));
    painter.setPen(QPen(QColor(32, 32, 96), 3));
    painter.drawEllipse(QPointF(20, 19), 7, 7);
    painter.setPen(QPen(QColor(32, 32, 96), 4.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(25.5, 24.5), QPointF(30, 29));
    painter.restore();
}

namespace {

QPixmap drawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paintIcon(painter, size);
    return pixmap;
}

} // namespace

QIcon windowIcon()
{
    QIcon icon;
    icon.addPixmap(drawIcon(32));
    icon.addPixmap(drawIcon(16));
    return icon;
}

} // namespace ondiva::shell
