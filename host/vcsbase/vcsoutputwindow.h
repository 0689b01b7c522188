#pragma once

#include <QObject>
#include <QStringList>

namespace VcsBase {

// The version-control output pane's content. The host's window shows it; scripted runs
// mirror it to standard output. It keeps at most historyLimit() characters, dropping the
// oldest lines, so that a command printing tens of megabytes cannot exhaust memory.
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
    // Logs a command line, with any password in a login argument masked.
    static void appendCommand(const QString &workingDirectory, const QString &binary,
                              const QStringList &arguments);

    static QString content();
    static void clearContents();
    static int historyLimit();
    static void setHistoryLimit(int characters);

    // The command line as the pane shows it.
    static QString formatCommandLine(const QString &binary, const QStringList &arguments);
    // "/login:user,password" becomes "/login:user,********"; other arguments are unchanged.
    static QString maskPassword(const QString &argument);

signals:
    void textAppended(const QString &text, VcsBase::VcsOutputWindow::Kind kind);

protected:
    VcsOutputWindow() = default;

private:
    static void appendTo(const QString &text, Kind kind);
    void appendText(const QString &text, Kind kind);
    void trimToLimit();

    QString m_content;
    int m_limit = 8 * 1024 * 1024;
};

} // namespace VcsBase
