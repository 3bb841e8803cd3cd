#include "support/formfixture.h"

#include "platform/updown.h"

#include <QTest>

#include <cstdlib>

// The linkage settings page: host model, input channels, the table behind
// the output boxes, the linkage-on and reset-time boxes and the up-downs.

namespace {

// The table's set entries as (channel, output) pairs, in table order.
QList<int> links(const Module1 &state)
{
    QList<int> pairs;
    for (int channel = 0; channel < 16; ++channel) {
        for (int output = 0; output < 8; ++output) {
            if (state.linkageTable[size_t(channel)][size_t(output)] != 0)
                pairs << channel << output;
        }
    }
    return pairs;
}

QList<int> ticked(const std::array<CheckBox *, 8> &boxes)
{
    QList<int> indices;
    for (int i = 0; i < 8; ++i) {
        if (boxes[size_t(i)]->value() == 1)
            indices << i;
    }
    return indices;
}

QList<int> diagonal(int firstChannel)
{
    QList<int> pairs;
    for (int k = 0; k < 8; ++k)
        pairs << firstChannel + k << k;
    return pairs;
}

// The linkage widgets the operator can use now, by name.
QString usable(const FormFixture &f)
{
    const Form1Widgets &ui = f.ui;
    QStringList names;
    for (const QWidget *widget : std::initializer_list<const QWidget *>{
             ui.Frame7, ui.Command3, ui.Command6, ui.Check4, ui.UpDown1, ui.UpDown2, ui.UpDown3, ui.Command1,
             ui.Command4, ui.Frame3, ui.Frame10}) {
        if (widget->isEnabled())
            names << widget->objectName();
    }
    int boxes = 0;
    for (const CheckBox *box : ui.Check2)
        boxes += box->isEnabled() ? 1 : 0;
    if (boxes > 0)
        names << (boxes == 8 ? QStringLiteral("Check2") : QStringLiteral("some Check2"));
    return names.join(u' ');
}

void confirm(FormFixture &f, int channel, const QList<int> &outputs)
{
    f.ui.Combo5->choose(channel);
    for (const int output : outputs)
        f.ui.Check2[size_t(output)]->click();
    f.ui.Command3->click();
}

// The window on the linkage page.
struct LinkagePage : FormFixture
{
    LinkagePage()
    {
        load();
        page(4);
    }
};

} // namespace

class TestLinkageTable : public QObject
{
    Q_OBJECT

private slots:
    void defaultTable_data();
    void defaultTable();
    void confirmClearAndChannelSwitching();
    void choosingTheHostModel();
    void linkageOnAndResetTimeBoxes();
    void upDownStepping_data();
    void upDownStepping();
};

void TestLinkageTable::defaultTable_data()
{
    QTest::addColumn<int>("host");
    QTest::addColumn<int>("channel"); // confirmed before, -1 = none
    QTest::addColumn<int>("output");
    QTest::addColumn<QList<int>>("table");
    QTest::addColumn<QList<int>>("shown"); // boxes of the selected channel
    QTest::newRow("8 channels") << 0 << -1 << 0 << diagonal(0) << QList<int>{0};
    QTest::newRow("16 channels") << 1 << -1 << 0 << diagonal(0) + diagonal(8) << QList<int>{0};
    QTest::newRow("16 channels, 3 to 5 kept")
        << 1 << 2 << 4 << QList<int>{0, 0, 1, 1, 2, 2, 2, 4, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7} + diagonal(8)
        << QList<int>{2, 4};
    QTest::newRow("8 channels, 2 to 7 kept")
        << 0 << 1 << 6 << QList<int>{0, 0, 1, 1, 1, 6, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7}
        << QList<int>{1, 6};
}

void TestLinkageTable::defaultTable()
{
    QFETCH(int, host);
    QFETCH(int, channel);
    QFETCH(int, output);
    QFETCH(QList<int>, table);
    QFETCH(QList<int>, shown);
    LinkagePage f;
    f.ui.Combo4->choose(host);
    f.ui.Check3->click();
    if (channel >= 0)
        confirm(f, channel, {output});
    f.ui.Command6->click();
    QCOMPARE(links(f.state), table);
    QCOMPARE(ticked(f.ui.Check2), shown);
    // Clearing takes everything, the default included.
    f.ui.Command4->click();
    QCOMPARE(links(f.state), QList<int>{});
    QCOMPARE(ticked(f.ui.Check2), QList<int>{});
    QVERIFY(f.frames().isEmpty());
}

void TestLinkageTable::confirmClearAndChannelSwitching()
{
    LinkagePage f;
    // With linkage off the boxes and the default do nothing.
    f.ui.Check2[1]->click();
    f.ui.Command6->click();
    QCOMPARE(ticked(f.ui.Check2), QList<int>{});
    QCOMPARE(links(f.state), QList<int>{});

    f.ui.Check3->click();
    // Nothing chosen in the list yet: confirm writes channel one's row.
    QCOMPARE(f.ui.Combo5->listIndex(), -1);
    f.ui.Check2[1]->click();
    f.ui.Check2[6]->click();
    QCOMPARE(links(f.state), QList<int>{});
    f.ui.Command3->click();
    QCOMPARE(links(f.state), (QList<int>{0, 1, 0, 6}));
    QCOMPARE(ticked(f.ui.Check2), (QList<int>{1, 6}));

    // Ticks not confirmed are lost when another channel is chosen.
    f.ui.Combo5->choose(3);
    QCOMPARE(f.ui.Command3->text(), QString("通道四联动确认"));
    QCOMPARE(ticked(f.ui.Check2), QList<int>{});
    f.ui.Check2[2]->click();
    f.ui.Combo5->choose(0);
    QCOMPARE(f.ui.Command3->text(), QString("通道一联动确认"));
    QCOMPARE(ticked(f.ui.Check2), (QList<int>{1, 6}));
    f.ui.Combo5->choose(3);
    QCOMPARE(ticked(f.ui.Check2), QList<int>{});
    QCOMPARE(links(f.state), (QList<int>{0, 1, 0, 6}));

    // A confirm replaces the row: unticked boxes clear their entries.
    confirm(f, 0, {1, 3});
    QCOMPARE(links(f.state), (QList<int>{0, 3, 0, 6}));
    confirm(f, 7, {0});
    QCOMPARE(links(f.state), (QList<int>{0, 3, 0, 6, 7, 0}));

    // The clear button works with linkage off too, and reloads the boxes.
    f.ui.Check3->click();
    QVERIFY(!f.ui.Check2[0]->isEnabled());
    f.ui.Command4->click();
    QCOMPARE(links(f.state), QList<int>{});
    QCOMPARE(ticked(f.ui.Check2), QList<int>{});
    QCOMPARE(f.ui.Command3->text(), QString("通道八联动确认"));
}

void TestLinkageTable::choosingTheHostModel()
{
    LinkagePage f;
    f.ui.Check3->click();
    f.ui.Check4->click();
    f.ui.UpDown2->stepUp();
    QCOMPARE(f.state.timeSettings[2], int16_t(2));
    for (int i = 0; i < 12; ++i)
        f.ui.UpDown1->stepUp();
    f.state.timeSettings[1] = 12; // as a start would read it
    confirm(f, 5, {3});

    f.ui.Combo4->choose(1);
    QCOMPARE(f.state.hostType, int16_t(1));
    QStringList entries;
    for (int i = 0; i < f.ui.Combo5->listCount(); ++i)
        entries << f.ui.Combo5->itemText(i);
    QCOMPARE(entries, (QStringList{"通道一", "通道二", "通道三", "通道四", "通道五", "通道六", "通道七",
                                   "通道八", "通道九", "通道十", "通道十一", "通道十二", "通道十三",
                                   "通道十四", "通道十五", "通道十六"}));
    QCOMPARE(f.ui.Combo5->text(), QString("通道一"));
    QCOMPARE(f.ui.Combo5->listIndex(), -1);
    QCOMPARE(f.ui.Command3->text(), QString("通道一联动确认"));
    QCOMPARE(ticked(f.ui.Check2), QList<int>{});
    QCOMPARE(links(f.state), QList<int>{});
    QCOMPARE(f.ui.Text1->text(), QString("0"));
    QCOMPARE(f.ui.Text2->text(), QString("0"));
    QCOMPARE(f.state.timeSettings, (std::array<int16_t, 4>{50, 0, 0, 0}));
    QCOMPARE(f.ui.Check3->value(), 0);
    QCOMPARE(f.ui.Check4->value(), 0);
    QCOMPARE(usable(f), QString("Command4 Frame3 Frame10"));

    // Channels 9 to 16 are reachable now, and a model choice clears them.
    f.ui.Check3->click();
    f.ui.Combo5->choose(11);
    QCOMPARE(f.ui.Command3->text(), QString("通道十二联动确认"));
    for (int channel = 8; channel < 16; ++channel)
        confirm(f, channel, {channel - 8});
    QCOMPARE(links(f.state), diagonal(8));
    f.ui.Combo5->choose(11);
    QCOMPARE(ticked(f.ui.Check2), QList<int>{3});
    f.ui.Combo4->choose(0);
    QCOMPARE(f.state.hostType, int16_t(0));
    QCOMPARE(f.ui.Combo5->listCount(), 8);
    QCOMPARE(f.ui.Combo5->itemText(7), QString("通道八"));
    QCOMPARE(links(f.state), QList<int>{});
    // The same model again clears as well.
    f.ui.Check3->click();
    confirm(f, 2, {2});
    f.ui.Combo4->choose(0);
    QCOMPARE(links(f.state), QList<int>{});
    QVERIFY(f.frames().isEmpty());
}

void TestLinkageTable::linkageOnAndResetTimeBoxes()
{
    LinkagePage f;
    QCOMPARE(usable(f), QString("Command4 Frame3 Frame10"));
    QCOMPARE(f.ui.Frame3->title(), QString("手动控制输出"));
    f.ui.Check4->click();
    QCOMPARE(f.ui.Check4->value(), 0);

    f.ui.Check3->click();
    const QString linkageOn("Frame7 Command3 Command6 Check4 UpDown1 Command1 Command4 Frame10 "
                            "Check2");
    QCOMPARE(usable(f), linkageOn);
    QCOMPARE(f.ui.Frame3->title(), QString("报警主机联动输出"));
    QCOMPARE(f.ui.Frame10->title(), QString("手动控制输出"));

    f.ui.Check4->click();
    QCOMPARE(usable(f), QString("Frame7 Command3 Command6 Check4 UpDown1 UpDown2 UpDown3 Command1 "
                                "Command4 Frame10 Check2"));
    f.ui.Check4->click();
    QCOMPARE(usable(f), linkageOn);
    f.ui.Check4->click();

    // Linkage off: Check4 stays ticked but locked, its up-downs stay usable.
    f.ui.Check3->click();
    QCOMPARE(f.ui.Check4->value(), 1);
    QCOMPARE(usable(f), QString("UpDown2 UpDown3 Command4 Frame3 Frame10"));
    QCOMPARE(f.ui.Frame3->title(), QString("手动控制输出"));
    f.ui.Check3->click();
    QVERIFY(f.ui.Check4->isEnabled());
}

void TestLinkageTable::upDownStepping_data()
{
    QTest::addColumn<int>("upDown");
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("steps"); // > 0 up, < 0 down
    QTest::addColumn<QString>("to");
    QTest::addColumn<int>("before"); // the time setting behind the box
    QTest::addColumn<int>("after");
    // The filter time box stores only a zero; the start reads it.
    QTest::newRow("UpDown1 0 to 1") << 1 << "0" << 1 << "1" << 12 << 12;
    QTest::newRow("UpDown1 1 to 0") << 1 << "1" << -1 << "0" << 12 << 0;
    QTest::newRow("UpDown1 stops at 100") << 1 << "98" << 5 << "100" << 12 << 12;
    QTest::newRow("UpDown1 stops at 0") << 1 << "2" << -5 << "0" << 12 << 0;
    QTest::newRow("UpDown2 1 to 3") << 2 << "1" << 2 << "3" << 0 << 3;
    QTest::newRow("UpDown2 stops at 600") << 2 << "599" << 3 << "600" << 0 << 600;
    QTest::newRow("UpDown2 stops at 1") << 2 << "2" << -3 << "1" << 0 << 1;
    QTest::newRow("UpDown3 1 to 11") << 3 << "1" << 1 << "11" << 0 << 11;
    QTest::newRow("UpDown3 stops at 600") << 3 << "595" << 1 << "600" << 0 << 600;
    QTest::newRow("UpDown3 600 to 580") << 3 << "600" << -2 << "580" << 0 << 580;
    QTest::newRow("UpDown3 to 0, no reset") << 3 << "5" << -1 << "0" << 7 << 0;
}

void TestLinkageTable::upDownStepping()
{
    QFETCH(int, upDown);
    QFETCH(QString, from);
    QFETCH(int, steps);
    QFETCH(QString, to);
    QFETCH(int, before);
    QFETCH(int, after);
    LinkagePage f;
    f.ui.Check3->click();
    f.ui.Check4->click();
    UpDown *const spinners[] = {f.ui.UpDown1, f.ui.UpDown2, f.ui.UpDown3};
    UpDown *spinner = spinners[upDown - 1];
    QVERIFY(spinner->isEnabled());
    const size_t element = upDown == 1 ? 1 : 2;
    spinner->buddy()->setText(from);
    f.state.timeSettings[element] = int16_t(before);
    for (int i = 0; i < std::abs(steps); ++i)
        steps > 0 ? spinner->stepUp() : spinner->stepDown();
    QCOMPARE(spinner->buddy()->text(), to);
    QCOMPARE(f.state.timeSettings[element], int16_t(after));
}

QTEST_MAIN(TestLinkageTable)
#include "tst_linkagetable.moc"
