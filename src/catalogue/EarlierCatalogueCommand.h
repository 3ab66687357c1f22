#pragma once

#include "CatalogueBringIn.h"

#include <QByteArray>
#include <QString>

namespace ondiva {
class FileDialog;
class LegacyCatalogueReader;
} // namespace ondiva

namespace ondiva::catalogue {

// File ▸ Open earlier catalogue…: the user picks a catalogue (an earlier
// version's Access file, or a catalogue of this program), is told what becomes
// of the one in use and confirms; the file is then brought in its place, with
// the progress shown, and an Access file goes on to the question about
// converting it, as at start-up. Anything the program cannot take is refused
// before a file is touched.
class EarlierCatalogueCommand {
public:
    struct Services {
        FileDialog& dialog;
        MessageBox& messages;
        ConversionProgress& progress;
        CatalogueFiles& files;
        LegacyCatalogueReader& reader;
    };

    EarlierCatalogueCommand(QString cataloguePath, DemoCatalogue demo, QString title, Services services);

    void run();

private:
    bool confirmed(const QString& source, const SourceCheck& check, const CatalogueBringIn& bring);

    QString m_path;
    DemoCatalogue m_demo;
    QString m_title;
    Services m_services;
};

} // namespace ondiva::catalogue
