// Pictures of the window for the README: the real Form1 on the virtual clock
// and the fake port, with a small host answering its queries, so the lamps
// show colours without hardware.
//
//   alarm-pageshots OUTDIR
//
// writes page0.png .. page4.png (one per tab) and linkage.png (linkage
// running on the 8-channel page), and checks in every picture that each lamp
// is painted in the colour its state says. tools/screenshots.sh runs it under
// a virtual X display; CTest runs it on the offscreen platform.

#include "app/form1.h"
#include "platform/checkbox.h"
#include "platform/combobox.h"
#include "platform/commandbutton.h"
#include "platform/lamp.h"
#include "platform/tabcontrol.h"
#include "support/simulatedhost.h"
#include "support/virtualplatform.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QTextStream>

#include <cstdio>

namespace {

QString colourName(uint32_t c)
{
    return QStringLiteral("(%1,%2,%3)").arg(c & 0xFF).arg((c >> 8) & 0xFF).arg((c >> 16) & 0xFF);
}

class Shots
{
public:
    explicit Shots(const QString &dir)
        : m_dir(dir)
    {
        m_host.out = 0; // the output lamps show what the host reports
        m_form.Form_Load();
        m_form.show();
        QApplication::processEvents();
    }

    Form1 &form() { return m_form; }
    const Form1Widgets &ui() const { return m_form.ui(); }
    SimulatedHost &host() { return m_host; }
    int failures() const { return m_failures; }

    void page(int index)
    {
        ui().SSTab1->setTab(index);
        m_host.run(10);
    }

    // Saves the window as it is now, after checking that every lamp on the
    // page shown is painted with the fill colour it holds, and that the
    // lamps listed are in the colour expected.
    void take(const QString &name, const QList<QPair<Lamp *, uint32_t>> &expected = {})
    {
        QApplication::processEvents();
        const QPixmap pixmap = m_form.grab();
        const QImage image = pixmap.toImage();
        const qreal ratio = pixmap.devicePixelRatio();
        QWidget *page = ui().SSTab1->page(ui().SSTab1->tab());
        for (Lamp *lamp : page->findChildren<Lamp *>()) {
            const QPoint centre = lamp->mapTo(&m_form, lamp->rect().center()) * ratio;
            const QColor shown = image.pixelColor(centre);
            const uint32_t painted =
                uint32_t(shown.red()) + 256u * uint32_t(shown.green()) + 65536u * uint32_t(shown.blue());
            if (painted != lamp->fillColor())
                fail(name, lamp->objectName() + QStringLiteral(" painted ") + colourName(painted)
                               + QStringLiteral(", holds ") + colourName(lamp->fillColor()));
        }
        for (const auto &[lamp, colour] : expected) {
            if (lamp->fillColor() != colour)
                fail(name, lamp->objectName() + QStringLiteral(" is ") + colourName(lamp->fillColor())
                               + QStringLiteral(", expected ") + colourName(colour));
        }
        const QString path = QDir(m_dir).filePath(name + QStringLiteral(".png"));
        if (!image.save(path, "PNG", 0)) // 0: smallest file
            fail(name, QStringLiteral("cannot write ") + path);
        else
            QTextStream(stdout) << path << Qt::endl;
    }

private:
    void fail(const QString &name, const QString &what)
    {
        QTextStream(stderr) << name << ": " << what << Qt::endl;
        ++m_failures;
    }

    QString m_dir;
    VirtualPlatform m_platform;
    Form1 m_form{m_platform};
    SimulatedHost m_host{m_platform};
    int m_failures = 0;
};

// The lamps of one row whose bits are set in `bits` in `colour`, the rest grey.
QList<QPair<Lamp *, uint32_t>> row(Lamp *const *lamps, int count, int bits, uint32_t colour)
{
    QList<QPair<Lamp *, uint32_t>> list;
    for (int i = 0; i < count; ++i)
        list.append({lamps[i], (bits & (1 << i)) != 0 ? colour : kLampGrey});
    return list;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    if (!QDir().mkpath(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    Shots shots(QString::fromLocal8Bit(argv[1]));
    const Form1Widgets &ui = shots.ui();
    SimulatedHost &host = shots.host();

    // 8-channel host: outputs 1 and 8 switched on by hand, and the host
    // reporting inputs 1 and 3 in alarm and those two outputs on.
    shots.page(0);
    ui.Check1[0]->click();
    ui.Check1[7]->click();
    host.in1 = 0x05;
    host.out = 0x81;
    host.run(300);
    shots.take(QStringLiteral("page0"),
               row(ui.Shape1.data(), 8, 0x05, kStatusRed) + row(ui.Shape2.data(), 8, 0x81, kStatusRed));

    // 16-channel host: inputs 2, 5 and 15 in alarm, outputs 3 and 6 on by hand.
    host.in1 = 0x12;
    host.in2 = 0x40;
    host.out = 0x24;
    shots.page(1);
    ui.Check5[2]->click();
    ui.Check5[5]->click();
    host.run(300);
    shots.take(QStringLiteral("page1"), row(ui.Shape3.data(), 16, 0x4012, kStatusRed)
                                            + row(ui.Shape2.data() + 8, 8, 0x24, kStatusRed));

    host.in1 = host.in2 = 0;
    host.out = 0;
    shots.page(2);
    shots.take(QStringLiteral("page2"));
    shots.page(3);
    shots.take(QStringLiteral("page3"));

    // Linkage switched on; channel 2 drives outputs 2 and 5, confirmed.
    shots.page(4);
    ui.Check3->click();
    ui.Combo5->choose(1);
    ui.Check2[1]->click();
    ui.Check2[4]->click();
    ui.Command3->click();
    shots.take(QStringLiteral("page4"));

    // Started with every input quiet, then input 2 goes into alarm: its lamp
    // and the linked outputs turn alarm red, lock and reset appear.
    ui.Command1->click();
    host.run(300);
    if (ui.SSTab1->tab() != 0) {
        std::fprintf(stderr, "linkage did not start\n");
        return 1;
    }
    host.in1 = 0x02;
    host.run(300);
    shots.take(QStringLiteral("linkage"),
               row(ui.Shape1.data(), 8, 0x02, kAlarmRed) + row(ui.Shape2.data(), 8, 0x12, kAlarmRed));

    return shots.failures() == 0 ? 0 : 1;
}
