#include "link/portprobe.h"

#include "platform/combobox.h"
#include "platform/intervaltimer.h"
#include "platform/platform.h"
#include "serial/portfailuretext.h"
#include "serial/serialcomponent.h"
#include "state/numbertext.h"

namespace {

const QString kTryAgain = QStringLiteral(",请检查或更换端口重新操作");

// The last character of the port list's text as a number: "COM5" gives 5;
// a text that does not end in a digit names no port.
int16_t portFromText(const QString &text)
{
    if (text.isEmpty())
        return 0;
    const QChar last = text.back();
    return last >= u'0' && last <= u'9' ? int16_t(last.unicode() - u'0') : int16_t(0);
}

} // namespace

PortProbe::PortProbe(Form1Context &context)
    : FormHandlers(context)
{
}

void PortProbe::firstcheck()
{
    state.portNumber = portFromText(ui.Combo1->text());
    readHostAddress();
    readPollPeriod();
    checkcommport(state.portNumber);
}

void PortProbe::checkcommport(int16_t &intcommport)
{
    forgetReport();
    if (applyPortSetup(intcommport) && MSComm1.setPortOpen(true) && MSComm1.setPortOpen(false))
        return;

    // Failure handler
    const PortFailure failure = MSComm1.failure();
    // Set before the box, which lets the timers run while it is open.
    m_reportedPort = intcommport;
    m_reportedFailure = failure;
    state.portErrorCount += 1;
    if (state.portErrorCount == 9) {
        state.portErrorCount = 1;
        // The program ends when the box is closed; a retry still pending
        // must not probe again behind it.
        Timer7.setEnabled(false);
        showError(QStringLiteral("你出错太多,请仔细检查或更换端口重新操作"));
        form.platform->endProgram();
        return;
    }
    showError(portFailureText(intcommport, failure));
    if (failure.error == PortError::PortInUse || failure.error == PortError::NoSuchPort) {
        Timer7.setInterval(50);
        Timer7.setEnabled(true);
    }
}

void PortProbe::Combo1_Click()
{
    state.portNumber = int16_t(std::max(ui.Combo1->listIndex(), 0) + 1);
    checkcommport(state.portNumber);
}

void PortProbe::Combo2_Click()
{
    readHostAddress();
}

void PortProbe::Combo3_Click()
{
    readPollPeriod();
}

void PortProbe::Timer7_Timer()
{
    state.portNumber = int16_t(state.portNumber + 1);
    if (state.portNumber > 8)
        state.portNumber = 1;
    ui.Combo1->setText(QStringLiteral("COM") + QString::number(state.portNumber));
    Timer7.setInterval(0);
    Timer7.setEnabled(false);
    checkcommport(state.portNumber);
}

bool PortProbe::applyPortSetup(int16_t port)
{
    MSComm1.setCommPort(port);
    if (!MSComm1.setSettings(QStringLiteral("9600,n,8,1")))
        return false;
    MSComm1.setInBufferCount(0);
    MSComm1.setRThreshold(1);
    MSComm1.setInputMode(1);
    MSComm1.setReceiveLatency(0);
    return true;
}

QString PortProbe::portFailureText(int16_t port, const PortFailure &failure)
{
    const QString n = QString::number(port);
    switch (failure.error) {
    case PortError::PortInUse:
        return QStringLiteral("com") + n + QStringLiteral("端口已经打开") + kTryAgain;
    case PortError::NoSuchPort:
        return QStringLiteral("无效的com") + n + QStringLiteral("端口") + kTryAgain;
    default:
        return portFailureDescription(failure) + kTryAgain;
    }
}

bool PortProbe::reported(int16_t port, const PortFailure &failure) const
{
    return port == m_reportedPort && failure == m_reportedFailure;
}

// A value the host address cannot take is refused; the last good one stays.
void PortProbe::readHostAddress()
{
    const QString text = ui.Combo2->text();
    const double address = roundHalfEven(leadingNumber(text));
    if (address < 0 || address > 255) {
        showError(QStringLiteral("无效的地址") + text
                  + QStringLiteral(",地址应在0到255之间,请检查或更换地址重新操作"));
        return;
    }
    state.hostAddress = uint8_t(address);
}

// A poll period of 0 would stop polling for good and one beyond 16 bits
// cannot be held; both are refused and the last good period stays.
void PortProbe::readPollPeriod()
{
    const QString text = ui.Combo3->text();
    const double period = roundHalfEven(leadingNumber(text));
    if (period < 1 || period > 32767) {
        showError(QStringLiteral("无效的查询时间") + text
                  + QStringLiteral(",查询时间应在1到32767毫秒之间,请检查或更换查询时间重新操作"));
        return;
    }
    state.timeSettings[0] = int16_t(period);
}
