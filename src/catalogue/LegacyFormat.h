#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace ondiva::catalogue {

// The Microsoft Access file formats an earlier version kept the catalogue in.
enum class AccessFormat { Jet3, Jet4, Ace };

// The format a file's first bytes announce, if it is an Access file.
std::optional<AccessFormat> accessFormatOf(QByteArrayView header);
std::optional<AccessFormat> accessFormatOfFile(const QString& path);

// "Access 97", "Access 2000-2003" ...
QString formatName(AccessFormat format);

} // namespace ondiva::catalogue
