#include "platform/updown.h"

#include "state/numbertext.h"

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

UpDown::UpDown(QLineEdit *buddy, int step, int minimum, int maximum, QWidget *parent)
    : QWidget(parent)
    , m_buddy(buddy)
    , m_step(step)
    , m_minimum(minimum)
    , m_maximum(maximum)
    , m_up(new QToolButton(this))
    , m_down(new QToolButton(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton *button : {m_up, m_down}) {
        button->setAutoRepeat(true);
        button->setFixedSize(16, 11);
        layout->addWidget(button);
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    connect(m_up, &QToolButton::clicked, this, &UpDown::stepUp);
    connect(m_down, &QToolButton::clicked, this, &UpDown::stepDown);
}

void UpDown::stepBy(int delta)
{
    const double shown = leadingNumber(m_buddy->text());
    const int current = std::clamp(int(roundHalfEven(shown)), m_minimum, m_maximum);
    const int next = std::clamp(current + delta, m_minimum, m_maximum);
    m_buddy->setText(QString::number(next));
}
