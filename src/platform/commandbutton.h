#pragma once

#include <QPushButton>

// A push button whose press in code runs its click handler at once, as an
// operator's click does, whether or not the button is shown or enabled.
class CommandButton : public QPushButton
{
    Q_OBJECT

public:
    explicit CommandButton(const QString &caption, QWidget *parent = nullptr)
        : QPushButton(caption, parent)
    {
        connect(this, &QPushButton::clicked, this, &CommandButton::Click);
    }

    void press() { emit Click(); }

signals:
    void Click();
};
