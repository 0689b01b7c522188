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
    m_content += line;
    // Trim in batches so that appending stays linear in the amount of text; content()
    // trims the rest.
    if (m_content.size() > 2 * m_limit)
        trimToLimit();
    emit textAppended(line, kind);
}

void VcsOutputWindow::trimToLimit()
{
    // Room for the line that says what was dropped, so that content() stays within the limit.
    const int keep = m_limit - 64;
    if (m_content.size() <= keep)
        return;
    int cut = m_content.size() - keep;
    // Drop whole lines where one starts within the kept part; a single line longer than
    // the limit keeps its end rather than vanishing.
    const int newline = m_content.indexOf(QLatin1Char('\n'), cut - 1);
    if (newline >= 0 && newline + 1 < m_content.size())
        cut = newline + 1;
    else if (m_content.at(cut).isLowSurrogate())
        ++cut;
    m_droppedBytes += utf8Size(QStringView(m_content).left(cut));
    m_content.remove(0, cut);
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
    if (window->m_droppedBytes == 0)
        return window->m_content;
    return droppedLine(window->m_droppedBytes) + QLatin1Char('\n') + window->m_content;
}

void VcsOutputWindow::clearContents()
{
    instance()->m_content.clear();
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
