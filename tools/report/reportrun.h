#pragma once

#include <QString>
#include <QStringList>

// One run of the report: which traces, which views where. The command-line
// tool and the desktop launcher both make one.
struct ReportRun
{
    QStringList traces;
    bool json = false;
    bool summary = false;
    QString htmlPath;
    QString csvPath;

    // What the run has to say on standard error or in a box; the page
    // written.
    QStringList messages;
    QString writtenHtml;
    QByteArray standardOutput;

    // 0, 1 when a view could not be written, 2 when no trace could be read.
    int run();

    // The newest trace in the user's data folder; empty when there is none.
    static QString latestTrace();
    // The page beside a trace: the same name ending in .html.
    static QString pageBeside(const QString &trace);
};
