#pragma once

#include "platform/controls/TextBox.h"

#include <QLineEdit>

namespace ondiva {

// A search box read through a QLineEdit.
class QtTextBox : public TextBox {
public:
    explicit QtTextBox(const QLineEdit& edit)
        : m_edit(edit)
    {}
    QString text() const override { return m_edit.text(); }

private:
    const QLineEdit& m_edit;
};

} // namespace ondiva
