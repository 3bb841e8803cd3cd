#include "monitor/responseparser.h"

#include "link/senders.h"
#include "platform/checkbox.h"
#include "platform/commandbutton.h"
#include "platform/intervaltimer.h"
#include "platform/lamp.h"
#include "serial/commandframe.h"
#include "serial/replyframer.h"
#include "serial/serialcomponent.h"

#include <QVarLengthArray>

#include <utility>

ResponseParser::ResponseParser(Form1Context &context, Senders &senders, ReplyFramer &framer)
    : FormHandlers(context)
    , m_senders(senders)
    , m_framer(framer)
{
}

void ResponseParser::MSComm1_OnComm()
{
    if (MSComm1.inBufferCount() <= 0)
        return;
    const QByteArray bytes = MSComm1.input();
    // Only what the host really sent is filed; echo, stray bytes and other
    // frames are noted for the trace and go no further.
    bool checkAgain = false;
    for (const Reception &reception : m_framer.read(bytes)) {
        MSComm1.noteReception(reception);
        if (reception.kind == ReceptionKind::Echo && reception.filedBefore)
            checkAgain = reception.bytes == m_checkDecidedBy && m_framer.step() == m_checkStep;
        if (reception.kind != ReceptionKind::Reply && reception.kind != ReceptionKind::AsReceived)
            continue;
        file(reception.bytes);

        if (!state.linkageActive)
            continue;
        if (std::exchange(checkAgain, false)) {
            inputCheckBehindEcho();
        } else if (state.inputCheckPending) {
            m_checkDecidedBy = reception.bytes;
            m_checkStep = m_framer.step();
            preLinkageInputCheck();
        } else {
            linkageEvaluation();
        }
        // What follows belongs to a port the decision has closed.
        if (!MSComm1.portOpen())
            return;
    }
}

void ResponseParser::file(const QByteArray &bytes)
{
    const int row = state.awaitingInputReply ? 0 : 1;
    // A row holds six bytes; anything beyond a reply's length is dropped.
    const int count = std::min(int(bytes.size()), kFrameLength);
    for (int k = 0; k < count; ++k)
        state.replyTable[row][k] = uint8_t(bytes[k]);
}

void ResponseParser::preLinkageInputCheck()
{
    const int sum = state.replyTable[0][4] + state.replyTable[0][3];
    if (sum != 0) {
        // Refused, linkage has not started: left on, a host page would poll
        // without lamps or manual outputs and the alarm would drive the
        // linked outputs with no cancel button to stop it; and left open,
        // the port opened for the check would let any stray reception run
        // the linkage evaluation on the alarmed row.
        m_senders.abandonInputCheck();
        showError(QStringLiteral("你的输入端有报警,请检查,联动前不允许有报警"));
        return;
    }
    state.inputCheckPassed = true;
    state.inputCheckPending = false;
    ui.Command1->press();
}

// The input check passed on a copy of its own query that an echoing adapter
// sent back, and linkage has started on it; the host's reply, which showed
// the copy for what it was, decides as the check would have.
void ResponseParser::inputCheckBehindEcho()
{
    m_checkDecidedBy.clear();
    if (state.replyTable[0][4] + state.replyTable[0][3] == 0) {
        linkageEvaluation();
        return;
    }
    Timer8.setEnabled(false);
    withdrawLinkageStart(host());
    showError(QStringLiteral("你的输入端有报警,请检查,联动前不允许有报警"));
}

void ResponseParser::linkageEvaluation()
{
    const int in1 = state.replyTable[0][3];
    const int in2 = state.replyTable[0][4];
    if (in1 == 0 && in2 == 0)
        return;

    // Nothing to wait out with a filter time of 0: a reset timer left from
    // before a restart set the filter pending, but a start without filter
    // acts on alarms at once and has no automatic reset.
    if (state.timeSettings[1] == 0)
        state.filterPending = false;
    const HostControls controls = host();
    bool alarmSeen = false;
    QVarLengthArray<int, 16> alarmed;
    for (int bit = 7; bit >= 0; --bit) {
        if (in1 & (1 << bit))
            alarmed.append(bit);
    }
    if (controls.inputCount() == 16) {
        for (int bit = 7; bit >= 0; --bit) {
            if (in2 & (1 << bit))
                alarmed.append(8 + bit);
        }
    }
    for (const int c : alarmed) {
        if (state.locked)
            continue;
        if (state.filterPending) {
            alarmSeen = true;
            continue;
        }
        controls.inputLamp(c)->setFillColor(kAlarmRed);
        controls.resetButton()->setVisible(true);
        for (int j = 0; j <= 7; ++j) {
            if (state.linkageTable[c][j] == 1) {
                controls.outputLamp(j)->setFillColor(kAlarmRed);
                controls.manualBox(j)->setValue(1);
            }
        }
    }

    int count = 0;
    int mask = 0;
    for (int j = 0; j <= 7; ++j) {
        if (controls.manualBox(j)->value() == 1) {
            ++count;
            mask += 1 << j;
        }
    }
    if (count > 0) {
        controls.lockButton()->setVisible(true);
        controls.resetButton()->setVisible(true);
    }
    if (state.locked)
        return;
    state.linkageOutputMask = int16_t(mask);
    if (!state.filterPending) {
        linkageswithout();
    } else if (alarmSeen) {
        // 32-bit milliseconds; re-arming with the same interval keeps the
        // count running from the first alarmed reception.
        Timer5.setInterval(int(state.timeSettings[1]) * 100);
        Timer5.setEnabled(true);
    }
}
