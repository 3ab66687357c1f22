#pragma once

#include <QString>

namespace ondiva {

// A label whose caption the logic sets (the count labels).
class Label {
public:
    virtual ~Label() = default;
    virtual void setCaption(const QString& caption) = 0;
};

} // namespace ondiva
