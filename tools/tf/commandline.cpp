#include "commandline.h"

namespace Tf {

bool splitCommandLine(const QString &line, QStringList *words)
{
    words->clear();
    QString word;
    bool inWord = false; // also true for a word that is only "" so far
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c != '"') {
                word += c;
            } else if (i + 1 < line.size() && line.at(i + 1) == '"') {
                word += c;
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == ' ' || c == '\t') {
            if (inWord)
                words->append(word);
            word.clear();
            inWord = false;
        } else {
            inWord = true;
            if (c == '"')
                quoted = true;
            else
                word += c;
        }
    }
    if (inWord)
        words->append(word);
    return !quoted;
}

} // namespace Tf
