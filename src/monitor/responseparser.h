#pragma once

#include "form/formhandlers.h"

#include <QByteArray>

class ReplyFramer;
class Senders;

// The receive event: files every reply of the host into the reply row of
// the outstanding query and, while linkage is on, judges the inputs.
class ResponseParser : public FormHandlers
{
public:
    ResponseParser(Form1Context &context, Senders &senders, ReplyFramer &framer);

    void MSComm1_OnComm();

private:
    void file(const QByteArray &bytes);
    void preLinkageInputCheck();
    void inputCheckBehindEcho();
    void linkageEvaluation();

    Senders &m_senders;
    ReplyFramer &m_framer;
    // The reception the input check was decided on and the step it came in:
    // when the line shows it to have been the echo of the check's own
    // query, the host's reply that showed it decides again.
    QByteArray m_checkDecidedBy;
    quint64 m_checkStep = 0;
};
