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
// red + 256 × green + 65536 × blue.
class Lamp : public QWidget
{
    Q_OBJECT

public:
    explicit Lamp(QWidget *parent = nullptr);

    uint32_t fillColor() const { return m_fillColor; }
    void setFillColor(uint32_t color);

    QSize sizeHint() const override { return {17, 17}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    uint32_t m_fillColor = kLampGrey;
};
