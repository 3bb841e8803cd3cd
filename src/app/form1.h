#pragma once

#include "form/form1context.h"

#include <QWidget>

#include <memory>

class CancelLinkage;
class LampRendering;
class LinkageSettings;
class LinkageTableEditing;
class LinkageTimers;
class ManualOutputs;
class Platform;
class PollSchedule;
class PortProbe;
class ReplyFramer;
class ResetLock;
class ResponseParser;
class Senders;
class StartLinkage;

// The window: builds its widget tree, gets its timers and port from the
// platform, and dispatches every event to its handler.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    explicit Form1(Platform &platform, QWidget *parent = nullptr);
    ~Form1() override;

    void Form_Load();

    Form1Context &context() { return m_context; }
    const Form1Widgets &ui() const { return m_context.ui; }
    Module1 &state() { return m_context.state; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createTimers(Platform &platform);
    void connectEvents();
    void describePorts();

    Form1Context m_context;
    // What the line has shown of itself: written by the senders, read by
    // the reply parser.
    std::unique_ptr<ReplyFramer> m_framer;
    // In the order they are built: each after the groups it calls.
    std::unique_ptr<PortProbe> m_probe;
    std::unique_ptr<Senders> m_senders;
    std::unique_ptr<PollSchedule> m_schedule;
    std::unique_ptr<ResponseParser> m_parser;
    std::unique_ptr<LampRendering> m_lamps;
    std::unique_ptr<LinkageTimers> m_linkageTimers;
    std::unique_ptr<StartLinkage> m_start;
    std::unique_ptr<LinkageSettings> m_settings;
    std::unique_ptr<CancelLinkage> m_cancel;
    std::unique_ptr<ResetLock> m_resetLock;
    std::unique_ptr<LinkageTableEditing> m_table;
    std::unique_ptr<ManualOutputs> m_manual;
};
