#include "scriptrunner.h"
#include "dialoganswerer.h"
#include "editorwidget.h"
#include "heartbeat.h"
#include "locatorwidget.h"
#include "mainwindow.h"
#include "optionsdialog.h"
#include "annotateview.h"
#include "diffview.h"
#include "historyview.h"
#include "pendingchangesview.h"
#include "projectmodel.h"
#include "scriptparser.h"
#include "widgetsetter.h"

#include <core/iversionhistory.h>
#include <core/actionmanager.h>
#include <core/icore.h>
#include <core/ioptionspage.h>
#include <core/iversioncontrol.h>
#include <core/iwizard.h>
#include <extensionsystem/pluginmanager.h>
#include <vcsbase/basecheckoutwizard.h>
#include <vcsbase/jobqueue.h>
#include <vcsbase/vcsbaseplugin.h>
#include <vcsbase/vcsjob.h>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWizard>

#include <cstdio>
#include <functional>
#include <memory>

namespace Workbench {

void writeStandardOutput(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void writeStandardError(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

namespace {
const char DEFAULT_MENU[] = "TeamFoundation.Menu";

QString shown(const QString &path)
{
    return path.isEmpty() ? QStringLiteral("(none)") : QDir::toNativeSeparators(path);
}

QString withoutMnemonic(QString text)
{
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

// The menus that 'menu' is reached through, outermost first, and the menu bar they hang in.
QList<QMenu *> menuChain(QMenu *menu, QMenuBar **bar)
{
    QList<QMenu *> chain;
    *bar = nullptr;
    QMenu *current = menu;
    while (current && !chain.contains(current)) {
        chain.prepend(current);
        QMenu *parent = nullptr;
        for (QWidget *widget : current->menuAction()->associatedWidgets()) {
            if (auto m = qobject_cast<QMenu *>(widget); m && m != current)
                parent = m;
            else if (auto b = qobject_cast<QMenuBar *>(widget))
                *bar = b;
        }
        current = parent;
    }
    return chain;
}

// Whether a person can reach 'menu' now: it and every menu it hangs in are shown and enabled.
void menuReachability(QMenu *menu, bool *visible, bool *enabled)
{
    QMenuBar *bar = nullptr;
    const QList<QMenu *> chain = menuChain(menu, &bar);
    *visible = true;
    *enabled = true;
    for (QMenu *m : chain) {
        *visible = *visible && m->menuAction()->isVisible();
        *enabled = *enabled && m->menuAction()->isEnabled();
    }
}

QStringList menuLines(const QList<QAction *> &actions, bool reachable)
{
    QStringList lines;
    bool pendingSeparator = false;
    for (QAction *action : actions) {
        if (!action->isVisible())
            continue;
        // Separators collapse as the menu shows them: none first, last or twice.
        if (action->isSeparator()) {
            pendingSeparator = !lines.isEmpty();
            continue;
        }
        if (pendingSeparator) {
            lines << QStringLiteral("----");
            pendingSeparator = false;
        }
        const bool enabled = reachable && action->isEnabled();
        const QString id = action->menu() ? action->menu()->objectName() : action->objectName();
        lines << QString::fromLatin1(enabled ? "[x] " : "[ ] ") + withoutMnemonic(action->text()) +
                     QLatin1String("  (") + id + QLatin1Char(')');
    }
    return lines;
}

Outcome usage(const QString &text)
{
    return Outcome::failure(
        QCoreApplication::translate("Workbench::ScriptRunner", "usage: %1").arg(text));
}

bool splitAssignment(const QString &word, QString *name, QString *value)
{
    const int equals = word.indexOf(QLatin1Char('='));
    if (equals <= 0)
        return false;
    *name = word.left(equals);
    *value = word.mid(equals + 1);
    return true;
}
} // namespace

ScriptRunner::ScriptRunner(MainWindow *window)
    : m_window(window), m_dialogs(new DialogAnswerer(this))
{
    connect(window, &MainWindow::quitRequested, this, [this] { m_quit = true; });
}

void ScriptRunner::settle() const
{
    // Let layouts, the file model and deferred deletions catch up, as they would between
    // a person's actions.
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

void ScriptRunner::waitForJobs(bool background) const
{
    VcsBase::JobQueue *queue = VcsBase::JobQueue::instance();
    auto busy = [queue, background] {
        return queue && (background ? !queue->isIdle() : queue->hasPersonsJobs());
    };
    while (busy()) {
        QEventLoop loop;
        connect(queue, &VcsBase::JobQueue::idle, &loop, &QEventLoop::quit);
        connect(queue, &VcsBase::JobQueue::jobFinished, &loop, &QEventLoop::quit);
        if (busy())
            loop.exec();
        // What a job's end set going (a dialog that opens after a read, and the command it
        // is answered with) comes from the event loop.
        settle();
    }
}

int ScriptRunner::run(const QString &scriptFile)
{
    QFile file(scriptFile);
    if (!file.open(QIODevice::ReadOnly)) {
        writeStandardError(tr("workbench: the script %1 cannot be read: %2\n")
                               .arg(QDir::toNativeSeparators(scriptFile), file.errorString()));
        return 2;
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    settle();
    // A dialog that opened after its line (once a read had ended) and could not be answered
    // fails the line that set it going.
    auto failedLate = [&] {
        const QString late = m_dialogs->takeFailure();
        if (late.isEmpty())
            return false;
        writeStandardError(tr("%1:%2: %3\n  in: %4\n")
                               .arg(QDir::toNativeSeparators(scriptFile))
                               .arg(m_line)
                               .arg(late, lines.value(m_line - 1).trimmed()));
        return true;
    };
    bool afterWait = false;
    for (int i = 0; i < lines.size() && !m_quit; ++i) {
        QString line = lines.at(i);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        QStringList words;
        QString error;
        Outcome outcome;
        if (!splitScriptLine(line, &words, &error, environment)) {
            outcome = Outcome::failure(error);
        } else if (words.isEmpty()) {
            continue;
        } else {
            // "wait" and "cancel" act on what runs, as does the line after a "wait".
            const bool isWait = words.first() == QLatin1String("wait");
            // A person does not wait for the reads a version control makes on its own, but
            // what the window shows includes what they found.
            static const QStringList showing{"state", "pending", "tree", "menu", "screenshot",
                                             "stalls"};
            if (!isWait && !afterWait && words.first() != QLatin1String("cancel")) {
                // An answer armed waits for its dialog, which may open only once a read has
                // ended; what it was answered with runs before the next line.
                waitForJobs(showing.contains(words.first()) || !m_dialogs->armed().isEmpty());
                if (failedLate())
                    return 1;
            }
            afterWait = isWait;
            if (m_echo)
                writeStandardOutput(QLatin1String("> ") + line.trimmed() + QLatin1Char('\n'));
            m_line = i + 1;
            outcome = execute(words);
            settle();
            // A dialog that could not be answered is why the line did not do its work.
            const QString dialogFailure = m_dialogs->takeFailure();
            if (!dialogFailure.isEmpty())
                outcome = Outcome::failure(dialogFailure);
            const QImage answered = m_dialogs->takePicture();
            if (!answered.isNull())
                m_dialogPicture = answered;
        }
        if (!outcome.ok) {
            writeStandardError(tr("%1:%2: %3\n  in: %4\n")
                                   .arg(QDir::toNativeSeparators(scriptFile))
                                   .arg(i + 1)
                                   .arg(outcome.message, line.trimmed()));
            return 1;
        }
    }
    if (!m_quit)
        waitForJobs();
    if (failedLate())
        return 1;
    // An answer nobody used means the dialog the script expected never opened.
    if (!m_dialogs->armed().isEmpty()) {
        const int line = m_dialogs->armed().first().line;
        writeStandardError(tr("%1:%2: no dialog opened for the answer armed here\n  in: %3\n")
                               .arg(QDir::toNativeSeparators(scriptFile))
                               .arg(line)
                               .arg(lines.value(line - 1).trimmed()));
        return 1;
    }
    return 0;
}

Outcome ScriptRunner::execute(const QStringList &words)
{
    using Handler = Outcome (ScriptRunner::*)(const QStringList &);
    struct Entry
    {
        const char *name;
        Handler handler;
    };
    static const Entry commands[] = {
        {"project", &ScriptRunner::project},   {"open", &ScriptRunner::open},
        {"edit", &ScriptRunner::edit},         {"new", &ScriptRunner::newFile},
        {"delete", &ScriptRunner::deleteFile}, {"rename", &ScriptRunner::rename},
        {"annotate", &ScriptRunner::annotate}, {"trigger", &ScriptRunner::trigger},
        {"locator", &ScriptRunner::locator},   {"menu", &ScriptRunner::menu},
        {"options", &ScriptRunner::options},   {"wizard", &ScriptRunner::wizard},
        {"state", &ScriptRunner::state},       {"screenshot", &ScriptRunner::screenshot},
        {"wait", &ScriptRunner::wait},         {"cancel", &ScriptRunner::cancel},
        {"memory", &ScriptRunner::memory},     {"type", &ScriptRunner::type},
        {"dialog", &ScriptRunner::dialog},     {"pending", &ScriptRunner::pending},
        {"history", &ScriptRunner::history},   {"annotation", &ScriptRunner::annotation},
        {"diff", &ScriptRunner::diff},         {"get", &ScriptRunner::get},
        {"scroll", &ScriptRunner::scroll},
        {"stalls", &ScriptRunner::stalls},     {"tree", &ScriptRunner::tree},
    };
    const QString name = words.first();
    const QStringList args = words.mid(1);
    for (const Entry &entry : commands) {
        if (name != QLatin1String(entry.name))
            continue;
        const bool keepsPicture = name == QLatin1String("screenshot");
        if (!keepsPicture) {
            m_dialogPicture = QImage();
            m_openMenu.clear();
        }
        return (this->*entry.handler)(args);
    }
    QStringList known;
    for (const Entry &entry : commands)
        known << QLatin1String(entry.name);
    return Outcome::failure(tr("unknown command \"%1\"; the commands are: %2")
                                .arg(name, known.join(QLatin1String(", "))));
}

Outcome ScriptRunner::project(const QStringList &args)
{
    if (args.size() != 1)
        return usage(QStringLiteral("project DIR"));
    return m_window->openProject(m_window->resolvePath(args.at(0)));
}

Outcome ScriptRunner::open(const QStringList &args)
{
    if (args.size() != 1)
        return usage(QStringLiteral("open FILE"));
    return m_window->openFile(m_window->resolvePath(args.at(0)));
}

Outcome ScriptRunner::edit(const QStringList &args)
{
    if (args.size() != 2)
        return usage(QStringLiteral("edit FILE TEXT (quote TEXT when it holds blanks)"));
    return m_window->editFile(m_window->resolvePath(args.at(0)), args.at(1));
}

Outcome ScriptRunner::type(const QStringList &args)
{
    if (args.size() != 1)
        return usage(QStringLiteral("type TEXT (quote TEXT when it holds blanks)"));
    return m_window->typeText(args.at(0));
}

Outcome ScriptRunner::dialog(const QStringList &args)
{
    DialogAnswerer::Answer answer;
    answer.line = m_line;
    if (args == QStringList(QStringLiteral("cancel"))) {
        answer.accept = false;
    } else {
        for (const QString &assignment : args) {
            QString name;
            QString value;
            if (!splitAssignment(assignment, &name, &value))
                return usage(QStringLiteral("dialog NAME=VALUE ... | dialog cancel"));
            answer.fields.append({name, value});
        }
    }
    m_dialogs->arm(answer);
    return Outcome::success();
}

Outcome ScriptRunner::newFile(const QStringList &args)
{
    if (args.isEmpty() || args.size() > 2)
        return usage(QStringLiteral("new FILE [TEXT]"));
    return m_window->newFile(m_window->resolvePath(args.at(0)), args.value(1));
}

Outcome ScriptRunner::deleteFile(const QStringList &args)
{
    if (args.size() != 1)
        return usage(QStringLiteral("delete FILE"));
    return m_window->deleteFile(m_window->resolvePath(args.at(0)));
}

Outcome ScriptRunner::rename(const QStringList &args)
{
    if (args.size() != 2)
        return usage(QStringLiteral("rename FROM TO"));
    return m_window->renameFile(m_window->resolvePath(args.at(0)),
                                m_window->resolvePath(args.at(1)));
}

Outcome ScriptRunner::annotate(const QStringList &args)
{
    if (args.size() != 2)
        return usage(QStringLiteral("annotate FILE LINE"));
    bool ok = false;
    const int line = args.at(1).toInt(&ok);
    if (!ok)
        return Outcome::failure(tr("\"%1\" is not a line number").arg(args.at(1)));
    return m_window->annotate(m_window->resolvePath(args.at(0)), line);
}

Outcome ScriptRunner::trigger(const QStringList &args)
{
    if (args.size() != 1)
        return usage(QStringLiteral("trigger ID"));
    Core::Command *command = Core::ActionManager::command(Core::Id::fromString(args.at(0)));
    if (!command)
        return Outcome::failure(tr("no command is registered under \"%1\"").arg(args.at(0)));
    if (!command->isActive() || !command->action()->isEnabled())
        return Outcome::failure(
            tr("the command \"%1\" (%2) is disabled").arg(args.at(0), command->description()));
    command->action()->trigger();
    return Outcome::success();
}

Outcome ScriptRunner::locator(const QStringList &args)
{
    if (args.isEmpty())
        return usage(QStringLiteral("locator TEXT"));
    const QString text = args.join(QLatin1Char(' '));
    LocatorWidget *field = m_window->locator();
    field->setText(text);
    const QList<Locator::LocatorFilterEntry> entries = field->currentMatches();
    if (entries.isEmpty()) {
        field->clear();
        const QString prefix = text.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
        for (Locator::ILocatorFilter *filter :
             ExtensionSystem::PluginManager::getObjects<Locator::ILocatorFilter>()) {
            if (!filter->isEnabled() &&
                filter->shortcutString().compare(prefix, Qt::CaseInsensitive) == 0)
                return Outcome::failure(tr("the locator filter \"%1\" is disabled").arg(prefix));
        }
        return Outcome::failure(tr("the locator has no match for \"%1\"").arg(text));
    }
    QString out;
    for (int i = 0; i < entries.size(); ++i)
        out += QLatin1String(i == 0 ? "* " : "  ") + entries.at(i).displayName + QLatin1Char('\n');
    writeStandardOutput(out);
    field->acceptMatch(0);
    return Outcome::success();
}

Outcome ScriptRunner::menu(const QStringList &args)
{
    if (args.size() > 1)
        return usage(QStringLiteral("menu [ID]"));
    const QString id = args.isEmpty() ? QString::fromLatin1(DEFAULT_MENU) : args.at(0);
    Core::ActionContainer *container =
        Core::ActionManager::actionContainer(Core::Id::fromString(id));
    if (!container)
        return Outcome::failure(tr("no menu is registered under \"%1\"").arg(id));
    QStringList lines;
    if (QMenu *menu = container->menu()) {
        bool visible = true;
        bool enabled = true;
        menuReachability(menu, &visible, &enabled);
        if (!visible) {
            lines << QStringLiteral("(hidden)");
        } else {
            lines = menuLines(menu->actions(), enabled);
            m_openMenu = id;
        }
    } else if (QMenuBar *bar = container->menuBar()) {
        lines = menuLines(bar->actions(), true);
    }
    writeStandardOutput(lines.isEmpty() ? QString()
                                        : lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    return Outcome::success();
}

Outcome ScriptRunner::options(const QStringList &args)
{
    if (args.isEmpty())
        return usage(QStringLiteral("options PAGEID NAME=VALUE ..."));
    Core::IOptionsPage *page = nullptr;
    for (Core::IOptionsPage *candidate :
         ExtensionSystem::PluginManager::getObjects<Core::IOptionsPage>()) {
        if (candidate->id().toString() == args.at(0))
            page = candidate;
    }
    if (!page)
        return Outcome::failure(tr("no options page has the id \"%1\"").arg(args.at(0)));

    std::unique_ptr<OptionsDialog> dialog(new OptionsDialog(m_window));
    dialog->showPage(Core::Id(), page->id());
    QWidget *widget = dialog->widgetOf(page);
    dialog->show();
    settle();
    for (const QString &assignment : args.mid(1)) {
        QString name;
        QString value;
        if (!splitAssignment(assignment, &name, &value)) {
            dialog->reject();
            return Outcome::failure(tr("\"%1\" is not NAME=VALUE").arg(assignment));
        }
        const Outcome set = setWidgetValue(widget, name, value);
        if (!set.ok) {
            dialog->reject();
            return Outcome::failure(tr("options page %1: %2").arg(args.at(0), set.message));
        }
    }
    settle();
    const QImage picture = dialog->grab().toImage();
    dialog->accept();
    if (!Core::ICore::syncSettings())
        return Outcome::failure(Core::ICore::settingsError());
    m_dialogPicture = picture;
    return Outcome::success();
}

Outcome ScriptRunner::wizard(const QStringList &args)
{
    if (args.size() < 2)
        return usage(QStringLiteral("wizard WIZARDID PATH NAME=VALUE ..."));
    Core::IWizard *found = nullptr;
    for (Core::IWizard *candidate : ExtensionSystem::PluginManager::getObjects<Core::IWizard>()) {
        if (candidate->id().toString() == args.at(0))
            found = candidate;
    }
    if (!found)
        return Outcome::failure(tr("no wizard has the id \"%1\"").arg(args.at(0)));
    auto checkoutWizard = qobject_cast<VcsBase::BaseCheckoutWizard *>(found);
    if (!checkoutWizard)
        return Outcome::failure(
            tr("the wizard \"%1\" is not a checkout wizard; only those run from scripts")
                .arg(args.at(0)));

    const QString path = m_window->resolvePath(args.at(1));
    std::unique_ptr<QWizard> dialog(checkoutWizard->createWizardDialog(path, m_window));
    dialog->show();
    settle();
    for (const QString &assignment : args.mid(2)) {
        QString name;
        QString value;
        if (!splitAssignment(assignment, &name, &value))
            return Outcome::failure(tr("\"%1\" is not NAME=VALUE").arg(assignment));
        const Outcome set = setWidgetValue(dialog.get(), name, value);
        if (!set.ok)
            return Outcome::failure(tr("wizard %1: %2").arg(args.at(0), set.message));
    }
    settle();
    // Walk the pages as a person clicking Next would; each must be complete.
    QImage picture;
    for (int step = 0; step <= dialog->pageIds().size(); ++step) {
        QWizardPage *page = dialog->currentPage();
        if (!page)
            return Outcome::failure(tr("wizard %1 has no pages").arg(args.at(0)));
        if (!page->isComplete()) {
            QString reason;
            if (auto status = page->findChild<QLabel *>(QStringLiteral("statusLabel")))
                reason = status->text();
            const QString title =
                page->title().isEmpty() ? tr("page %1").arg(dialog->currentId()) : page->title();
            return Outcome::failure(
                tr("wizard %1: the page \"%2\" is not complete%3")
                    .arg(args.at(0), title,
                         reason.isEmpty() ? QString() : QLatin1String(": ") + reason));
        }
        picture = dialog->grab().toImage();
        if (page->nextId() == -1)
            break;
        const int before = dialog->currentId();
        dialog->next();
        settle();
        if (dialog->currentId() == before)
            return Outcome::failure(tr("wizard %1: the page \"%2\" did not accept its fields")
                                        .arg(args.at(0), page->title()));
    }
    if (!dialog->currentPage()->validatePage())
        return Outcome::failure(
            tr("wizard %1: the last page did not accept its fields").arg(args.at(0)));
    dialog->hide();
    // The checkout's jobs run through the queue as a person's would; the line waits for them.
    QEventLoop loop;
    bool ended = false;
    QString checkoutPath;
    QString error;
    checkoutWizard->startCheckout(dialog.get(), [&](const QString &path, const QString &message) {
        checkoutPath = path;
        error = message;
        ended = true;
        loop.quit();
    });
    if (!ended)
        loop.exec();
    if (checkoutPath.isEmpty())
        return Outcome::failure(tr("wizard %1: %2").arg(args.at(0), error));
    m_dialogPicture = picture;
    return Outcome::success();
}

Outcome ScriptRunner::state(const QStringList &args)
{
    if (!args.isEmpty())
        return usage(QStringLiteral("state"));
    const VcsBase::VcsBasePluginState state = VcsBase::VcsBasePlugin::globalState();
    Core::IVersionControl *vc =
        state.fileVersionControl() ? state.fileVersionControl() : state.projectVersionControl();
    QString out;
    out += tr("file: %1\n").arg(shown(m_window->currentFile()));
    out += tr("project: %1\n").arg(shown(m_window->projectDirectory()));
    QString shownVc = vc ? vc->displayName() : QStringLiteral("(none)");
    if (vc && !state.unavailableReason().isEmpty())
        shownVc += tr(" (unavailable: %1)").arg(state.unavailableReason());
    out += tr("version control: %1\n").arg(shownVc);
    out += tr("top level: %1\n").arg(shown(state.topLevel()));
    out += tr("repository: %1\n").arg(m_window->repository());
    writeStandardOutput(out);
    return Outcome::success();
}

Outcome ScriptRunner::scroll(const QStringList &args)
{
    const QStringList places{QStringLiteral("top"), QStringLiteral("up"), QStringLiteral("down"),
                             QStringLiteral("end")};
    const int to = args.size() == 2 ? places.indexOf(args.at(1)) : -1;
    if (to < 0)
        return usage(QStringLiteral("scroll NAME top|up|down|end"));
    auto area = m_window->findChild<QAbstractScrollArea *>(args.at(0));
    if (!area || !area->isVisible())
        return Outcome::failure(tr("no visible scrollable widget is named \"%1\"").arg(args.at(0)));
    // As a person would: the scroll bar moves, a page at a time for up and down.
    QScrollBar *bar = area->verticalScrollBar();
    const int page = qMax(1, bar->pageStep());
    const int values[] = {bar->minimum(), bar->value() - page, bar->value() + page, bar->maximum()};
    bar->setValue(values[to]);
    return Outcome::success();
}

Outcome ScriptRunner::wait(const QStringList &args)
{
    if (args.size() != 1)
        return usage(QStringLiteral("wait MS"));
    bool ok = false;
    const int ms = args.at(0).toInt(&ok);
    if (!ok || ms < 0)
        return Outcome::failure(tr("\"%1\" is not a number of milliseconds").arg(args.at(0)));
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return Outcome::success();
}

Outcome ScriptRunner::cancel(const QStringList &args)
{
    if (!args.isEmpty())
        return usage(QStringLiteral("cancel"));
    auto button = m_window->findChild<QAbstractButton *>(QStringLiteral("cancelJobButton"));
    if (!button || !button->isVisibleTo(m_window) || !button->isEnabled())
        return Outcome::failure(
            tr("no version-control command is running that could be cancelled"));
    button->click();
    return Outcome::success();
}

Outcome ScriptRunner::memory(const QStringList &args)
{
    if (!args.isEmpty())
        return usage(QStringLiteral("memory"));
    QFile status(QStringLiteral("/proc/self/status"));
    QString resident;
    QString peak;
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            const QString value = QString::fromLatin1(line.mid(line.indexOf(':') + 1)).trimmed();
            if (line.startsWith("VmRSS:"))
                resident = value;
            else if (line.startsWith("VmHWM:"))
                peak = value;
        }
    }
    if (resident.isEmpty() || peak.isEmpty())
        return Outcome::failure(tr("the memory use is not known on this system"));
    writeStandardOutput(tr("memory: %1 resident, %2 at most\n").arg(resident, peak));
    return Outcome::success();
}

Outcome ScriptRunner::stalls(const QStringList &args)
{
    if (!args.isEmpty())
        return usage(QStringLiteral("stalls"));
    const Heartbeat::Stalls stalls = m_window->heartbeat()->take();
    writeStandardOutput(
        tr("stalls: longest %1 ms, total %2 ms\n").arg(stalls.longestMs).arg(stalls.totalMs));
    return Outcome::success();
}

Outcome ScriptRunner::pending(const QStringList &args)
{
    if (!args.isEmpty())
        return usage(QStringLiteral("pending"));
    PendingChangesView *view = m_window->pendingChanges();
    m_window->showPendingChanges();
    QEventLoop loop;
    connect(view, &PendingChangesView::refreshFinished, &loop, &QEventLoop::quit);
    // The version control may answer before refresh() returns; otherwise the window goes on
    // while it reads.
    if (view->refresh() && view->isRefreshing())
        loop.exec();
    if (!view->errorMessage().isEmpty())
        return Outcome::failure(view->errorMessage());
    QString out;
    for (const Core::PendingChangeRow &row : view->rows()) {
        out += QLatin1String(row.candidate ? "candidate " : "") + row.changeType +
               QLatin1String("  ") + view->relativePath(row) + QLatin1Char('\n');
    }
    writeStandardOutput(out);
    return Outcome::success();
}

Outcome ScriptRunner::tree(const QStringList &args)
{
    if (!args.isEmpty())
        return usage(QStringLiteral("tree"));
    const QString root = m_window->projectDirectory();
    if (root.isEmpty())
        return Outcome::failure(tr("no project is open"));
    const ProjectModel *model = m_window->projectModel();
    const QDir project(root);
    QStringList lines;
    QDirIterator entries(root, QDir::AllEntries | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = entries.next();
        const QString folder = QFileInfo(project.relativeFilePath(path)).path();
        const QString name = model->data(model->index(path)).toString();
        lines << (folder == QLatin1String(".") ? name : folder + QLatin1Char('/') + name);
    }
    lines.sort();
    writeStandardOutput(lines.isEmpty() ? QString()
                                        : lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    return Outcome::success();
}

namespace {
// Lets the window go on until 'view' has answered what it was asked.
template <typename View> void waitForView(View *view)
{
    if (!view->isReading())
        return;
    QEventLoop loop;
    QObject::connect(view, &View::readFinished, &loop, &QEventLoop::quit);
    loop.exec();
}

// "C12" or "12".
bool changesetNumber(const QString &text, int *number)
{
    bool ok = false;
    *number =
        (text.startsWith(QLatin1Char('C'), Qt::CaseInsensitive) ? text.mid(1) : text).toInt(&ok);
    return ok && *number > 0;
}
} // namespace

Outcome ScriptRunner::history(const QStringList &args)
{
    if (args.size() != 1)
        return usage(QStringLiteral("history PATH"));
    HistoryView *view = m_window->historyView();
    m_window->showHistory(m_window->resolvePath(args.at(0)));
    waitForView(view);
    if (!view->errorMessage().isEmpty())
        return Outcome::failure(view->errorMessage());
    QString out;
    for (const Core::ChangesetInfo &changeset : view->changesets()) {
        out += QStringLiteral("C%1  %2  %3\n")
                   .arg(changeset.id)
                   .arg(changeset.user, changeset.comment.section(QLatin1Char('\n'), 0, 0));
    }
    writeStandardOutput(out);
    return Outcome::success();
}

Outcome ScriptRunner::annotation(const QStringList &args)
{
    if (args.size() != 1)
        return usage(QStringLiteral("annotation FILE"));
    AnnotateView *view = m_window->annotateView();
    m_window->showAnnotation(m_window->resolvePath(args.at(0)));
    waitForView(view);
    if (!view->errorMessage().isEmpty())
        return Outcome::failure(view->errorMessage());
    QString out;
    for (const Core::AnnotatedLine &line : view->lines()) {
        out += line.changeset > 0
                   ? QStringLiteral("C%1  %2  | %3\n").arg(line.changeset).arg(line.user, line.text)
                   : QStringLiteral("local  | %1\n").arg(line.text);
    }
    writeStandardOutput(out);
    return Outcome::success();
}

Outcome ScriptRunner::diff(const QStringList &args)
{
    if (args.isEmpty() || args.size() > 3)
        return usage(QStringLiteral("diff FILE [C1 [C2]]"));
    // The local file against the version it was got at; one version against the one before
    // it; two versions, the first against the second.
    int older = Core::IVersionHistory::WorkspaceVersion;
    int newer = Core::IVersionHistory::LocalFile;
    int first = 0;
    int second = 0;
    if (args.size() >= 2 && !changesetNumber(args.at(1), &first))
        return Outcome::failure(tr("\"%1\" is not a changeset").arg(args.at(1)));
    if (args.size() == 3 && !changesetNumber(args.at(2), &second))
        return Outcome::failure(tr("\"%1\" is not a changeset").arg(args.at(2)));
    if (args.size() == 2) {
        older = Core::IVersionHistory::PreviousVersion;
        newer = first;
    } else if (args.size() == 3) {
        older = first;
        newer = second;
    }
    DiffView *view = m_window->diffView();
    m_window->showDiff(m_window->resolvePath(args.at(0)), older, newer);
    waitForView(view);
    if (!view->errorMessage().isEmpty())
        return Outcome::failure(view->errorMessage());
    writeStandardOutput(view->unifiedText());
    return Outcome::success();
}

Outcome ScriptRunner::get(const QStringList &args)
{
    int changeset = 0;
    if (args.size() != 2)
        return usage(QStringLiteral("get PATH CHANGESET"));
    if (!changesetNumber(args.at(1), &changeset))
        return Outcome::failure(tr("\"%1\" is not a changeset").arg(args.at(1)));
    const QString path = m_window->resolvePath(args.at(0));
    Core::IVersionHistory *provider = versionHistoryFor(path);
    if (!provider)
        return Outcome::failure(tr("no version control gets versions of %1").arg(path));
    QEventLoop loop;
    int request = -1;
    QString error;
    bool answered = false;
    auto answer = [&](int which, const QString &message) {
        if (request != -1 && which != request)
            return;
        answered = true;
        error = message;
        loop.quit();
    };
    connect(provider, &Core::IVersionHistory::versionGot, &loop,
            [&](int which) { answer(which, QString()); });
    connect(provider, &Core::IVersionHistory::requestFailed, &loop, answer);
    request = provider->getVersion(path, changeset);
    if (request == 0)
        return Outcome::failure(tr("version %1 of %2 was not got").arg(changeset).arg(path));
    if (!answered)
        loop.exec();
    if (!error.isEmpty())
        return Outcome::failure(error);
    return Outcome::success();
}

QImage ScriptRunner::menuPicture(QMenu *menu) const
{
    QMenuBar *bar = nullptr;
    const QList<QMenu *> chain = menuChain(menu, &bar);
    QImage window = m_window->grab().toImage();
    struct Placed
    {
        QImage image;
        QPoint pos;
    };
    QList<Placed> placed;
    QRect bounds(QPoint(0, 0), window.size() / window.devicePixelRatio());
    QPoint pos;
    QMenu *previous = nullptr;
    for (QMenu *m : chain) {
        m->ensurePolished();
        m->resize(m->sizeHint());
        if (!previous) {
            if (bar)
                pos = bar->mapTo(m_window, bar->actionGeometry(m->menuAction()).bottomLeft());
        } else {
            pos += previous->actionGeometry(m->menuAction()).topRight();
        }
        const QImage image = m->grab().toImage();
        placed.append({image, pos});
        bounds |= QRect(pos, m->size());
        previous = m;
    }
    QImage canvas(bounds.size() * window.devicePixelRatio(), QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(window.devicePixelRatio());
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.drawImage(QPoint(0, 0), window);
    for (const Placed &p : qAsConst(placed)) {
        painter.drawImage(p.pos, p.image);
        painter.setPen(QColor(0x80, 0x80, 0x80));
        painter.drawRect(
            QRect(p.pos, p.image.size() / p.image.devicePixelRatio()).adjusted(0, 0, -1, -1));
    }
    painter.end();
    return canvas;
}

Outcome ScriptRunner::screenshot(const QStringList &args)
{
    if (args.size() != 1)
        return usage(QStringLiteral("screenshot FILE.png"));
    const QString file = m_window->resolvePath(args.at(0));
    QImage picture = m_dialogPicture;
    if (picture.isNull() && !m_openMenu.isEmpty()) {
        if (Core::ActionContainer *container =
                Core::ActionManager::actionContainer(Core::Id::fromString(m_openMenu)))
            picture = menuPicture(container->menu());
    }
    if (picture.isNull())
        picture = m_window->grab().toImage();
    if (!QDir().mkpath(QFileInfo(file).absolutePath()))
        return Outcome::failure(tr("the directory of %1 cannot be created").arg(shown(file)));
    if (!picture.save(file))
        return Outcome::failure(tr("the picture cannot be written to %1").arg(shown(file)));
    return Outcome::success();
}

} // namespace Workbench
