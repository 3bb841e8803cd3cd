#pragma once

#include <QCheckBox>

// A bare check box with state 0 or 1. Click is raised on every change of
// state, the operator's and one made in code; none when the state set
// equals the current one.
class CheckBox : public QCheckBox
{
    Q_OBJECT

public:
    explicit CheckBox(QWidget *parent = nullptr)
        : QCheckBox(parent)
    {
        connect(this, &QCheckBox::toggled, this, &CheckBox::Click);
    }

    int value() const { return isChecked() ? 1 : 0; }
    void setValue(int value) { setChecked(value != 0); }

signals:
    void Click();
};
