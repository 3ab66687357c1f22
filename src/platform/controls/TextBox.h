#pragma once

#include <QString>

namespace ondiva {

// A single-line search box, as the logic sees it: only its text is read.
class TextBox {
public:
    virtual ~TextBox() = default;
    virtual QString text() const = 0;
};

} // namespace ondiva
