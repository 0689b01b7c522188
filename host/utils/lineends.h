#pragma once

#include <QString>

namespace Utils {

// Turns the Windows clients' CR LF line ends into LF, in one pass: QString::replace moves the
// rest of the text for every batch of matches, which made a client's output of tens of
// megabytes take seconds.
inline void dropCarriageReturns(QString *text)
{
    const int first = text->indexOf(QLatin1String("\r\n"));
    if (first < 0)
        return;
    const int size = text->size();
    QChar *to = text->data() + first; // data() first: it may copy a shared text
    const QChar *from = text->constData();
    int kept = first;
    for (int i = first; i < size; ++i) {
        if (from[i] == QLatin1Char('\r') && i + 1 < size && from[i + 1] == QLatin1Char('\n'))
            continue;
        *to++ = from[i];
        ++kept;
    }
    text->truncate(kept);
}

} // namespace Utils
