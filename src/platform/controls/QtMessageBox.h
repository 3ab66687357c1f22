#pragma once

#include "platform/controls/MessageBox.h"

#include <QPointer>
#include <QWidget>

namespace ondiva {

// Message boxes shown with QMessageBox. The classic style number picks the
// buttons (OK, Yes/No; the Cancel/Try again/Continue set is shown as a single
// OK), the icon and the default button.
class QtMessageBox : public MessageBox {
public:
    explicit QtMessageBox(QWidget* parent = nullptr)
        : m_parent(parent)
    {}

    // The window the boxes are centred on and modal to.
    void setParentWidget(QWidget* parent) { m_parent = parent; }

    int show(const QString& text, int style, const QString& title, const QString& details = {}) override;

private:
    QPointer<QWidget> m_parent;
};

} // namespace ondiva
