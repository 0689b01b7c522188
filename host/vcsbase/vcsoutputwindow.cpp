#include "vcsoutputwindow.h"

#include <QDir>
#include <QLocale>

namespace VcsBase {

namespace {
// The one pane's content; only the global static constructs it.
class GlobalOutputWindow : public VcsOutputWindow
{
public:
    GlobalOutputWindow() = default;
};

// Destructors that run after static objects are gone (a plugin left to Qt's own clean-up)
// find no window rather than a destroyed one.
Q_GLOBAL_STATIC(GlobalOutputWindow, globalOutputWindow)
} // namespace

VcsOutputWindow *VcsOutputWindow::instance()
{
    return globalOutputWindow();
}

namespace {
// Pieces up to this many characters take the next text in, so that many small texts do
// not each cost a string of their own.
const int PieceCharacters = 64 * 1024;
} // namespace

void VcsOutputWindow::appendText(const QString &text, Kind kind, bool wholeLine)
{
    if (text.isEmpty())
        return;
    QString line = text;
    if (wholeLine) {
        if (m_lineOpen)
            line.prepend(QLatin1Char('\n'));
        if (!line.endsWith(QLatin1Char('\n')))
            line += QLatin1Char('\n');
    }
    m_lineOpen = !line.endsWith(QLatin1Char('\n'));
    if (!m_pieces.isEmpty() && m_pieces.last().size() + line.size() <= PieceCharacters)
        m_pieces.last() += line;
    else
        m_pieces.append(line);
    m_size += line.size();
    // Trimmed in batches so that appending stays linear in the amount of text; content()
    // trims the rest.
    if (m_size > m_limit + m_limit / 8)
        trimToLimit();
    emit textAppended(line, kind);
}

void VcsOutputWindow::trimToLimit()
{
    // Room for the line that says what was dropped, so that content() stays within the limit.
    const qint64 keep = m_limit - 64;
    if (m_size <= keep)
        return;
    qint64 cut = m_size - keep;
    // Drop whole lines where one starts within the kept part; a single line longer than
    // the limit keeps its end rather than vanishing. The line that the cut falls into ends
    // at the first line break from the cut's last character on.
    qint64 offset = 0; // where m_pieces[index] starts
    int index = 0;
    while (offset + m_pieces.at(index).size() < cut) {
        offset += m_pieces.at(index).size();
        ++index;
    }
    qint64 lineEnd = -1;
    for (int i = index, from = int(cut - 1 - offset); i < m_pieces.size() && lineEnd < 0; ++i) {
        const int at = m_pieces.at(i).indexOf(QLatin1Char('\n'), qMax(0, from));
        if (at >= 0)
            lineEnd = offset + at;
        offset += m_pieces.at(i).size();
        from = 0;
    }
    if (lineEnd >= 0 && lineEnd + 1 < m_size)
        cut = lineEnd + 1;
    while (cut > 0) {
        QString &first = m_pieces.first();
        if (first.size() <= cut) {
            m_droppedBytes += utf8Size(first);
            cut -= first.size();
            m_size -= first.size();
            m_pieces.removeFirst();
            continue;
        }
        int end = int(cut);
        if (first.at(end).isLowSurrogate())
            ++end;
        m_droppedBytes += utf8Size(QStringView(first).left(end));
        m_size -= end;
        // A copy of the rest, so that the dropped part's memory goes.
        first = first.mid(end);
        break;
    }
}

void VcsOutputWindow::appendTo(const QString &text, Kind kind, bool wholeLine)
{
    if (VcsOutputWindow *window = instance())
        window->appendText(text, kind, wholeLine);
}

qint64 VcsOutputWindow::utf8Size(QStringView text)
{
    qint64 size = 0;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        // A surrogate pair is four bytes, two for each half.
        size += u < 0x80 ? 1 : u < 0x800 || c.isSurrogate() ? 2 : 3;
    }
    return size;
}

QString VcsOutputWindow::droppedLine(qint64 bytes)
{
    return tr("[%1 of earlier output not shown]")
        .arg(QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat));
}

void VcsOutputWindow::append(const QString &text)
{
    appendTo(text, Normal);
}

void VcsOutputWindow::appendError(const QString &text)
{
    appendTo(text, Error);
}

void VcsOutputWindow::appendWarning(const QString &text)
{
    appendTo(text, Warning);
}

void VcsOutputWindow::appendMessage(const QString &text)
{
    appendTo(text, Message);
}

void VcsOutputWindow::appendOutput(const QString &text, Kind kind)
{
    appendTo(text, kind, false);
}

QString VcsOutputWindow::maskPassword(const QString &argument)
{
    for (const QLatin1String prefix : {QLatin1String("/login:"), QLatin1String("-login:")}) {
        if (!argument.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        const int comma = argument.indexOf(QLatin1Char(','), prefix.size());
        if (comma < 0)
            return argument;
        return argument.left(comma + 1) + QLatin1String("********");
    }
    return argument;
}

static QString quoteArgument(const QString &argument)
{
    if (argument.isEmpty())
        return QStringLiteral("\"\"");
    bool needsQuotes = false;
    for (const QChar c : argument) {
        if (c.isSpace() || c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            needsQuotes = true;
            break;
        }
    }
    if (!needsQuotes)
        return argument;
    QString quoted = argument;
    quoted.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString VcsOutputWindow::formatCommandLine(const QString &binary, const QStringList &arguments)
{
    QStringList parts;
    parts << quoteArgument(QDir::toNativeSeparators(binary));
    for (const QString &argument : arguments)
        parts << quoteArgument(maskPassword(argument));
    return parts.join(QLatin1Char(' '));
}

void VcsOutputWindow::appendCommand(const QString &workingDirectory, const QString &binary,
                                    const QStringList &arguments)
{
    const QString line = formatCommandLine(binary, arguments);
    if (workingDirectory.isEmpty())
        appendTo(tr("Executing: %1").arg(line), CommandLine);
    else
        appendTo(tr("Executing in %1: %2").arg(QDir::toNativeSeparators(workingDirectory), line),
                 CommandLine);
}

void VcsOutputWindow::popup()
{
    if (VcsOutputWindow *window = instance())
        emit window->popupRequested();
}

QString VcsOutputWindow::content()
{
    VcsOutputWindow *window = instance();
    window->trimToLimit();
    QString content;
    if (window->m_droppedBytes > 0)
        content = droppedLine(window->m_droppedBytes) + QLatin1Char('\n');
    content.reserve(int(content.size() + window->m_size));
    for (const QString &piece : qAsConst(window->m_pieces))
        content += piece;
    return content;
}

void VcsOutputWindow::clearContents()
{
    instance()->m_pieces.clear();
    instance()->m_size = 0;
    instance()->m_droppedBytes = 0;
    instance()->m_lineOpen = false;
}

int VcsOutputWindow::historyLimit()
{
    return instance()->m_limit;
}

void VcsOutputWindow::setHistoryLimit(int characters)
{
    instance()->m_limit = qMax(1024, characters);
}

} // namespace VcsBase
