#pragma once

#include "outcome.h"

#include <QImage>
#include <QObject>
#include <QStringList>

QT_BEGIN_NAMESPACE
class QMenu;
QT_END_NAMESPACE

namespace Workbench {

class DialogAnswerer;
class MainWindow;

// Writes to standard output at once, so that script output and the mirrored output pane
// appear in the order they happened.
void writeStandardOutput(const QString &text);
void writeStandardError(const QString &text);

// Runs a workbench script: one command a line, driving the window as a person would.
// Before a line it waits until the version-control jobs a person started have finished (and
// before a line that prints what the window shows, every job), except for "wait", "cancel"
// and the line after a "wait", so that a script can act while a job runs. The run stops at
// the first line that fails, with a message naming the line.
class ScriptRunner : public QObject
{
    Q_OBJECT
public:
    explicit ScriptRunner(MainWindow *window);

    // Prints each command line, prefixed with "> ", before running it.
    void setEcho(bool echo) { m_echo = echo; }

    // 0 when every line ran, 1 at the first failing line, 2 when the script cannot be read.
    int run(const QString &scriptFile);

    // Runs one line's words; public for the window's own use and for checking commands.
    Outcome execute(const QStringList &words);

private:
    Outcome project(const QStringList &args);
    Outcome open(const QStringList &args);
    Outcome edit(const QStringList &args);
    Outcome type(const QStringList &args);
    Outcome newFile(const QStringList &args);
    Outcome deleteFile(const QStringList &args);
    Outcome rename(const QStringList &args);
    Outcome annotate(const QStringList &args);
    Outcome trigger(const QStringList &args);
    Outcome locator(const QStringList &args);
    Outcome menu(const QStringList &args);
    Outcome options(const QStringList &args);
    Outcome wizard(const QStringList &args);
    Outcome state(const QStringList &args);
    Outcome screenshot(const QStringList &args);
    Outcome dialog(const QStringList &args);
    Outcome wait(const QStringList &args);
    Outcome cancel(const QStringList &args);
    Outcome memory(const QStringList &args);
    Outcome stalls(const QStringList &args);
    Outcome pending(const QStringList &args);
    // Every file and folder below the project, as the project tree names it.
    Outcome tree(const QStringList &args);
    Outcome history(const QStringList &args);
    Outcome annotation(const QStringList &args);
    Outcome diff(const QStringList &args);
    Outcome get(const QStringList &args);
    Outcome scroll(const QStringList &args);

    QImage menuPicture(QMenu *menu) const;
    void settle() const;
    // Lets the event loop run until no version-control job runs or waits, or, without
    // 'background', none that a person started.
    void waitForJobs(bool background = true) const;

    MainWindow *m_window;
    DialogAnswerer *m_dialogs;
    int m_line = 0;
    bool m_echo = false;
    bool m_quit = false;
    // What the next screenshot shows instead of the bare window: the last dialog as it was
    // finished, or the last printed menu opened.
    QImage m_dialogPicture;
    QString m_openMenu;
};

} // namespace Workbench
