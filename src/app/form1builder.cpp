#include "app/form1builder.h"

#include "form/windowtexts.h"
#include "platform/checkbox.h"
#include "platform/combobox.h"
#include "platform/commandbutton.h"
#include "platform/lamp.h"
#include "platform/tabcontrol.h"
#include "platform/textbox.h"
#include "platform/updown.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProxyStyle>
#include <QTabBar>
#include <QVBoxLayout>
#include <QVarLengthArray>

namespace {

using FrameMember = QGroupBox *Form1Widgets::*;
using ComboMember = ComboBox *Form1Widgets::*;

// The window's client area in pixels at 96 dpi.
constexpr QSize kClientSize(449, 350);

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// Elements of a control array are found by name plus index: Check1_3.
QString elementName(const char *name, int index)
{
    return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index);
}

template <typename W>
W *named(W *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}

QLabel *makeLabel(const QString &name, const QString &caption, QWidget *parent)
{
    return named(new QLabel(caption, parent), name);
}

CommandButton *makeButton(const QString &name, const char *caption, QWidget *parent)
{
    return named(new CommandButton(text(caption), parent), name);
}

QGroupBox *makeFrame(const char *name, const char *caption, QWidget *parent)
{
    return named(new QGroupBox(text(caption), parent), QLatin1String(name));
}

// The desktop style pads each tab so much that the five captions no longer
// fit the window's width in one row.
class CompactTabStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    int pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const override
    {
        if (metric == PM_TabBarTabHSpace)
            return 12;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

// --- Host pages: frames holding a row of eight lamps or boxes with the
// channel numbers under them.

using ItemMaker = QWidget *(*)(Form1Widgets &ui, int index, QWidget *parent);

template <typename W, auto Array>
QWidget *makeItem(Form1Widgets &ui, int index, QWidget *parent)
{
    auto *item = new W(parent);
    (ui.*Array)[size_t(index)] = item;
    return item;
}

// What a screen reader calls a channel, and what each lamp colour (grey,
// status red, alarm red) means on it.
struct Channel
{
    const char *name;
    const char *meanings[3];
};
const Channel kInput = {"输入", {"未报警", "报警", "联动报警"}};
const Channel kOutput = {"输出", {"关", "开", "联动开"}};

struct ChannelRow
{
    const char *itemName; // nullptr where the frame has no such row
    ItemMaker make;
    int firstItem;
    int firstLabel; // Label1 index of the leftmost number
    int labelStep;  // -1 where the Label1 indices run backwards
    int firstNumber;
    const Channel *channel;
};

struct HostFrame
{
    int page;
    FrameMember member; // nullptr where no handler reaches the frame
    const char *name;
    const char *caption;
    ChannelRow rows[2]; // a second row only in Frame8: inputs 9..16
};

const HostFrame kHostFrames[] = {
    {0,
     nullptr,
     "Frame1",
     "报警输入状态显示",
     {{"Shape1", makeItem<Lamp, &Form1Widgets::Shape1>, 0, 0, 1, 1, &kInput}}},
    {0,
     nullptr,
     "Frame2",
     "报警输出状态显示",
     {{"Shape2", makeItem<Lamp, &Form1Widgets::Shape2>, 0, 8, 1, 1, &kOutput}}},
    {0,
     &Form1Widgets::Frame3,
     "Frame3",
     kManualOutputsTitle,
     {{"Check1", makeItem<CheckBox, &Form1Widgets::Check1>, 0, 16, 1, 1, &kOutput}}},
    {1,
     nullptr,
     "Frame8",
     "报警输入状态显示",
     {{"Shape3", makeItem<Lamp, &Form1Widgets::Shape3>, 0, 24, 1, 1, &kInput},
      {"Shape3", makeItem<Lamp, &Form1Widgets::Shape3>, 8, 47, -1, 9, &kInput}}},
    {1,
     nullptr,
     "Frame9",
     "报警输出状态显示",
     {{"Shape2", makeItem<Lamp, &Form1Widgets::Shape2>, 8, 32, 1, 1, &kOutput}}},
    {1,
     &Form1Widgets::Frame10,
     "Frame10",
     kManualOutputsTitle,
     {{"Check5", makeItem<CheckBox, &Form1Widgets::Check5>, 0, 55, -1, 1, &kOutput}}},
};

// The frames share the page's height, their rows kept together in the middle.
QGridLayout *addRowGrid(QGroupBox *frame)
{
    auto *frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(6, 2, 6, 4);
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(0);
    grid->setVerticalSpacing(1);
    frameLayout->addStretch(1);
    frameLayout->addLayout(grid);
    frameLayout->addStretch(1);
    return grid;
}

void addChannelRow(Form1Widgets &ui, QGroupBox *frame, QGridLayout *grid, const ChannelRow &row, int line)
{
    // An empty grid row keeps Frame8's two rows apart.
    const int top = line * 3;
    for (int column = 0; column < 8; ++column) {
        const int item = row.firstItem + column;
        const QString numberText = QString::number(row.firstNumber + column);
        QWidget *widget = row.make(ui, item, frame);
        widget->setObjectName(elementName(row.itemName, item));
        widget->setAccessibleName(text(row.channel->name) + numberText);
        if (auto *lamp = qobject_cast<Lamp *>(widget)) {
            const auto &meanings = row.channel->meanings;
            lamp->setMeanings(text(meanings[0]), text(meanings[1]), text(meanings[2]));
        }
        auto *number =
            makeLabel(elementName("Label1", row.firstLabel + row.labelStep * column), numberText, frame);
        number->setAlignment(Qt::AlignCenter);
        grid->addWidget(widget, top, column, Qt::AlignHCenter | Qt::AlignBottom);
        grid->addWidget(number, top + 1, column, Qt::AlignHCenter | Qt::AlignTop);
        grid->setColumnStretch(column, 1);
    }
    if (line > 0)
        grid->setRowMinimumHeight(top - 1, 4);
}

void buildHostPage(QWidget *page, int host, Form1Widgets &ui)
{
    auto *column = new QVBoxLayout(page);
    column->setContentsMargins(6, 4, 6, 6);
    struct FilledLater
    {
        const HostFrame *def;
        QGroupBox *frame;
        QGridLayout *grid;
    };
    QVarLengthArray<FilledLater, 3> frames;
    for (const HostFrame &def : kHostFrames) {
        if (def.page != host)
            continue;
        QGroupBox *frame = makeFrame(def.name, def.caption, page);
        if (def.member)
            ui.*def.member = frame;
        frames.append({&def, frame, addRowGrid(frame)});
        column->addWidget(frame, 1);
    }

    ui.Command7[size_t(host)] = makeButton(elementName("Command7", host), kLockCaption, page);
    ui.Command8[size_t(host)] = makeButton(elementName("Command8", host), "复  位", page);
    ui.Command2[size_t(host)] = makeButton(elementName("Command2", host), "取消联动", page);
    if (host == 1)
        ui.Command2[1]->setMinimumHeight(ui.Command2[1]->sizeHint().height() + 4);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(ui.Command7[size_t(host)]);
    buttons->addWidget(ui.Command8[size_t(host)]);
    buttons->addStretch(1);
    buttons->addWidget(ui.Command2[size_t(host)], 0, Qt::AlignBottom);
    // Hidden until a host is locked or linked; the row keeps its place so
    // that the frames do not move when the buttons appear.
    for (QPushButton *button :
         {ui.Command7[size_t(host)], ui.Command8[size_t(host)], ui.Command2[size_t(host)]}) {
        QSizePolicy policy = button->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        button->setSizePolicy(policy);
        button->hide();
    }
    column->addLayout(buttons);

    // Made after the buttons, so that keyboard focus meets the page's
    // buttons before its boxes.
    for (const FilledLater &built : frames)
        for (int line = 0; line < 2; ++line)
            if (built.def->rows[line].itemName)
                addChannelRow(ui, built.frame, built.grid, built.def->rows[line], line);
}

// --- Parameter page: three rows of label and combo box.

struct ParameterRow
{
    const char *caption;
    ComboMember combo;
    const char *comboName;
    QStringList entries;
};

void buildParameterPage(QWidget *page, Form1Widgets &ui)
{
    QStringList addresses;
    for (int address = 0; address <= 15; ++address)
        addresses << QString::number(address);
    const ParameterRow rows[] = {
        {"通讯端口设置：",
         &Form1Widgets::Combo1,
         "Combo1",
         {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"}},
        {"地址设置：", &Form1Widgets::Combo2, "Combo2", addresses},
        {"查询时间：",
         &Form1Widgets::Combo3,
         "Combo3",
         {"50", "100", "200", "300", "400", "500", "600", "700", "800", "900"}},
    };

    QGroupBox *frame = makeFrame("Frame4", "参数设置", page);
    auto *grid = new QGridLayout(frame);
    grid->setContentsMargins(16, 10, 16, 12);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(10);
    for (int i = 0; i < 3; ++i) {
        const ParameterRow &row = rows[i];
        QLabel *label = makeLabel(elementName("Label2", i), text(row.caption), frame);
        auto *combo = named(new ComboBox(frame), QLatin1String(row.comboName));
        for (const QString &entry : row.entries)
            combo->addEntry(entry);
        combo->setText(row.entries.first());
        combo->setMinimumWidth(110);
        ui.*row.combo = combo;
        grid->addWidget(label, i, 0);
        grid->addWidget(combo, i, 1);
    }

    auto *center = new QGridLayout(page);
    center->addWidget(frame, 1, 1);
    center->setRowStretch(0, 1);
    center->setRowStretch(2, 1);
    center->setColumnStretch(0, 1);
    center->setColumnStretch(2, 1);
}

// --- Linkage page.

QGroupBox *buildLinkageOutputs(QWidget *parent, Form1Widgets &ui)
{
    QGroupBox *frame = makeFrame("Frame7", "联动输出", parent);
    ui.Frame7 = frame;
    auto *grid = new QGridLayout(frame);
    grid->setContentsMargins(6, 2, 6, 4);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(2);
    for (int k = 0; k < 8; ++k) {
        const QString caption = outputName(k);
        auto *box = named(new CheckBox(frame), elementName("Check2", k));
        box->setEnabled(false);
        box->setAccessibleName(caption);
        ui.Check2[size_t(k)] = box;
        grid->addWidget(box, k / 4, (k % 4) * 2);
        grid->addWidget(makeLabel(elementName("Label4", k), caption, frame), k / 4, (k % 4) * 2 + 1);
        grid->setColumnStretch((k % 4) * 2 + 1, 1);
    }
    auto *line = named(new QFrame(frame), QStringLiteral("Line1"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    grid->addWidget(line, 2, 0, 1, 8);

    ui.Command6 = makeButton(QStringLiteral("Command6"), "默认联动", frame);
    ui.Command3 =
        named(new CommandButton(linkageConfirmCaption(channelName(0)), frame), QStringLiteral("Command3"));
    ui.Command3->setEnabled(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(ui.Command6);
    buttons->addStretch(1);
    buttons->addWidget(ui.Command3);
    grid->addLayout(buttons, 3, 0, 1, 8);
    frame->setEnabled(false);
    return frame;
}

struct UpDownDef
{
    UpDown *Form1Widgets::*member;
    const char *name;
    TextBox *Form1Widgets::*buddy;
    int step;
    int minimum;
    int maximum;
};

const UpDownDef kUpDowns[] = {
    {&Form1Widgets::UpDown1, "UpDown1", &Form1Widgets::Text1, 1, 0, 100},
    {&Form1Widgets::UpDown2, "UpDown2", &Form1Widgets::Text2, 1, 1, 600},
    {&Form1Widgets::UpDown3, "UpDown3", &Form1Widgets::Text2, 10, 0, 600},
};

// Linkage on, filter time, reset time: one row read as a sentence.
QHBoxLayout *buildTimeRow(QWidget *parent, Form1Widgets &ui)
{
    QLabel *on = makeLabel(QStringLiteral("Label8"), text("联动开启"), parent);
    ui.Check3 = named(new CheckBox(parent), QStringLiteral("Check3"));
    ui.Text1 = named(new TextBox(QStringLiteral("0"), parent), QStringLiteral("Text1"));
    QLabel *filter = makeLabel(QStringLiteral("Label5"), text("/10秒后过滤联动"), parent);
    ui.Check4 = named(new CheckBox(parent), QStringLiteral("Check4"));
    ui.Text2 = named(new TextBox(QStringLiteral("1"), parent), QStringLiteral("Text2"));
    QLabel *reset = makeLabel(QStringLiteral("Label6"), text("秒后关闭复位"), parent);
    // The boxes change only through their up-downs.
    for (TextBox *box : {ui.Text1, ui.Text2}) {
        box->setEnabled(false);
        box->setFixedWidth(34);
        box->setAlignment(Qt::AlignRight);
    }
    ui.Check4->setEnabled(false);
    for (const UpDownDef &def : kUpDowns) {
        auto *upDown = named(new UpDown(ui.*def.buddy, def.step, def.minimum, def.maximum, parent),
                             QLatin1String(def.name));
        upDown->setEnabled(false); // the linkage-on boxes enable them
        ui.*def.member = upDown;
    }

    auto *row = new QHBoxLayout;
    row->setSpacing(2);
    const std::initializer_list<QWidget *> order = {on,        ui.Check3, ui.Text1,   ui.UpDown1, filter,
                                                    ui.Check4, ui.Text2,  ui.UpDown2, ui.UpDown3, reset};
    for (QWidget *widget : order)
        row->addWidget(widget);
    row->addStretch(1);
    return row;
}

void buildLinkagePage(QWidget *page, Form1Widgets &ui)
{
    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(4, 4, 4, 4);
    QGroupBox *frame = makeFrame("Frame5", "报警联动设置", page);
    pageLayout->addWidget(frame);
    auto *column = new QVBoxLayout(frame);
    column->setContentsMargins(6, 4, 6, 6);

    QLabel *hostLabel = makeLabel(QStringLiteral("Label3"), text("报警主机选择："), frame);
    ui.Combo4 = named(new ComboBox(frame), QStringLiteral("Combo4"));
    for (const char *entry : {"八路报警主机（KV-8）", "十六路报警主机（KV-16）"})
        ui.Combo4->addEntry(text(entry));
    ui.Combo4->setText(text("八路报警主机（KV-8）"));
    auto *hostRow = new QHBoxLayout;
    hostRow->addWidget(hostLabel);
    hostRow->addWidget(ui.Combo4);
    hostRow->addStretch(1);
    column->addLayout(hostRow);
    column->addStretch(1);

    QGroupBox *channel = makeFrame("Frame6", "输入通道", frame);
    ui.Combo5 = named(new ComboBox(channel), QStringLiteral("Combo5"));
    for (int i = 0; i < 8; ++i)
        ui.Combo5->addEntry(channelName(i));
    ui.Combo5->setText(channelName(0));
    // Room for the longest name of the 16-channel list.
    ui.Combo5->setMinimumWidth(ui.Combo5->sizeHint().width()
                               + ui.Combo5->fontMetrics().horizontalAdvance(text("一")));
    auto *channelLayout = new QVBoxLayout(channel);
    channelLayout->setContentsMargins(6, 4, 6, 6);
    channelLayout->addWidget(ui.Combo5);
    channelLayout->addStretch(1);
    auto *middle = new QHBoxLayout;
    middle->addWidget(channel);
    middle->addWidget(buildLinkageOutputs(frame, ui), 1);
    column->addLayout(middle);
    column->addStretch(1);
    column->addLayout(buildTimeRow(frame, ui));
    column->addStretch(1);

    ui.Command4 = makeButton(QStringLiteral("Command4"), "重新设置", frame);
    ui.Command1 = makeButton(QStringLiteral("Command1"), "开始联动", frame);
    ui.Command1->setEnabled(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ui.Command4);
    buttons->addWidget(ui.Command1);
    column->addLayout(buttons);

    QLabel *note = makeLabel(QStringLiteral("Label7"),
                             text("注：选择联动开启后才能设置，每个通道选择后，按联动确认后才会生效"), frame);
    note->setWordWrap(true);
    note->hide();
    column->addWidget(note);
    column->addStretch(1);
}

} // namespace

Form1Widgets buildForm1Widgets(QWidget *form)
{
    Form1Widgets ui;
    form->setWindowTitle(text("Qirvane智能报警主机测试软件"));
    ui.SSTab1 = named(new TabControl(form), QStringLiteral("SSTab1"));
    const char *const captions[] = {"八路报警主机", "十六路报警主机", " 看 门 狗 卡", " 参 数 设 置",
                                    "报警联动设置"};
    QWidget *pages[5] = {};
    for (int i = 0; i < 5; ++i)
        pages[i] = ui.SSTab1->addPage(text(captions[i]));
    buildHostPage(pages[0], 0, ui);
    buildHostPage(pages[1], 1, ui);
    buildParameterPage(pages[3], ui);
    buildLinkagePage(pages[4], ui);
    // The window opens on the parameter page; nothing listens yet.
    ui.SSTab1->setTab(3);
    auto *tabStyle = new CompactTabStyle(form->style()->name());
    tabStyle->setParent(form); // a later child than SSTab1: deleted after the bar
    ui.SSTab1->findChild<QTabBar *>()->setStyle(tabStyle);

    auto *layout = new QVBoxLayout(form);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(ui.SSTab1);
    form->setMinimumSize(kClientSize.expandedTo(layout->minimumSize()));
    form->resize(form->minimumSize());
    return ui;
}
