#include "app/form1.h"

#include "app/form1builder.h"
#include "app/pollschedule.h"
#include "control/cancellinkage.h"
#include "control/linkagetableediting.h"
#include "control/resetlock.h"
#include "control/startlinkage.h"
#include "link/portprobe.h"
#include "link/senders.h"
#include "monitor/lamprendering.h"
#include "monitor/linkagetimers.h"
#include "monitor/responseparser.h"
#include "panel/linkagesettings.h"
#include "panel/manualoutputs.h"
#include "platform/checkbox.h"
#include "platform/combobox.h"
#include "platform/commandbutton.h"
#include "platform/intervaltimer.h"
#include "platform/platform.h"
#include "platform/tabcontrol.h"
#include "platform/textbox.h"
#include "serial/portmap.h"
#include "serial/replyframer.h"
#include "serial/serialcomponent.h"

#include <QEvent>
#include <QIcon>

// The icon is a resource of the program itself (packaging/icons/appicon.qrc,
// compiled into alarm-host-tester), so the window shows it before and
// without an installed theme; a window made by the tests has none.
static QIcon programIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1/alarm-host-tester.png").arg(size), QSize(size, size));
    return icon;
}

Form1::Form1(Platform &platform, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowIcon(programIcon());
    m_context.ui = buildForm1Widgets(this);
    // Listing the ports takes a while, so it is done when they are shown.
    m_context.ui.Combo1->installEventFilter(this);
    createTimers(platform);
    m_context.platform = &platform;
    m_context.MSComm1 = &platform.serial();
    m_context.messageBox = &platform.messageBox();

    m_framer = std::make_unique<ReplyFramer>();
    m_probe = std::make_unique<PortProbe>(m_context);
    m_senders = std::make_unique<Senders>(m_context, *m_probe, *m_framer);
    m_schedule = std::make_unique<PollSchedule>(m_context, *m_probe, *m_senders);
    m_parser = std::make_unique<ResponseParser>(m_context, *m_senders, *m_framer);
    m_lamps = std::make_unique<LampRendering>(m_context);
    m_linkageTimers = std::make_unique<LinkageTimers>(m_context);
    m_start = std::make_unique<StartLinkage>(m_context, *m_senders);
    m_settings = std::make_unique<LinkageSettings>(m_context, *m_senders);
    m_cancel = std::make_unique<CancelLinkage>(m_context, *m_settings);
    m_resetLock = std::make_unique<ResetLock>(m_context);
    m_table = std::make_unique<LinkageTableEditing>(m_context, *m_settings, *m_senders);
    m_manual = std::make_unique<ManualOutputs>(m_context);

    connectEvents();
}

Form1::~Form1()
{
    // Handlers must not run while the widgets and timers go away.
    disconnect(m_context.MSComm1, nullptr, this, nullptr);
}

void Form1::Form_Load()
{
    m_schedule->Form_Load();
}

void Form1::createTimers(Platform &platform)
{
    IntervalTimer **timers[] = {&m_context.Timer1, &m_context.Timer2, &m_context.Timer3, &m_context.Timer4,
                                &m_context.Timer5, &m_context.Timer6, &m_context.Timer7, &m_context.Timer8};
    int number = 1;
    for (IntervalTimer **timer : timers) {
        *timer = platform.createTimer(this);
        (*timer)->setObjectName(QStringLiteral("Timer%1").arg(number++));
    }
}

void Form1::connectEvents()
{
    Form1Widgets &ui = m_context.ui;
    Form1Context &c = m_context;

    connect(ui.SSTab1, &TabControl::Click, this, [this] { m_schedule->SSTab1_Click(); });
    connect(c.MSComm1, &SerialComponent::OnComm, this, [this] { m_parser->MSComm1_OnComm(); });

    connect(c.Timer1, &IntervalTimer::Timer, this, [this] { m_senders->Timer1_Timer(); });
    connect(c.Timer2, &IntervalTimer::Timer, this, [this] { m_senders->Timer2_Timer(); });
    connect(c.Timer3, &IntervalTimer::Timer, this, [this] { m_lamps->Timer3_Timer(); });
    connect(c.Timer4, &IntervalTimer::Timer, this, [this] { m_senders->Timer4_Timer(); });
    connect(c.Timer5, &IntervalTimer::Timer, this, [this] { m_linkageTimers->Timer5_Timer(); });
    connect(c.Timer6, &IntervalTimer::Timer, this, [this] { m_linkageTimers->Timer6_Timer(); });
    connect(c.Timer7, &IntervalTimer::Timer, this, [this] { m_probe->Timer7_Timer(); });
    connect(c.Timer8, &IntervalTimer::Timer, this, [this] { m_senders->Timer8_Timer(); });

    connect(ui.Combo1, &ComboBox::Click, this, [this] { m_probe->Combo1_Click(); });
    connect(ui.Combo1, &ComboBox::popupAboutToShow, this, &Form1::describePorts);
    connect(ui.Combo2, &ComboBox::Click, this, [this] { m_probe->Combo2_Click(); });
    connect(ui.Combo3, &ComboBox::Click, this, [this] { m_probe->Combo3_Click(); });
    connect(ui.Combo4, &ComboBox::Click, this, [this] { m_settings->Combo4_Click(); });
    connect(ui.Combo5, &ComboBox::Click, this, [this] { m_settings->Combo5_Click(); });

    connect(ui.Check3, &CheckBox::Click, this, [this] { m_settings->Check3_Click(); });
    connect(ui.Check4, &CheckBox::Click, this, [this] { m_settings->Check4_Click(); });
    connect(ui.Text1, &TextBox::Change, this, [this] { m_settings->Text1_Change(); });
    connect(ui.Text2, &TextBox::Change, this, [this] { m_settings->Text2_Change(); });

    connect(ui.Command1, &CommandButton::Click, this, [this] { m_start->Command1_Click(); });
    connect(ui.Command3, &CommandButton::Click, this, [this] { m_table->Command3_Click(); });
    connect(ui.Command4, &CommandButton::Click, this, [this] { m_table->Command4_Click(); });
    connect(ui.Command6, &CommandButton::Click, this, [this] { m_table->Command6_Click(); });
    for (int index = 0; index < 2; ++index) {
        connect(ui.Command2[index], &CommandButton::Click, this,
                [this, index] { m_cancel->Command2_Click(index); });
        connect(ui.Command7[index], &CommandButton::Click, this,
                [this, index] { m_resetLock->Command7_Click(index); });
        connect(ui.Command8[index], &CommandButton::Click, this,
                [this, index] { m_resetLock->Command8_Click(index); });
    }
    for (int index = 0; index < 8; ++index) {
        connect(ui.Check1[index], &CheckBox::Click, this, [this, index] { m_manual->Check1_Click(index); });
        connect(ui.Check5[index], &CheckBox::Click, this, [this, index] { m_manual->Check5_Click(index); });
    }
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_context.ui.Combo1 && event->type() == QEvent::ToolTip)
        describePorts();
    return QWidget::eventFilter(watched, event);
}

// Which device each COM entry stands for at this moment; brought up to date
// whenever the tooltip or the dropped-down list is about to show it, since
// adapters come and go.
void Form1::describePorts()
{
    ComboBox &list = *m_context.ui.Combo1;
    const QList<PortDescription> present = presentPorts();
    QStringList lines;
    for (int i = 0; i < list.count(); ++i) {
        const PortDescription port = describePort(int16_t(i + 1), present);
        QStringList details;
        for (const QString &detail : {port.description, port.manufacturer})
            if (!detail.isEmpty())
                details.append(detail);
        if (!port.serialNumber.isEmpty())
            details.append(QStringLiteral("序列号") + port.serialNumber);
        QString line = list.itemText(i) + QStringLiteral(" = ");
        if (port.systemLocation.isEmpty())
            line += QStringLiteral("无设备");
        else if (details.isEmpty())
            line += port.systemLocation;
        else
            line += port.systemLocation + u'(' + details.join(u',') + u')';
        list.setItemData(i, line, Qt::ToolTipRole);
        lines.append(line);
    }
    list.setToolTip(lines.join(u'\n'));
}
