#include "traceline.h"

#include "tracefile/tracewords.h"

#include <array>
#include <utility>

namespace {

TraceWhat whatOf(QByteArrayView word)
{
    static const std::array<std::pair<const char *, TraceWhat>, 27> kWords{{
        {traceword::kTx, TraceWhat::Tx},
        {traceword::kRx, TraceWhat::Rx},
        {traceword::kFiled, TraceWhat::Filed},
        {traceword::kEcho, TraceWhat::Echo},
        {traceword::kStray, TraceWhat::Stray},
        {traceword::kOtherAddress, TraceWhat::OtherAddress},
        {traceword::kOtherCode, TraceWhat::OtherCode},
        {traceword::kBadChecksum, TraceWhat::BadChecksum},
        {traceword::kOtherMaster, TraceWhat::OtherMaster},
        {traceword::kBegin, TraceWhat::Begin},
        {traceword::kOpen, TraceWhat::Open},
        {traceword::kClose, TraceWhat::Close},
        {traceword::kFail, TraceWhat::Fail},
        {traceword::kPollStart, TraceWhat::PollStart},
        {traceword::kPollStop, TraceWhat::PollStop},
        {traceword::kLinkageStart, TraceWhat::LinkageStart},
        {traceword::kLinkageEnd, TraceWhat::LinkageEnd},
        {"rx-other", TraceWhat::SimulatorWord},
        {"rx-bad", TraceWhat::SimulatorWord},
        {"rx-garbage", TraceWhat::SimulatorWord},
        {"tx-garbage", TraceWhat::SimulatorWord},
        {"tx-drop", TraceWhat::SimulatorWord},
        {"tx-echo", TraceWhat::SimulatorWord},
        {"tx-stray", TraceWhat::SimulatorWord},
        {"tx-split", TraceWhat::SimulatorWord},
        {"tx-other-master", TraceWhat::SimulatorWord},
        {"tx-other-address", TraceWhat::SimulatorWord},
    }};
    for (const auto &[text, what] : kWords) {
        if (word == text)
            return what;
    }
    return TraceWhat::Unknown;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// "E0 00 3F": pairs of hex digits with one blank between them.
bool parseHex(QByteArrayView text, QByteArray *bytes)
{
    if ((text.size() + 1) % 3 != 0)
        return false;
    bytes->resize((text.size() + 1) / 3);
    for (qsizetype i = 0; i < bytes->size(); ++i) {
        const int high = hexDigit(text[3 * i]);
        const int low = hexDigit(text[3 * i + 1]);
        if (high < 0 || low < 0 || (3 * i + 2 < text.size() && text[3 * i + 2] != ' '))
            return false;
        (*bytes)[i] = char(high * 16 + low);
    }
    return true;
}

} // namespace

bool parseTraceLine(QByteArrayView text, TraceLine *line)
{
    qsizetype at = 0;
    qint64 micros = 0;
    // Eighteen digits stay within qint64, with room for the clock's anchor.
    while (at < text.size() && at < 18 && text[at] >= '0' && text[at] <= '9')
        micros = micros * 10 + (text[at++] - '0');
    if (at == 0 || at >= text.size() || text[at] != ' ')
        return false;
    const qsizetype noteAt = text.indexOf("  ", at);
    // Two blanks right after the clock leave no word.
    if (noteAt == at)
        return false;
    const QByteArrayView head = text.sliced(at + 1, (noteAt < 0 ? text.size() : noteAt) - at - 1);
    const qsizetype wordEnd = head.indexOf(' ');
    line->micros = micros;
    line->word = wordEnd < 0 ? head : head.first(wordEnd);
    if (line->word.isEmpty())
        return false;
    line->what = whatOf(line->word);
    line->meaning = noteAt < 0 ? QByteArrayView() : text.sliced(noteAt + 2);
    line->bytes.clear();
    return wordEnd < 0 || parseHex(head.sliced(wordEnd + 1), &line->bytes);
}

QByteArrayView traceField(QByteArrayView meaning, QByteArrayView key)
{
    qsizetype at = 0;
    while (at < meaning.size()) {
        qsizetype end = meaning.indexOf(' ', at);
        if (end < 0)
            end = meaning.size();
        const QByteArrayView field = meaning.sliced(at, end - at);
        if (field.size() > key.size() && field.startsWith(key) && field[key.size()] == '=')
            return field.sliced(key.size() + 1);
        at = end + 1;
    }
    return {};
}
