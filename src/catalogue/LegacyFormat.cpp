#include "LegacyFormat.h"

#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace ondiva::catalogue {

// An Access file starts with a page whose header names the engine that wrote
// it; the byte at 0x14 tells the engine's version.
std::optional<AccessFormat> accessFormatOf(QByteArrayView header)
{
    if (header.size() < 0x15 || !header.startsWith(QByteArrayView("\x00\x01\x00\x00", 4)))
        return std::nullopt;
    const QByteArrayView engine = header.sliced(4, 16);
    if (engine == QByteArrayView("Standard ACE DB\0", 16))
        return AccessFormat::Ace;
    if (engine != QByteArrayView("Standard Jet DB\0", 16))
        return std::nullopt;
    switch (header[0x14]) {
    case 0:
        return AccessFormat::Jet3;
    case 1:
        return AccessFormat::Jet4;
    default:
        return AccessFormat::Ace;
    }
}

std::optional<AccessFormat> accessFormatOfFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return accessFormatOf(file.read(0x20));
}

QString formatName(AccessFormat format)
{
    switch (format) {
    case AccessFormat::Jet3:
        return u"Access 97"_s;
    case AccessFormat::Jet4:
        return u"Access 2000-2003"_s;
    case AccessFormat::Ace:
        break;
    }
    return u"Access 2007 o successivo"_s;
}

} // namespace ondiva::catalogue
