#pragma once

#include "platform/controls/Label.h"

#include <QLabel>

namespace ondiva {

// A caption written through a QLabel.
class QtLabel : public Label {
public:
    explicit QtLabel(QLabel& label)
        : m_label(label)
    {}
    void setCaption(const QString& caption) override { m_label.setText(caption); }

private:
    QLabel& m_label;
};

} // namespace ondiva
