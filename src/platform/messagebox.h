#pragma once

#include <QString>

// Button style value of the error boxes: one OK button, critical-stop icon.
inline constexpr int kCriticalOk = 16;

// A modal message box. While it is open the window keeps dispatching timer
// ticks and receptions; show() returns when the operator closes it.
class MessageBox
{
public:
    virtual ~MessageBox() = default;
    virtual void show(const QString &text, int style, const QString &title) = 0;
};
