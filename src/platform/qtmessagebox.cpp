#include "platform/qtmessagebox.h"

#include <QMessageBox>

void QtMessageBox::show(const QString &text, int style, const QString &title)
{
    const QMessageBox::Icon icon =
        (style & 0x70) == kCriticalOk ? QMessageBox::Critical : QMessageBox::NoIcon;
    QMessageBox box(icon, title, text, QMessageBox::Ok, m_parent);
    box.exec();
}
