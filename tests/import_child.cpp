// Runs one real import, answering the dialogs itself: import_child CATALOGUE FILE.
// The crash test starts it and kills it at random moments.

#include "fakes/FakeControls.h"
#include "platform/QtInputFile.h"
#include "update/UpdateImport.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    ondiva::fakes::FakeFileDialog dialog;
    dialog.chosen = QString::fromLocal8Bit(argv[2]);
    ondiva::fakes::FakeMessageBox messages;
    messages.answers = {ondiva::MessageBox::AnswerYes};
    ondiva::QtInputFile input;
    ondiva::update::UpdateImport(QString::fromLocal8Bit(argv[1]), dialog, messages, input).run();
    const QString last = messages.shown.isEmpty() ? QString() : messages.shown.last().text;
    std::printf("%s\n", last.toUtf8().constData());
    return 0;
}
