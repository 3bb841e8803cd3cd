#pragma once

#include "app/form1.h"
#include "platform/checkbox.h"
#include "platform/combobox.h"
#include "platform/commandbutton.h"
#include "platform/intervaltimer.h"
#include "platform/lamp.h"
#include "platform/tabcontrol.h"
#include "platform/textbox.h"
#include "support/fakeserialcomponent.h"
#include "support/frames.h"
#include "support/virtualplatform.h"

#include <QGroupBox>

// The whole window on the virtual clock, with the fake port and recorded
// message boxes: tests drive it as the operator would and read the frames
// on the wire with their exact virtual times.
struct FormFixture
{
    VirtualPlatform platform;
    Form1 form{platform};
    Form1Context &c = form.context();
    Module1 &state = c.state;
    const Form1Widgets &ui = c.ui;
    FakeSerialComponent &port = platform.port;
    RecordingMessageBox &boxes = platform.boxes;
    VirtualClock &clock = platform.clock;

    void load() { form.Form_Load(); }
    void advanceTo(int64_t time) { clock.advanceTo(time); }
    void advance(int64_t ms) { clock.advance(ms); }
    void page(int index) { ui.SSTab1->setTab(index); }
    // A reception from the host, given in hex.
    void reply(const char *hex) { port.receive(QByteArray::fromHex(hex)); }
    QStringList frames() const { return port.frameTrace(); }
    QStringList framesFrom(int64_t time) const
    {
        QStringList lines;
        for (const auto &frame : port.written()) {
            if (frame.time >= time)
                lines.append(QStringLiteral("%1 %2").arg(frame.time).arg(hexBytes(frame.bytes)));
        }
        return lines;
    }
    // Which of Timer1..Timer8 are counting, e.g. "1 5".
    QString counting() const
    {
        const IntervalTimer *timers[] = {c.Timer1, c.Timer2, c.Timer3, c.Timer4,
                                         c.Timer5, c.Timer6, c.Timer7, c.Timer8};
        QStringList numbers;
        for (int i = 0; i < 8; ++i) {
            if (timers[i]->isCounting())
                numbers.append(QString::number(i + 1));
        }
        return numbers.join(u' ');
    }
    bool polling() const
    {
        return c.Timer1->isCounting() || c.Timer2->isCounting() || c.Timer3->isCounting()
               || c.Timer4->isCounting();
    }
    static uint32_t colour(const Lamp *lamp) { return lamp->fillColor(); }
    // Lamps in `colour` by name, sorted; any other colour but grey marked "?".
    QStringList lampsIn(uint32_t colour) const
    {
        QStringList names;
        for (const Lamp *lamp : form.findChildren<Lamp *>()) {
            if (lamp->fillColor() == colour)
                names.append(lamp->objectName());
            else if (lamp->fillColor() != kLampGrey)
                names.append(lamp->objectName() + QStringLiteral("?"));
        }
        names.sort();
        return names;
    }
};

inline constexpr uint32_t kGrey = kLampGrey;
