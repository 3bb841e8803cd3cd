#pragma once

#include "support/frames.h"
#include "support/virtualplatform.h"

#include <QList>
#include <QPair>

#include <optional>

// The host on the line, on the virtual clock: answers each input status
// query 5 ms after it with the input bytes it holds at that moment, and the
// output query likewise while it holds an output byte (without one, the
// linkage timings stay free of output replies).
struct SimulatedHost
{
    explicit SimulatedHost(VirtualPlatform &p, uint8_t alarm1 = 0)
        : platform(p)
        , in1(alarm1)
        , seen(p.port.written().size())
    {
    }

    void runTo(int64_t time)
    {
        while (platform.clock.now() < time) {
            platform.clock.advance(1);
            const QList<FakeSerialComponent::Written> &written = platform.port.written();
            for (; seen < written.size(); ++seen) {
                const QByteArray &frame = written[seen].bytes;
                if (frame.size() < 3)
                    continue;
                if (uint8_t(frame[2]) == 0x3F)
                    due.append({written[seen].time + 5, lineFrame(0x3F, in1, in2)});
                else if (uint8_t(frame[2]) == 0x3B && out)
                    due.append({written[seen].time + 5, lineFrame(0x3B, *out)});
            }
            while (!due.isEmpty() && due.first().first <= platform.clock.now())
                platform.port.receive(due.takeFirst().second);
        }
    }
    void run(int64_t ms) { runTo(platform.clock.now() + ms); }

    VirtualPlatform &platform;
    uint8_t in1 = 0;
    uint8_t in2 = 0;
    std::optional<uint8_t> out;
    qsizetype seen = 0;
    QList<QPair<int64_t, QByteArray>> due;
};
