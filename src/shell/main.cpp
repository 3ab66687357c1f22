#include "DemoCatalogueDigest.h"
#include "catalogue/ConversionOffer.h"
#include "platform/reader/AccessChildReader.h"
#include "platform/controls/QtConversionProgress.h"
#include "platform/controls/QtMessageBox.h"
#include "platform/files/SystemCatalogueFiles.h"
#include "shell/MainWindow.h"
#include "shell/QtTranslations.h"

#include <QApplication>

using namespace Qt::Literals::StringLiterals;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // Qt's own buttons and dialogs in the system's language; the program's texts stay as they are.
    ondiva::shell::installQtTranslations();
    // The catalogue lives beside the program, whatever the current directory.
    const QString catalogue = QCoreApplication::applicationDirPath() + u"/qx.mdb"_s;
    const QString title = ondiva::shell::MainWindow::kTitle.toString();
    ondiva::QtMessageBox messages;
    const auto files = ondiva::systemCatalogueFiles();
    {
        // A catalogue an earlier version kept as an Access file is offered for
        // conversion before the window takes any input.
        ondiva::AccessChildReader reader(ondiva::AccessChildReader::besideProgram());
        ondiva::QtConversionProgress progress(title);
        ondiva::catalogue::ConversionOffer(catalogue, title, messages, reader, *files, progress).run();
    }
    ondiva::shell::MainWindow window(catalogue, *files, messages);
    window.setEarlierCatalogue({ondiva::kDemoCatalogueSize, QByteArray(ondiva::kDemoCatalogueSha256)},
                               ondiva::AccessChildReader::besideProgram());
    messages.setParentWidget(&window);
    window.show();
    return app.exec();
}
