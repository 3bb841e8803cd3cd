#include "app/form1builder.h"
#include "platform/checkbox.h"
#include "platform/combobox.h"
#include "platform/lamp.h"
#include "platform/tabcontrol.h"
#include "platform/updown.h"

#include <QAbstractItemView>
#include <QGroupBox>
#include <QLayout>
#include <QLineEdit>
#include <QTabBar>
#include <QtTest>

#include <functional>

namespace {

const auto u8 = [](const char *text) { return QString::fromUtf8(text); };
const auto el = [](const char *name, int k) { return QString::fromLatin1(name) + u'_' + QString::number(k); };
const char *const kNumerals[] = {"一", "二", "三",   "四",   "五",   "六",   "七",   "八",
                                 "九", "十", "十一", "十二", "十三", "十四", "十五", "十六"};

QStringList entriesOf(const ComboBox *combo)
{
    QStringList entries;
    for (int i = 0; i < combo->listCount(); ++i)
        entries << combo->itemText(i);
    return entries;
}

// What a widget shows; for a list, its entries ("|" between them), and for
// an up-down, what it steps: its buddy, the step and the range.
QString shownText(QWidget *w)
{
    if (auto *combo = qobject_cast<ComboBox *>(w))
        return entriesOf(combo).join(u'|');
    if (auto *upDown = qobject_cast<UpDown *>(w)) {
        return QStringLiteral("%1 %2 %3..%4")
            .arg(upDown->buddy()->objectName())
            .arg(upDown->step())
            .arg(upDown->minimum())
            .arg(upDown->maximum());
    }
    for (const char *property : {"text", "title", "currentText"})
        if (const QVariant value = w->property(property); value.isValid())
            return value.toString();
    return {};
}

// name, kind, text, enabled (own flag), shown at start, page, innermost frame
struct Single
{
    const char *name, *kind, *text;
    bool enabled, shown;
    int page;
    const char *frame;
};
const Single kSingles[] = {
    {"SSTab1", "TabControl", "", 1, 1, -1, ""},
    {"Frame1", "QGroupBox", "报警输入状态显示", 1, 1, 0, ""},
    {"Frame2", "QGroupBox", "报警输出状态显示", 1, 1, 0, ""},
    {"Frame3", "QGroupBox", "手动控制输出", 1, 1, 0, ""},
    {"Frame8", "QGroupBox", "报警输入状态显示", 1, 1, 1, ""},
    {"Frame9", "QGroupBox", "报警输出状态显示", 1, 1, 1, ""},
    {"Frame10", "QGroupBox", "手动控制输出", 1, 1, 1, ""},
    {"Frame4", "QGroupBox", "参数设置", 1, 1, 3, ""},
    {"Frame5", "QGroupBox", "报警联动设置", 1, 1, 4, ""},
    {"Frame6", "QGroupBox", "输入通道", 1, 1, 4, "Frame5"},
    {"Frame7", "QGroupBox", "联动输出", 0, 1, 4, "Frame5"},
    {"Label2_0", "QLabel", "通讯端口设置：", 1, 1, 3, "Frame4"},
    {"Combo1", "ComboBox", "COM1|COM2|COM3|COM4|COM5|COM6|COM7|COM8", 1, 1, 3, "Frame4"},
    {"Label2_1", "QLabel", "地址设置：", 1, 1, 3, "Frame4"},
    {"Combo2", "ComboBox", "0|1|2|3|4|5|6|7|8|9|10|11|12|13|14|15", 1, 1, 3, "Frame4"},
    {"Label2_2", "QLabel", "查询时间：", 1, 1, 3, "Frame4"},
    {"Combo3", "ComboBox", "50|100|200|300|400|500|600|700|800|900", 1, 1, 3, "Frame4"},
    {"Label3", "QLabel", "报警主机选择：", 1, 1, 4, "Frame5"},
    {"Combo4", "ComboBox", "八路报警主机（KV-8）|十六路报警主机（KV-16）", 1, 1, 4, "Frame5"},
    {"Combo5", "ComboBox", "通道一|通道二|通道三|通道四|通道五|通道六|通道七|通道八", 1, 1, 4, "Frame6"},
    {"Line1", "QFrame", "", 1, 1, 4, "Frame7"},
    {"Command6", "CommandButton", "默认联动", 1, 1, 4, "Frame7"},
    {"Command3", "CommandButton", "通道一联动确认", 0, 1, 4, "Frame7"},
    {"Label8", "QLabel", "联动开启", 1, 1, 4, "Frame5"},
    {"Check3", "CheckBox", "", 1, 1, 4, "Frame5"},
    {"Text1", "TextBox", "0", 0, 1, 4, "Frame5"},
    {"UpDown1", "UpDown", "Text1 1 0..100", 0, 1, 4, "Frame5"},
    {"Label5", "QLabel", "/10秒后过滤联动", 1, 1, 4, "Frame5"},
    {"Check4", "CheckBox", "", 0, 1, 4, "Frame5"},
    {"Text2", "TextBox", "1", 0, 1, 4, "Frame5"},
    {"UpDown2", "UpDown", "Text2 1 1..600", 0, 1, 4, "Frame5"},
    {"UpDown3", "UpDown", "Text2 10 0..600", 0, 1, 4, "Frame5"},
    {"Label6", "QLabel", "秒后关闭复位", 1, 1, 4, "Frame5"},
    {"Command4", "CommandButton", "重新设置", 1, 1, 4, "Frame5"},
    {"Command1", "CommandButton", "开始联动", 0, 1, 4, "Frame5"},
    {"Label7", "QLabel", "注：选择联动开启后才能设置，每个通道选择后，按联动确认后才会生效", 1, 0, 4,
     "Frame5"},
};

// Eight lamps or boxes, left to right, each with its number under it.
struct NumberRow
{
    const char *frame;
    int page;
    const char *kind, *item;
    int firstItem, firstLabel, labelStep, firstNumber;
};
const NumberRow kNumberRows[] = {
    {"Frame1", 0, "Lamp", "Shape1", 0, 0, 1, 1},        {"Frame2", 0, "Lamp", "Shape2", 0, 8, 1, 1},
    {"Frame3", 0, "CheckBox", "Check1", 0, 16, 1, 1},   {"Frame8", 1, "Lamp", "Shape3", 0, 24, 1, 1},
    {"Frame8", 1, "Lamp", "Shape3", 8, 47, -1, 9},      {"Frame9", 1, "Lamp", "Shape2", 8, 32, 1, 1},
    {"Frame10", 1, "CheckBox", "Check5", 0, 55, -1, 1},
};

// Counts the wheel events that reach what it filters.
struct WheelCounter : QObject
{
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::Wheel;
        return false;
    }
};

// A gesture of the operator on the port list, step by step.
using Gesture = QList<std::function<void()>>;

} // namespace

Q_DECLARE_METATYPE(Gesture)

class TestForm1Widgets : public QObject
{
    Q_OBJECT

    QWidget m_form;
    Form1Widgets m_ui;
    WheelCounter m_wheelsOnFrame;

    QWidget *find(const QString &name) { return m_form.findChild<QWidget *>(name); }
    QRect rectOf(QWidget *w) { return QRect(w->mapTo(&m_form, QPoint()), w->size()); }
    void showPage(int page)
    {
        m_ui.SSTab1->setTab(page);
        if (QLayout *layout = m_ui.SSTab1->page(page)->layout())
            layout->activate();
    }

private slots:
    void initTestCase()
    {
        m_ui = buildForm1Widgets(&m_form);
        QCOMPARE(m_ui.SSTab1->tab(), 3); // opens on the parameter page
        m_form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_form));
    }

    void widgets_data()
    {
        for (const char *c : {"name", "kind", "text", "frame"})
            QTest::addColumn<QString>(c);
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<int>("page");
        auto row = [](const QString &name, const char *kind, const QString &text, bool enabled, bool shown,
                      int page, const char *frame) {
            QTest::newRow(qPrintable(name))
                << name << u8(kind) << text << u8(frame) << enabled << shown << page;
        };
        for (const Single &s : kSingles)
            row(u8(s.name), s.kind, u8(s.text), s.enabled, s.shown, s.page, s.frame);
        for (const NumberRow &r : kNumberRows)
            for (int c = 0; c < 8; ++c) {
                row(el(r.item, r.firstItem + c), r.kind, {}, true, true, r.page, r.frame);
                row(el("Label1", r.firstLabel + r.labelStep * c), "QLabel",
                    QString::number(r.firstNumber + c), true, true, r.page, r.frame);
            }
        for (int k = 0; k < 8; ++k) {
            row(el("Check2", k), "CheckBox", {}, false, true, 4, "Frame7");
            row(el("Label4", k), "QLabel", u8("输出") + u8(kNumerals[k]), true, true, 4, "Frame7");
        }
        const char *const hostButtons[][2] = {
            {"Command7", "锁定状态"}, {"Command8", "复  位"}, {"Command2", "取消联动"}};
        for (int h = 0; h < 2; ++h)
            for (auto [name, caption] : hostButtons)
                row(el(name, h), "CommandButton", u8(caption), true, false, h, "");
    }

    void widgets()
    {
        QFETCH(QString, name);
        QWidget *w = find(name);
        QVERIFY(w);
        QCOMPARE(m_form.findChildren<QWidget *>(name).size(), 1);
        QTEST(QString::fromLatin1(w->metaObject()->className()), "kind");
        QTEST(shownText(w), "text");
        QTEST(w->isEnabledTo(w->parentWidget()), "enabled");
        QTEST(!w->isHidden(), "shown");
        int page = -1;
        for (int i = 0; i < m_ui.SSTab1->count(); ++i)
            page = m_ui.SSTab1->page(i)->isAncestorOf(w) ? i : page;
        QTEST(page, "page");
        QWidget *frame = w->parentWidget();
        while (frame && !qobject_cast<QGroupBox *>(frame))
            frame = frame->parentWidget();
        QTEST(frame ? frame->objectName() : QString(), "frame");
        if (auto *lamp = qobject_cast<Lamp *>(w))
            QCOMPARE(lamp->fillColor(), 0xC0C0C0u);
        if (auto *box = qobject_cast<CheckBox *>(w))
            QCOMPARE(box->value(), 0);
        // A list shows its first entry, yet none counts as chosen.
        if (auto *combo = qobject_cast<ComboBox *>(w))
            QVERIFY(combo->text() == combo->itemText(0) && combo->listIndex() == -1);
    }

    void windowAndTabs()
    {
        QCOMPARE(m_form.windowTitle(), u8("Qirvane智能报警主机测试软件"));
        const QStringList captions{u8("八路报警主机"), u8("十六路报警主机"), u8(" 看 门 狗 卡"),
                                   u8(" 参 数 设 置"), u8("报警联动设置")};
        QCOMPARE(m_ui.SSTab1->count(), 5);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(m_ui.SSTab1->caption(i), captions[i]);
        QVERIFY(m_ui.SSTab1->page(2)->children().isEmpty());
        // A disabled page stays enabled in the bar while it is in front.
        auto *bar = m_ui.SSTab1->findChild<QTabBar *>();
        m_ui.SSTab1->setTab(3);
        for (const int page : {1, 3})
            m_ui.SSTab1->setTabEnabled(page, false);
        QCOMPARE(bar->currentIndex(), 3);
        QVERIFY(bar->isTabEnabled(3) && !bar->isTabEnabled(1));
        m_ui.SSTab1->setTab(0);
        QVERIFY(!bar->isTabEnabled(3));
        for (const int page : {1, 3})
            m_ui.SSTab1->setTabEnabled(page, true);
    }

    // About the designed 449 x 350 client area, tabs in one row, and every
    // widget inside its page at no less than its smallest size. The buttons
    // hidden at start keep their place, so they must fit too. The text room
    // of a list's line edit (2 px each side and 1 px for the cursor are its
    // own) holds every entry, and the channel list those of the 16-channel
    // host: none scrolls out of sight. Lamps and boxes run left to right
    // evenly spaced, each number centred under its item.
    void layout()
    {
        QVERIFY(m_form.width() >= 449 && m_form.width() <= 465 && m_form.height() >= 350
                && m_form.height() <= 365);
        auto *bar = m_ui.SSTab1->findChild<QTabBar *>();
        QVERIFY(bar->tabRect(4).top() == bar->tabRect(0).top() && bar->tabRect(4).right() < bar->width());
        for (int page : {0, 1, 3, 4}) {
            showPage(page);
            QWidget *p = m_ui.SSTab1->page(page);
            for (QWidget *w : p->findChildren<QWidget *>()) {
                const QString name = w->objectName();
                if (name.isEmpty() || !name[0].isUpper()
                    || (w->isHidden() && !w->sizePolicy().retainSizeWhenHidden()))
                    continue;
                QVERIFY2(p->rect().contains(QRect(w->mapTo(p, QPoint()), w->size())), qPrintable(name));
                QVERIFY2(w->width() >= w->minimumSizeHint().width(), qPrintable(name));
                auto *combo = qobject_cast<ComboBox *>(w);
                QStringList entries = combo ? entriesOf(combo) : QStringList();
                for (int n = 8; combo == m_ui.Combo5 && n < 16; ++n)
                    entries << u8("通道") + u8(kNumerals[n]);
                const int room = combo ? combo->lineEdit()->width() - 2 * 2 - 1 : 0;
                for (const QString &entry : entries)
                    QVERIFY2(combo->fontMetrics().horizontalAdvance(entry) <= room, qPrintable(entry));
            }
        }
        for (const NumberRow &r : kNumberRows) {
            showPage(r.page);
            QList<int> centres;
            for (int c = 0; c < 8; ++c) {
                const QRect item = rectOf(find(el(r.item, r.firstItem + c)));
                const QRect label = rectOf(find(el("Label1", r.firstLabel + r.labelStep * c)));
                QVERIFY2(qAbs(label.center().x() - item.center().x()) <= 2, qPrintable(el(r.item, c)));
                QVERIFY(label.top() >= item.bottom() && label.top() - item.bottom() < 8);
                centres << item.center().x();
            }
            for (int c = 2; c < 8; ++c)
                QVERIFY(qAbs((centres[c] - centres[c - 1]) - (centres[1] - centres[0])) <= 1);
            QVERIFY(centres[1] - centres[0] >= 30);
        }
    }

    // Click comes from choosing an entry of the open list or from the arrow
    // keys; a wheel notch or typed text raises none.
    void listEvents_data()
    {
        QTest::addColumn<Gesture>("gesture");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<int>("listIndex");
        QTest::addColumn<QString>("text");
        using Step = std::function<void()>;
        ComboBox *const combo = m_ui.Combo1;
        QWidget *const frame = find("Frame4");
        // As from the window system: focus by wheel and propagation to the
        // parent apply only to spontaneous events. The frame gets the notch.
        const Step wheel = [this, combo] {
            const bool focused = combo->hasFocus();
            const QPoint centre = combo->rect().center();
            QWheelEvent notch(centre, combo->mapToGlobal(centre), {}, {0, -120}, Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QSpontaneKeyEvent::setSpontaneous(&notch);
            qApp->notify(combo, &notch);
            QCOMPARE(m_wheelsOnFrame.count, 1);
            QCOMPARE(combo->hasFocus(), focused);
        };
        const Step focus = [combo] { combo->setFocus(); };
        const Step leave = [this] { m_ui.Combo2->setFocus(); }; // to a field elsewhere
        const Step open = [combo] {
            combo->showPopup();
            QVERIFY(QTest::qWaitForWindowExposed(combo->view()->window()));
        };
        const Step type = [combo] {
            combo->lineEdit()->selectAll();
            QTest::keyClicks(combo, "COM3");
        };
        // Typed into the text field itself and confirmed there.
        const Step field = [combo] {
            combo->lineEdit()->selectAll();
            QTest::keyClicks(combo->lineEdit(), "COM3");
            QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
        };
        // Through the window, where the open list takes the press.
        const auto clickAt = [this](QWidget *at, QPoint point) {
            QTest::mouseClick(m_form.windowHandle(), Qt::LeftButton, {}, at->mapTo(&m_form, point));
        };
        const Step clickOutside = [=] { clickAt(frame, QPoint(2, frame->height() - 2)); };
        const Step clickArrow = [=] { clickAt(combo, QPoint(combo->width() - 4, combo->height() / 2)); };
        const auto clickEntry = [combo](int row) {
            return Step([combo, row] {
                QAbstractItemView *list = combo->view();
                const QRect entry = list->visualRect(list->model()->index(row, 0));
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entry.center());
            });
        };
        // To the open list, else to the list's field.
        const auto press = [combo](Qt::Key key) {
            return Step([combo, key] {
                QAbstractItemView *list = combo->view();
                QTest::keyClick(list->isVisible() ? static_cast<QWidget *>(list) : combo, key);
            });
        };
        const Step down = press(Qt::Key_Down), enter = press(Qt::Key_Return), escape = press(Qt::Key_Escape);
        QTest::newRow("wheel without focus") << Gesture{wheel} << 0 << -1 << "COM1";
        QTest::newRow("wheel with focus") << Gesture{focus, wheel} << 0 << -1 << "COM1";
        QTest::newRow("arrow down") << Gesture{focus, down} << 1 << 1 << "COM2";
        QTest::newRow("arrow down twice, up")
            << Gesture{focus, down, down, press(Qt::Key_Up)} << 3 << 1 << "COM2";
        QTest::newRow("entry of the open list clicked") << Gesture{open, clickEntry(3)} << 1 << 3 << "COM4";
        QTest::newRow("open list, Enter") << Gesture{open, down, enter} << 1 << 1 << "COM2";
        QTest::newRow("open list, same entry again") << Gesture{open, clickEntry(0)} << 1 << 0 << "COM1";
        QTest::newRow("typed entry, Enter") << Gesture{focus, type, enter} << 0 << -1 << "COM3";
        QTest::newRow("typed entry, focus leaves") << Gesture{focus, type, leave} << 0 << -1 << "COM3";
        QTest::newRow("list closed unchosen, typed, Enter")
            << Gesture{open, escape, type, enter} << 0 << -1 << "COM3";
        // Closed without a choice, the list is disarmed: Enter in its text
        // field is typed text, whichever way the list was closed.
        QTest::newRow("closed by F4, Enter in the field")
            << Gesture{focus, open, press(Qt::Key_F4), field} << 0 << -1 << "COM3";
        QTest::newRow("closed by Escape, Enter in the field")
            << Gesture{open, escape, field} << 0 << -1 << "COM3";
        QTest::newRow("closed by a click outside, Enter in the field")
            << Gesture{focus, open, clickOutside, field} << 0 << -1 << "COM3";
        QTest::newRow("closed by its arrow, Enter in the field")
            << Gesture{focus, open, clickArrow, field} << 0 << -1 << "COM3";
    }

    void listEvents()
    {
        QFETCH(Gesture, gesture);
        showPage(3);
        ComboBox *combo = m_ui.Combo1;
        combo->setText("COM1");
        m_form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&m_form));
        m_ui.Combo2->setFocus();
        m_wheelsOnFrame.count = 0;
        find("Frame4")->installEventFilter(&m_wheelsOnFrame);
        QSignalSpy clicks(combo, &ComboBox::Click);
        for (const auto &step : gesture) {
            QCoreApplication::processEvents(); // as between the operator's gestures
            step();
        }
        QVERIFY(!combo->view()->isVisible());
        QTEST(int(clicks.size()), "clicks");
        QTEST(combo->listIndex(), "listIndex");
        QTEST(combo->text(), "text");
    }
};

QTEST_MAIN(TestForm1Widgets)
#include "tst_form1widgets.moc"
