#pragma once

#include "platform/messagebox.h"

class QWidget;

// The real box: QMessageBox::exec keeps the event loop turning while open.
class QtMessageBox : public MessageBox
{
public:
    explicit QtMessageBox(QWidget *parent = nullptr)
        : m_parent(parent)
    {
    }
    void setParent(QWidget *parent) { m_parent = parent; }
    void show(const QString &text, int style, const QString &title) override;

private:
    QWidget *m_parent = nullptr;
};
