#pragma once

#include "record.h"

#include <QString>

// The words of the report, shared by its views so the summary, the page
// and the JSON say the same: verdicts in Chinese for people and as keys
// for machines, times in ISO 8601 with the trace's UTC offset.
namespace reporttext {

QString iso(const record::Record &r, qint64 time);
// The local clock time, "14:03:07".
QString clock(const record::Record &r, qint64 time);
QString milliseconds(double ms);
// "0.8 ms" from microseconds between two times.
QString delay(qint64 from, qint64 to);

QString inputVerdict(record::InputVerdict verdict);
QString inputVerdictKey(record::InputVerdict verdict);
QString outputVerdict(record::OutputVerdict verdict);
QString outputVerdictKey(record::OutputVerdict verdict);
QString lineVerdict(record::LineVerdict verdict);
QString lineVerdictKey(record::LineVerdict verdict);
// The line's verdict rule in words, with its thresholds.
QString lineThresholds();

QString receptionName(int kind);
QString receptionKey(int kind);
// "3F" and "输入状态查询" for the place of a code in kQueryCodes.
QString queryCode(int index);
QString queryName(int index);
QString portEventName(record::PortEventKind kind);
QString portEventKey(record::PortEventKind kind);
// "1 2 5", or "无".
QString channelList(const QList<int> &channels);

} // namespace reporttext
