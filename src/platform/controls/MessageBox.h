#pragma once

// platform/controls: the window's controls, dialogs and the file the user chose, as the logic sees them, with their Qt adapters.

#include <QString>

namespace ondiva {

// What a notice tells the user: the message, and technical details to unfold, if any.
struct Notice {
    QString text;
    QString details;
};

// A modal message box. Styles and answers use the classic numbering so that a
// style value reads the same everywhere: buttons + icon + default button.
class MessageBox {
public:
    enum Style : int {
        Ok = 0,
        YesNo = 4,
        CancelTryContinue = 6,
        IconCritical = 16,
        IconQuestion = 32,
        IconExclamation = 48,
        IconInformation = 64,
        DefaultButton2 = 256,
    };
    enum Answer : int {
        AnswerOk = 1,
        AnswerYes = 6,
        AnswerNo = 7,
    };

    virtual ~MessageBox() = default;
    // Shows the box and returns the answer; closing it counts as the default "no" answer.
    // details, when given, is technical text the user can unfold below the message.
    virtual int show(const QString& text, int style, const QString& title, const QString& details = {}) = 0;
};

} // namespace ondiva
