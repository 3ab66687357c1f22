#pragma once

#include <QUtf8StringView>

namespace ondiva {

// A multi-column result list. A row is one text whose columns are separated
// by TAB; the list splits it into its columns itself.
class ResultList {
public:
    virtual ~ResultList() = default;
    virtual void clear() = 0;
    virtual void addRow(QUtf8StringView row) = 0;
    virtual qsizetype count() const = 0;
};

} // namespace ondiva
