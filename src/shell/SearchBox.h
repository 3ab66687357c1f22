#pragma once

#include <QLineEdit>

namespace ondiva::shell {

// A pane's search box: Enter (main or keypad, with any modifier, and on every
// auto-repeat) asks for a search; every other key edits as usual.
class SearchBox : public QLineEdit {
    Q_OBJECT

public:
    using QLineEdit::QLineEdit;

signals:
    void enterPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace ondiva::shell
