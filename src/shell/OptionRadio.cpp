#include "OptionRadio.h"

namespace ondiva::shell {

// Skips the button's own handler, the one that moves the tab stops.
void OptionRadio::focusInEvent(QFocusEvent* event) { QWidget::focusInEvent(event); }

} // namespace ondiva::shell
