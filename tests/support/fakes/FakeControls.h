#pragma once

// In-memory stand-ins for the window's controls, for driving the logic in tests.

#include "OpenFiles.h"
#include "platform/controls/FileDialog.h"
#include "platform/controls/Label.h"
#include "platform/controls/MessageBox.h"
#include "platform/controls/OptionButton.h"
#include "platform/controls/ResultList.h"
#include "platform/controls/TextBox.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace ondiva::fakes {

class FakeTextBox : public TextBox {
public:
    QString value;
    QString text() const override { return value; }
};

class FakeOption : public OptionButton {
public:
    bool selected = false;
    bool isSelected() const override { return selected; }
};

class FakeLabel : public Label {
public:
    QString caption = QStringLiteral("(untouched)");
    void setCaption(const QString& text) override { caption = text; }
};

class FakeResultList : public ResultList {
public:
    QStringList rows;
    int clears = 0;
    void clear() override
    {
        rows.clear();
        ++clears;
    }
    void addRow(QUtf8StringView row) override { rows.append(row.toString()); }
    qsizetype count() const override { return rows.size(); }
};

struct ShownMessage {
    QString text;
    int style;
    QString title;
    QString details;
    int databasesOpen; // catalogue files held open while the message was up
};

class FakeMessageBox : public MessageBox {
public:
    QList<ShownMessage> shown;
    QList<int> answers; // answered in order; AnswerOk once they run out
    int show(const QString& text, int style, const QString& title, const QString& details = {}) override
    {
        shown.append({text, style, title, details, testing::openCatalogueFiles()});
        return answers.isEmpty() ? AnswerOk : answers.takeFirst();
    }
};

class FakeFileDialog : public FileDialog {
public:
    QString filter;
    QString presetName;
    QString chosen; // what the user picks; empty means cancel
    int timesShown = 0;
    void setFilter(const QString& f) override { filter = f; }
    void setFileName(const QString& name) override { presetName = name; }
    void showOpen() override
    {
        ++timesShown;
        if (!chosen.isEmpty())
            presetName = chosen;
    }
    QString fileName() const override { return presetName; }
};

} // namespace ondiva::fakes
