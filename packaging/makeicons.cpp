// Build tool: draws the window's icon,
//   makeicons OUTDIR NAME SIZE...    OUTDIR/<SIZE>x<SIZE>/apps/NAME.png for each size
//                                    (the hicolor theme's folders)
//   makeicons --ico FILE SIZE...     one Windows icon file holding every size
// Sizes run from 1 to 256, the largest a Windows icon holds.

#include "shell/WindowIcon.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QString>
#include <QtEndian>

#include <cstdio>
#include <cstdlib>

namespace {

QByteArray png(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        ondiva::shell::paintIcon(painter, size);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

template <class T>
void put(QByteArray& out, T value)
{
    const T little = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&little), sizeof little);
}

// An ICO file whose images are PNG streams, as Windows has read them since Vista:
// a 6-byte header, a 16-byte entry per image, then the images.
QByteArray ico(const QList<int>& sizes)
{
    QList<QByteArray> images;
    for (int size : sizes)
        images += png(size);
    QByteArray out;
    put<quint16>(out, 0);
    put<quint16>(out, 1); // an icon, not a cursor
    put<quint16>(out, quint16(sizes.size()));
    quint32 offset = quint32(6 + 16 * sizes.size());
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        const auto side = quint8(sizes[i] == 256 ? 0 : sizes[i]); // 0 stands for 256
        out.append(char(side)).append(char(side)).append(char(0)).append(char(0));
        put<quint16>(out, 1);  // colour planes
        put<quint16>(out, 32); // bits per pixel
        put<quint32>(out, quint32(images[i].size()));
        put<quint32>(out, offset);
        offset += quint32(images[i].size());
    }
    for (const QByteArray& image : images)
        out += image;
    return out;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: makeicons OUTDIR NAME SIZE... | makeicons --ico FILE SIZE...\n");
        return 2;
    }
    const bool asIco = QByteArray(argv[1]) == "--ico";
    QList<int> sizes;
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || size > 256) {
            std::fprintf(stderr, "makeicons: bad size %s\n", argv[i]);
            return 2;
        }
        sizes += size;
    }
    if (asIco) {
        const QString file = QString::fromLocal8Bit(argv[2]);
        QSaveFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(ico(sizes)) < 0 || !out.commit()) {
            std::fprintf(stderr, "makeicons: cannot write %s\n", qPrintable(file));
            return 1;
        }
        return 0;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int size : sizes) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(size);
        QFile file(QStringLiteral("%1/%2.png").arg(folder, name));
        if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly) || file.write(png(size)) < 0) {
            std::fprintf(stderr, "makeicons: cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
    }
    return 0;
}
