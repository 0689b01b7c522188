#include "scriptparser.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace Workbench {

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("Workbench::ScriptParser", text);
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r');
}

// Expands "${NAME}" starting at 'pos' (which points at '$'); advances 'pos' past it.
bool expandVariable(const QString &line, int *pos, QString *out, QString *error,
                    const QProcessEnvironment &environment)
{
    const int close = line.indexOf(QLatin1Char('}'), *pos + 2);
    if (close < 0) {
        *error = tr("\"${\" without a closing \"}\"");
        return false;
    }
    const QString name = line.mid(*pos + 2, close - *pos - 2);
    static const QRegularExpression valid(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (!valid.match(name).hasMatch()) {
        *error = tr("\"%1\" is not a valid variable name").arg(name);
        return false;
    }
    if (!environment.contains(name)) {
        *error = tr("the environment variable %1 is not set").arg(name);
        return false;
    }
    *out += environment.value(name);
    *pos = close + 1;
    return true;
}
} // namespace

bool splitScriptLine(const QString &line, QStringList *words, QString *error,
                     const QProcessEnvironment &environment)
{
    words->clear();
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
        return true;

    QString word;
    bool inWord = false;
    bool quoted = false;
    int pos = 0;
    while (pos < trimmed.size()) {
        const QChar c = trimmed.at(pos);
        if (c == QLatin1Char('$') && pos + 1 < trimmed.size() &&
            trimmed.at(pos + 1) == QLatin1Char('{')) {
            if (!expandVariable(trimmed, &pos, &word, error, environment))
                return false;
            inWord = true;
            continue;
        }
        if (quoted) {
            if (c == QLatin1Char('"')) {
                quoted = false;
            } else if (c == QLatin1Char('\\') && pos + 1 < trimmed.size()) {
                const QChar next = trimmed.at(pos + 1);
                if (next == QLatin1Char('n'))
                    word += QLatin1Char('\n');
                else if (next == QLatin1Char('t'))
                    word += QLatin1Char('\t');
                else if (next == QLatin1Char('"') || next == QLatin1Char('\\') ||
                         next == QLatin1Char('$'))
                    word += next;
                else
                    word += QString(c) + next;
                ++pos;
            } else {
                word += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            inWord = true;
        } else if (isBlank(c)) {
            if (inWord)
                words->append(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
        ++pos;
    }
    if (quoted) {
        *error = tr("a double quote is not closed");
        words->clear();
        return false;
    }
    if (inWord)
        words->append(word);
    return true;
}

} // namespace Workbench
