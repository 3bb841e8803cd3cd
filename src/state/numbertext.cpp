#include "state/numbertext.h"

#include <algorithm>
#include <cmath>
#include <limits>

double leadingNumber(const QString &text)
{
    int i = 0;
    const int n = int(text.size());
    // Blanks only: a tab or any other white space starts no number.
    while (i < n && text[i] == u' ')
        ++i;
    const int start = i;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    int digits = 0;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == u'.') {
        ++i;
        while (i < n && text[i].isDigit() && text[i].unicode() < 128) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0;
    int end = i;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        int j = i + 1;
        if (j < n && (text[j] == u'+' || text[j] == u'-'))
            ++j;
        const int exponentStart = j;
        while (j < n && text[j].isDigit() && text[j].unicode() < 128)
            ++j;
        if (j > exponentStart)
            end = j;
    }
    bool ok = false;
    const double value = text.mid(start, end - start).toDouble(&ok);
    // A number beyond a double's range comes back infinite, so that range
    // checks refuse it; one too small for a double is 0.
    return ok || std::isinf(value) ? value : 0.0;
}

double roundHalfEven(double value)
{
    return std::nearbyint(value); // the default rounding mode sends halves to even
}

int16_t textToInt16(const QString &text)
{
    const double value = roundHalfEven(leadingNumber(text));
    return int16_t(
        std::clamp<double>(value, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
}
