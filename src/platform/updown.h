#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// Up and down arrows that step the number shown in a buddy text box by a
// fixed step, within limits. The step starts from the number shown, so two
// up-downs on one buddy agree with each other and with code.
class UpDown : public QWidget
{
    Q_OBJECT

public:
    UpDown(QLineEdit *buddy, int step, int minimum, int maximum, QWidget *parent = nullptr);

    int step() const { return m_step; }
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    QLineEdit *buddy() const { return m_buddy; }

    void stepUp() { stepBy(m_step); }
    void stepDown() { stepBy(-m_step); }

private:
    void stepBy(int delta);

    QLineEdit *m_buddy;
    int m_step;
    int m_minimum;
    int m_maximum;
    QToolButton *m_up = nullptr;
    QToolButton *m_down = nullptr;
};
