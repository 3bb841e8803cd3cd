#pragma once

#include <QLineEdit>

// A one-line text box; Change is raised on every change of its text,
// including one made in code or by an up-down button.
class TextBox : public QLineEdit
{
    Q_OBJECT

public:
    explicit TextBox(const QString &text, QWidget *parent = nullptr)
        : QLineEdit(text, parent)
    {
        connect(this, &QLineEdit::textChanged, this, &TextBox::Change);
    }

signals:
    void Change();
};
