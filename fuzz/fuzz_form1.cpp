// libFuzzer target: the whole window on the virtual clock with the fake
// port, driven by an input read as a sequence of steps. Each step is an
// opcode byte (taken modulo kOpCount) and its argument bytes; a missing
// argument byte reads as 0. A fresh window per input keeps inputs
// independent. After every step the invariants below are checked and a
// violation aborts with a message naming it.
//
//   0 receive  n(0..64) bytes...   bytes from the host (only while the port is open)
//   1 advance  t                   virtual time, see advanceMs()
//   2 page     p                   SSTab1 to page p % 5, if that tab is enabled
//   3 click    w                   button w % clickable count, if visible and enabled
//   4 choose   c e                 Combo(c % 5 + 1) entry e % count, if visible and enabled
//   5 type     c s [raw...]        operator types text into Combo(c % 5 + 1), see typedText()
//   6 fault    f d                 port faults, see fault()
//   7 box      t                   message boxes stay open advanceMs(t) (0: closed at once)
//   8 reply    k a b               a well-formed reply E0 addr 3F/3B a b sum (port open)
//   9 empty                        a receive event with nothing waiting (port open)
//
// ALARM_FUZZ_TRACE=1 prints each step, for reading a reproducer.

#include "app/form1.h"
#include "platform/checkbox.h"
#include "platform/combobox.h"
#include "platform/commandbutton.h"
#include "platform/intervaltimer.h"
#include "platform/tabcontrol.h"
#include "platform/updown.h"
#include "support/fakeserialcomponent.h"
#include "support/frames.h"
#include "support/virtualplatform.h"

#include <QApplication>
#include <QLineEdit>
#include <QToolButton>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kOpCount = 10;
// Bounds one input's run time (polling writes a frame every 20 ms) while
// leaving room for the longest reset time, 600 s.
constexpr int64_t kMaxVirtualMs = 20 * 60 * 1000;
// Boxes opened from inside an open box's wait nest at most this deep.
constexpr int kMaxBoxDepth = 2;

const QString kTryAgain = QStringLiteral(",请检查或更换端口重新操作");
const QString kTooMany = QStringLiteral("你出错太多,请仔细检查或更换端口重新操作");

bool g_trace = false;

[[noreturn]] void violated(const char *format, ...)
{
    std::fprintf(stderr, "alarm_fuzz: invariant violated: ");
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fprintf(stderr, "\n");
    std::abort();
}

void trace(const char *format, ...)
{
    if (!g_trace)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fprintf(stderr, "\n");
}

class Reader
{
public:
    Reader(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    bool atEnd() const { return m_pos >= m_size; }
    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    QByteArray bytes(size_t n)
    {
        n = std::min(n, m_size - m_pos);
        QByteArray out(reinterpret_cast<const char *>(m_data + m_pos), qsizetype(n));
        m_pos += n;
        return out;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Fine steps for reply timing, coarse ones for the filter (up to 10 s)
// and reset (up to 600 s) timers.
int64_t advanceMs(uint8_t t)
{
    if (t < 64)
        return t;
    if (t < 128)
        return (t - 63) * 20;
    if (t < 192)
        return (t - 127) * 250;
    return (t - 191) * 2000;
}

// The end of the program is asked for only by the probe's eighth failure,
// once its too-many-failures box is closed. Timers keep ticking while that
// box is open, so other boxes may have come after it.
class FuzzPlatform : public VirtualPlatform
{
public:
    void endProgram() override
    {
        int failures = 0;
        int tooMany = 0;
        for (const auto &box : boxes.shown()) {
            if (box.text.endsWith(kTryAgain))
                ++failures;
            if (box.text == kTooMany)
                ++tooMany;
        }
        if (tooMany <= endCount)
            violated("end of program asked for without the too-many-failures box");
        if (failures + tooMany < 8)
            violated("end of program after %d port failure boxes", failures + tooMany);
        VirtualPlatform::endProgram();
    }
};

class Session
{
public:
    Session(const uint8_t *data, size_t size)
        : m_in(data, size)
    {
        collectClickables();
        platform.boxes.whileOpen = [this](const QString &text) {
            trace("      box at t=%lld: %s", static_cast<long long>(platform.clock.now()), qPrintable(text));
            boxOpen();
        };
    }

    void run()
    {
        form.Form_Load();
        check("load");
        for (int step = 0; !m_in.atEnd() && platform.endCount == 0; ++step) {
            const char *name = doStep();
            check(name);
            if (g_trace)
                trace("%5d t=%-7lld %-8s page=%d open=%d timers=%-8s linkage=%d check=%d "
                      "filter=%d locked=%d boxes=%d",
                      step, static_cast<long long>(platform.clock.now()), name, ui().SSTab1->tab(),
                      int(portOpen()), qPrintable(counting()), int(ctx().state.linkageActive),
                      int(ctx().state.inputCheckPending), int(ctx().state.filterPending),
                      int(ctx().state.locked), int(platform.boxes.shown().size()));
            if (g_trace && !m_detail.isEmpty())
                trace("      %s", qPrintable(m_detail));
            m_detail.clear();
        }
    }

private:
    const Form1Widgets &ui() { return form.ui(); }
    Form1Context &ctx() { return form.context(); }

    void collectClickables()
    {
        const Form1Widgets &w = ui();
        for (CheckBox *box : w.Check1)
            m_clickables.push_back(box);
        for (CheckBox *box : w.Check5)
            m_clickables.push_back(box);
        for (const auto &array : {w.Command7, w.Command8, w.Command2}) {
            for (CommandButton *button : array)
                m_clickables.push_back(button);
        }
        for (CommandButton *button : {w.Command1, w.Command3, w.Command4, w.Command6})
            m_clickables.push_back(button);
        for (CheckBox *box : w.Check2)
            m_clickables.push_back(box);
        m_clickables.push_back(w.Check3);
        m_clickables.push_back(w.Check4);
        // Each up-down's arrows, up then down.
        for (UpDown *upDown : {w.UpDown1, w.UpDown2, w.UpDown3}) {
            for (QToolButton *arrow : upDown->findChildren<QToolButton *>(Qt::FindDirectChildrenOnly))
                m_clickables.push_back(arrow);
        }
        m_combos = {w.Combo1, w.Combo2, w.Combo3, w.Combo4, w.Combo5};
    }

    // What the operator can reach: shown on the current page, and enabled.
    bool reachable(const QWidget *widget) { return widget->isVisibleTo(&form) && widget->isEnabled(); }

    bool portOpen() { return platform.port.portOpen(); }

    void advance(int64_t ms)
    {
        const int64_t room = kMaxVirtualMs - platform.clock.now();
        platform.clock.advance(std::clamp<int64_t>(ms, 0, room));
    }

    // A box stays open for a while: timers tick and replies arrive meanwhile.
    void boxOpen()
    {
        if (m_boxOpenMs == 0 || m_boxDepth >= kMaxBoxDepth || platform.endCount > 0)
            return;
        ++m_boxDepth;
        advance(m_boxOpenMs);
        --m_boxDepth;
    }

    const char *doStep()
    {
        switch (m_in.byte() % kOpCount) {
        case 0: {
            const QByteArray bytes = m_in.bytes(m_in.byte() % 65);
            note(QStringLiteral("%1%2").arg(QString::fromLatin1(bytes.toHex(' ')),
                                            portOpen() ? QString() : QStringLiteral(" (closed)")));
            if (portOpen())
                platform.port.receive(bytes);
            return "receive";
        }
        case 1:
            advance(advanceMs(m_in.byte()));
            return "advance";
        case 2: {
            const int page = m_in.byte() % 5;
            note(QStringLiteral("%1%2").arg(page).arg(
                ui().SSTab1->isTabEnabled(page) ? QString() : QStringLiteral(" (disabled)")));
            if (ui().SSTab1->isTabEnabled(page))
                ui().SSTab1->setTab(page);
            return "page";
        }
        case 3: {
            QAbstractButton *button = m_clickables[m_in.byte() % m_clickables.size()];
            note(widgetName(button));
            if (reachable(button))
                button->click();
            return "click";
        }
        case 4: {
            ComboBox *combo = m_combos[m_in.byte() % m_combos.size()];
            const uint8_t entry = m_in.byte();
            note(QStringLiteral("%1 %2").arg(widgetName(combo)).arg(entry % std::max(combo->count(), 1)));
            if (reachable(combo) && combo->count() > 0)
                combo->choose(entry % combo->count());
            return "choose";
        }
        case 5: {
            ComboBox *combo = m_combos[m_in.byte() % m_combos.size()];
            const QString text = typedText();
            note(QStringLiteral("%1 \"%2\"").arg(widgetName(combo), text));
            if (reachable(combo)) {
                // Typed over the whole text, as an operator's edit: the
                // combo forgets its list choice.
                combo->lineEdit()->selectAll();
                combo->lineEdit()->insert(text);
            }
            return "type";
        }
        case 6:
            fault();
            return "fault";
        case 7:
            m_boxOpenMs = advanceMs(m_in.byte());
            return "box";
        case 8: {
            const bool input = (m_in.byte() & 1) == 0;
            const uint8_t in1 = m_in.byte();
            const uint8_t in2 = m_in.byte();
            const QByteArray bytes =
                lineFrame(uint8_t(input ? 0x3F : 0x3B), in1, in2, ctx().state.hostAddress);
            note(QString::fromLatin1(bytes.toHex(' ')));
            if (portOpen())
                platform.port.receive(bytes);
            return "reply";
        }
        default:
            if (portOpen())
                platform.port.signalEmpty();
            return "empty";
        }
    }

    void note(const QString &detail)
    {
        if (g_trace)
            m_detail = detail;
    }

    QString widgetName(QWidget *widget)
    {
        QString name = widget->objectName();
        if (name.isEmpty()) { // an up-down's arrow
            const bool up = widget == widget->parentWidget()->findChildren<QToolButton *>().value(0);
            name =
                widget->parentWidget()->objectName() + (up ? QStringLiteral(" up") : QStringLiteral(" down"));
        }
        if (!reachable(widget))
            name += QStringLiteral(" (out of reach)");
        return name;
    }

    // Text from a list of telling values, or up to seven raw Latin-1 bytes.
    QString typedText()
    {
        static const char *const kWords[] = {
            "",    "COM1", "COM2", "COM8", "COM9", "COM0",  "COM",    "0",     "1",     "15",   "16",
            "255", "256",  "-1",   "50",   "0.4",  "2.5",   "9",      "32767", "32768", "1e3",  "1e400",
            " 7",  "+3",   "abc",  "-0",   "1e-9", "65536", "100000", ".",     "COM10", "0x10",
        };
        constexpr size_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);
        const uint8_t s = m_in.byte();
        if (s < 0x80)
            return QString::fromUtf8(kWords[s % kWordCount]);
        return QString::fromLatin1(m_in.bytes(s & 7));
    }

    // f % 10: 0..7 opening COM(f+1) fails with d, 8 writes fail with d,
    // 9 every fault cleared. d % 5: none, invalid, in use, refused, other.
    void fault()
    {
        const uint8_t f = m_in.byte() % 10;
        const PortError errors[] = {PortError::None, PortError::NoSuchPort, PortError::PortInUse,
                                    PortError::AccessDenied, PortError::DeviceGone};
        const PortError error = errors[m_in.byte() % 5];
        FakeSerialComponent &port = platform.port;
        if (f < 8) {
            port.failOpen(int16_t(f + 1), error, QStringLiteral("/dev/ttyUSB0"));
        } else if (f == 8) {
            port.failWrites(error);
        } else {
            for (int16_t n = 1; n <= 8; ++n)
                port.failOpen(n, PortError::None);
            port.failWrites(PortError::None);
        }
    }

    QString counting()
    {
        const IntervalTimer *timers[] = {ctx().Timer1, ctx().Timer2, ctx().Timer3, ctx().Timer4,
                                         ctx().Timer5, ctx().Timer6, ctx().Timer7, ctx().Timer8};
        QString out;
        for (int i = 0; i < 8; ++i) {
            if (timers[i]->isCounting())
                out += QString::number(i + 1);
        }
        return out.isEmpty() ? QStringLiteral("-") : out;
    }

    void check(const char *step)
    {
        const Module1 &state = ctx().state;
        const Form1Context &c = ctx();

        for (const auto &row : state.replyTable) {
            for (const int16_t entry : row) {
                if (entry < 0 || entry > 255)
                    violated("after %s: replyTable entry %d outside 0..255", step, entry);
            }
        }
        if (state.linkageOutputMask < 0 || state.linkageOutputMask > 255)
            violated("after %s: linkageOutputMask %d outside 0..255", step, state.linkageOutputMask);
        if (state.hostType != 0 && state.hostType != 1)
            violated("after %s: hostType %d", step, state.hostType);

        // Every frame on the wire since the last step.
        for (const auto &written : platform.port.written()) {
            const QByteArray &b = written.bytes;
            const QByteArray hex = b.toHex(' ');
            trace("      wrote at t=%lld: %s", static_cast<long long>(written.time), hex.constData());
            if (b.size() != 6)
                violated("after %s: frame of %d bytes: %s", step, int(b.size()), hex.constData());
            const auto at = [&b](int i) { return uint8_t(b[i]); };
            if (at(0) != 0xE0)
                violated("after %s: frame not starting E0: %s", step, hex.constData());
            else if (b != lineFrame(at(2), at(3), at(4), at(1)))
                violated("after %s: frame checksum wrong: %s", step, hex.constData());
            const uint8_t code = at(2);
            if (code != 0x3F && code != 0x3B && code != 0x3D)
                violated("after %s: frame with unknown code: %s", step, hex.constData());
            if (at(4) != 0)
                violated("after %s: frame byte 4 not 0: %s", step, hex.constData());
            if (code != 0x3D && at(3) != 0)
                violated("after %s: query with byte 3 not 0: %s", step, hex.constData());
            // The address only changes in steps that write nothing.
            if (at(1) != state.hostAddress)
                violated("after %s: frame to address %d, host address is %d: %s", step, at(1),
                         state.hostAddress, hex.constData());
        }
        platform.port.clearRecords();

        const IntervalTimer *timers[] = {c.Timer1, c.Timer2, c.Timer3, c.Timer4,
                                         c.Timer5, c.Timer6, c.Timer7, c.Timer8};
        for (int i = 0; i < 8; ++i) {
            if (timers[i]->interval() < 0)
                violated("after %s: Timer%d interval %d", step, i + 1, timers[i]->interval());
        }

        // The port is held only on a host page or for a frame still to go
        // out; the linkage start's input check holds it on the settings page.
        const int page = c.ui.SSTab1->tab();
        const bool hostPage = page == 0 || page == 1;
        const bool framePending = c.Timer8->isCounting();
        const bool inputCheck = state.linkageActive && page == 4;
        if (portOpen() && !hostPage && !framePending && !inputCheck)
            violated("after %s: port open on page %d with no frame pending (timers %s)", step, page,
                     qPrintable(counting()));
    }

    FuzzPlatform platform;
    Form1 form{platform};
    Reader m_in;
    std::vector<QAbstractButton *> m_clickables;
    std::vector<ComboBox *> m_combos;
    int64_t m_boxOpenMs = 0;
    int m_boxDepth = 0;
    QString m_detail;
};

// The harness relies on isVisibleTo telling the current page's widgets
// from the others' in a window never shown.
void selfCheck()
{
    FuzzPlatform platform;
    Form1 form(platform);
    form.Form_Load();
    const Form1Widgets &ui = form.ui();
    const bool ok = ui.Combo1->isVisibleTo(&form) && !ui.Check1[0]->isVisibleTo(&form)
                    && !ui.Command7[0]->isVisibleTo(&form) && !ui.Check3->isVisibleTo(&form);
    ui.SSTab1->setTab(0);
    if (!ok || !ui.Check1[0]->isVisibleTo(&form) || ui.Command7[0]->isVisibleTo(&form)
        || ui.Combo1->isVisibleTo(&form)) {
        std::fprintf(stderr, "alarm_fuzz: widget visibility does not follow the pages\n");
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    g_trace = qEnvironmentVariableIsSet("ALARM_FUZZ_TRACE");
    static int argc = 1;
    static char name[] = "alarm_fuzz";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv); // lives as long as the process
    selfCheck();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    {
        Session session(data, size);
        session.run();
    }
    // Without an event loop, objects Qt hands to deleteLater would pile up
    // from input to input.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
