#pragma once

#include "platform/controls/OptionButton.h"

#include <QAbstractButton>

namespace ondiva {

// An option read through a checkable Qt button (a QRadioButton on the window).
class QtOptionButton : public OptionButton {
public:
    explicit QtOptionButton(const QAbstractButton& button)
        : m_button(button)
    {}
    bool isSelected() const override { return m_button.isChecked(); }

private:
    const QAbstractButton& m_button;
};

} // namespace ondiva
