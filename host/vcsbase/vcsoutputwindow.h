#pragma once

#include <QObject>
#include <QStringList>
#include <QStringView>

namespace VcsBase {

// The version-control output pane's content. The host's window shows it; scripted runs
// mirror it to standard output. It keeps at most historyLimit() characters, dropping the
// oldest lines, so that a command printing tens of megabytes cannot exhaust memory, and
// then begins with one line saying how much it dropped.
class VcsOutputWindow : public QObject
{
    Q_OBJECT
public:
    enum Kind { Normal, Error, Warning, Message, CommandLine };
    Q_ENUM(Kind)

    // The one window; null once it was destroyed at the end of the process, when
    // appending does nothing.
    static VcsOutputWindow *instance();

    static void append(const QString &text);
    static void appendError(const QString &text);
    static void appendWarning(const QString &text);
    static void appendMessage(const QString &text);
    // A piece of a process's output as it came: not ended with a newline, so that the next
    // piece continues its line. The next whole text starts on a line of its own.
    static void appendOutput(const QString &text, Kind kind = Normal);
    // Logs a command line, with any password in a login argument masked.
    static void appendCommand(const QString &workingDirectory, const QString &binary,
                              const QStringList &arguments);
    // Asks the IDE to bring the pane to the front, for what a person has to read now.
    static void popup();

    static QString content();
    static void clearContents();
    static int historyLimit();
    static void setHistoryLimit(int characters);

    // The command line as the pane shows it.
    // "[41.2 MB of earlier output not shown]": the line that stands for dropped output.
    static QString droppedLine(qint64 bytes);
    // How many bytes 'text' takes in UTF-8, counted without converting it.
    static qint64 utf8Size(QStringView text);

    static QString formatCommandLine(const QString &binary, const QStringList &arguments);
    // "/login:user,password" becomes "/login:user,********"; other arguments are unchanged.
    static QString maskPassword(const QString &argument);

signals:
    void textAppended(const QString &text, VcsBase::VcsOutputWindow::Kind kind);
    void popupRequested();

protected:
    VcsOutputWindow() = default;

private:
    static void appendTo(const QString &text, Kind kind, bool wholeLine = true);
    void appendText(const QString &text, Kind kind, bool wholeLine);
    void trimToLimit();

    // The content in the pieces it came in (small ones joined): the oldest go whole, and
    // what is freed goes back to the system instead of staying as the spare room of one
    // enormous string.
    QList<QString> m_pieces;
    qint64 m_size = 0;
    int m_limit = 8 * 1024 * 1024;
    qint64 m_droppedBytes = 0;
    bool m_lineOpen = false; // the last text was a piece of output without its newline
};

} // namespace VcsBase
