#pragma once

#include <QRadioButton>

namespace ondiva::shell {

// An option button of the window. All options are siblings, so Qt keeps them
// one exclusive set. Each keeps the tab stop it was given: a plain radio button
// would move the tab stop of its whole set onto itself whenever it takes focus.
class OptionRadio : public QRadioButton {
    Q_OBJECT

public:
    using QRadioButton::QRadioButton;

protected:
    void focusInEvent(QFocusEvent* event) override;
};

} // namespace ondiva::shell
