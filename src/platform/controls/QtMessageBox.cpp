#include "QtMessageBox.h"

#include <QMessageBox>
#include <QPushButton>

namespace ondiva {
namespace {

constexpr int kButtonsMask = 0x0f;
constexpr int kIconMask = 0xf0;

QMessageBox::Icon iconOf(int style)
{
    switch (style & kIconMask) {
    case MessageBox::IconCritical:
        return QMessageBox::Critical;
    case MessageBox::IconQuestion:
        return QMessageBox::Question;
    case MessageBox::IconExclamation:
        return QMessageBox::Warning;
    case MessageBox::IconInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

int QtMessageBox::show(const QString& text, int style, const QString& title, const QString& details)
{
    QMessageBox box(iconOf(style), title, text, QMessageBox::NoButton, m_parent);
    if (!details.isEmpty())
        box.setDetailedText(details);
    if ((style & kButtonsMask) == YesNo) {
        QPushButton* yes = box.addButton(QMessageBox::Yes);
        QPushButton* no = box.addButton(QMessageBox::No);
        box.setDefaultButton((style & DefaultButton2) ? no : yes);
        // Closing the box answers No.
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes ? AnswerYes : AnswerNo;
    }
    // OK, and every other button set, is shown with a single OK button.
    QPushButton* ok = box.addButton(QMessageBox::Ok);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    return AnswerOk;
}

} // namespace ondiva
