#include "platform/QtMessageBox.h"
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
    ondiva::QtMessageBox messages;
    ondiva::shell::MainWindow window(catalogue, messages);
    messages.setParentWidget(&window);
    window.show();
    return app.exec();
}
