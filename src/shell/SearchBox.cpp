#include "SearchBox.h"

#include <QKeyEvent>

namespace ondiva::shell {

void SearchBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        emit enterPressed();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace ondiva::shell
