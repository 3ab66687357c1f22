#pragma once

// The program's commands run as a user runs them, with the dialogs answered.

#include "fakes/FakeCatalogueFiles.h"
#include "fakes/FakeControls.h"
#include "platform/controls/QtInputFile.h"
#include "update/UpdateImport.h"

#include <QObject>
#include <QString>
#include <QtGlobal>

namespace ondiva::testing {

// "Update database" with `file` chosen and the question answered Yes; the notice it ends with.
inline QString importAnsweringYes(const QString& catalogue, const QString& file)
{
    fakes::FakeFileDialog dialog;
    dialog.chosen = file;
    fakes::FakeMessageBox messages;
    messages.answers = {MessageBox::AnswerYes};
    QtInputFile input;
    fakes::FakeCatalogueFiles files;
    update::UpdateImport(catalogue, files, dialog, messages, input).run();
    return messages.shown.isEmpty() ? QString() : messages.shown.last().text;
}

// A control of a window by its name; a missing one ends the test run.
template <typename T>
T* control(const QObject& window, const QString& name)
{
    T* found = window.findChild<T*>(name);
    if (!found)
        qFatal("no control %s", qPrintable(name));
    return found;
}

} // namespace ondiva::testing
