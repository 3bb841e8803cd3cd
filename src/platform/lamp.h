#pragma once

#include <QWidget>

#include <cstdint>

// The lamp colours of the whole program.
inline constexpr uint32_t rgb(int red, int green, int blue)
{
    return uint32_t(red) + 256u * uint32_t(green) + 65536u * uint32_t(blue);
}
inline constexpr uint32_t kLampGrey = rgb(192, 192, 192);
inline constexpr uint32_t kStatusRed = rgb(240, 0, 0);
inline constexpr uint32_t kAlarmRed = rgb(255, 0, 0);

// A lamp: a small solid-filled circle. Colours are 24-bit values
// red + 256 × green + 65536 × blue. Its accessible description says what
// the colour means, so that a screen reader tells alarm from quiet.
class Lamp : public QWidget
{
    Q_OBJECT

public:
    explicit Lamp(QWidget *parent = nullptr);

    uint32_t fillColor() const { return m_fillColor; }
    void setFillColor(uint32_t color);
    // The descriptions of grey, status red and alarm red.
    void setMeanings(const QString &grey, const QString &statusRed, const QString &alarmRed);

    QSize sizeHint() const override { return {17, 17}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void describe();

    uint32_t m_fillColor = kLampGrey;
    QString m_meanings[3];
};
