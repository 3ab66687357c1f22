#pragma once

namespace ondiva {

// One option button; the logic only asks whether it is selected.
class OptionButton {
public:
    virtual ~OptionButton() = default;
    virtual bool isSelected() const = 0;
};

} // namespace ondiva
