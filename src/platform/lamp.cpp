#include "platform/lamp.h"

#include <QAccessible>
#include <QPainter>

Lamp::Lamp(QWidget *parent)
    : QWidget(parent)
{
    setFixedSize(sizeHint());
}

void Lamp::setFillColor(uint32_t color)
{
    if (color == m_fillColor)
        return;
    m_fillColor = color;
    update();
    describe();
}

void Lamp::setMeanings(const QString &grey, const QString &statusRed, const QString &alarmRed)
{
    m_meanings[0] = grey;
    m_meanings[1] = statusRed;
    m_meanings[2] = alarmRed;
    describe();
}

// A screen reader hears of the change; Qt 6.4 sets a description
// without saying so.
void Lamp::describe()
{
    const int meaning = m_fillColor == kAlarmRed ? 2 : m_fillColor == kStatusRed ? 1 : 0;
    if (accessibleDescription() == m_meanings[meaning])
        return;
    setAccessibleDescription(m_meanings[meaning]);
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

void Lamp::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
    painter.setBrush(
        QColor(int(m_fillColor & 0xFF), int((m_fillColor >> 8) & 0xFF), int((m_fillColor >> 16) & 0xFF)));
    painter.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
}
