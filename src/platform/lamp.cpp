#include "lamp.h"

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
}

void Lamp::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
    painter.setBrush(QColor(int(m_fillColor & 0xFF), int((m_fillColor >> 8) & 0xFF),
                            int((m_fillColor >> 16) & 0xFF)));
    painter.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
}
