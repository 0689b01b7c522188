#include "commandlines.h"

#include <utils/hostosinfo.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTextCodec>
#include <QXmlStreamReader>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace TeamFoundation {
namespace Internal {
namespace CommandLines {

namespace {
const char JAVA_ARGUMENTS_VARIABLE[] = "TF_ADDITIONAL_JAVA_ARGS";
const char JAVA_ARGUMENTS[] = "-Duser.language=en -Duser.country=US -Dfile.encoding=UTF-8";
const char DIFF_COMMAND_VARIABLE[] = "TF_DIFF_COMMAND";
const char DIFF_COMMAND[] = "diff -u --label \"%6\" --label \"%7\" \"%1\" \"%2\"";

// An option as the kind spells it; the name may carry its value ("collection:URL").
QString option(ClientKind kind, const QString &name)
{
    return QLatin1Char(kind == ClientKind::VisualStudio ? '/' : '-') + name;
}

// A local path as the host system writes it. Decided at run time, unlike
// QDir::toNativeSeparators(), so that Windows' form can be checked anywhere.
QString local(const QString &path)
{
    return Utils::HostOsInfo::isWindowsHost()
               ? QString(path).replace(QLatin1Char('/'), QLatin1Char('\\'))
               : path;
}

// The option of the user commands that may ask something: tf.exe answers in dialogs of its
// own; the cross-platform client would wait for an answer on a console nobody sees.
QStringList promptOption(ClientKind kind)
{
    return {kind == ClientKind::VisualStudio ? option(kind, QStringLiteral("prompt"))
                                             : option(kind, QStringLiteral("noprompt"))};
}

// What every cross-platform command but the licence's carries: no question to a console or a
// browser nobody sees. tf.exe keeps its own lines.
QStringList noPrompt(ClientKind kind)
{
    if (kind == ClientKind::CrossPlatform)
        return {option(kind, QStringLiteral("noprompt"))};
    return {};
}

QStringList onPath(const QString &command, const QString &path)
{
    return {command, local(path)};
}

QStringList onItems(const QString &command, const QStringList &items)
{
    QStringList arguments{command};
    for (const QString &item : items)
        arguments << (item.startsWith(QLatin1Char('$')) ? item : local(item));
    return arguments;
}

// tf.exe asks for the comment itself, in the dialog that /prompt opens.
void addComment(QStringList &arguments, ClientKind kind, const QString &comment)
{
    if (asksForCheckInComment(kind) && !comment.trimmed().isEmpty())
        arguments << option(kind, QStringLiteral("comment:")) + comment;
}

void addRecursive(QStringList &arguments, ClientKind kind, bool recursive)
{
    if (recursive)
        arguments << option(kind, QStringLiteral("recursive"));
}
} // namespace

QStringList add(ClientKind kind, const QString &file)
{
    return onPath(QStringLiteral("add"), file) + noPrompt(kind);
}

QStringList remove(ClientKind kind, const QString &file)
{
    return onPath(QStringLiteral("delete"), file) + noPrompt(kind);
}

QStringList rename(ClientKind kind, const QString &from, const QString &to)
{
    return QStringList{QStringLiteral("rename"), local(from), local(to)} + noPrompt(kind);
}

QStringList checkout(ClientKind kind, const QString &file)
{
    return onPath(QStringLiteral("checkout"), file) + noPrompt(kind);
}

QStringList annotate(ClientKind, const QString &file)
{
    return onPath(QStringLiteral("annotate"), file);
}

QStringList checkIn(ClientKind kind, const QString &path, bool recursive, const QString &comment)
{
    QStringList arguments = onPath(QStringLiteral("checkin"), path);
    addComment(arguments, kind, comment);
    arguments << promptOption(kind);
    addRecursive(arguments, kind, recursive);
    return arguments;
}

QStringList checkInItems(ClientKind kind, const QStringList &items, const QString &comment)
{
    QStringList arguments = onItems(QStringLiteral("checkin"), items);
    addComment(arguments, kind, comment);
    return arguments << promptOption(kind);
}

QStringList difference(ClientKind kind, const QString &path, bool recursive)
{
    QStringList arguments = onPath(QStringLiteral("difference"), path);
    // tf.exe shows them in its own window.
    if (!printsDifferences(kind))
        arguments << option(kind, QStringLiteral("format:Visual"));
    arguments << promptOption(kind);
    addRecursive(arguments, kind, recursive);
    return arguments;
}

QStringList get(ClientKind kind, const QString &path, bool recursive)
{
    QStringList arguments = onPath(QStringLiteral("get"), path) + promptOption(kind);
    addRecursive(arguments, kind, recursive);
    return arguments;
}

QStringList history(ClientKind kind, const QString &path, bool recursive)
{
    QStringList arguments = onPath(QStringLiteral("history"), path) + promptOption(kind);
    addRecursive(arguments, kind, recursive);
    return arguments;
}

QStringList undo(ClientKind kind, const QString &path, bool recursive)
{
    QStringList arguments = onPath(QStringLiteral("undo"), path) + noPrompt(kind);
    addRecursive(arguments, kind, recursive);
    return arguments;
}

QStringList undoItems(ClientKind kind, const QStringList &items)
{
    return onItems(QStringLiteral("undo"), items) + noPrompt(kind);
}

QStringList info(ClientKind kind, const QString &path)
{
    return onPath(QStringLiteral("info"), path) + noPrompt(kind);
}

QStringList status(ClientKind kind, const QString &path)
{
    return onPath(QStringLiteral("status"), path)
           << option(kind, QStringLiteral("recursive"))
           << option(kind, QStringLiteral("format:xml")) << noPrompt(kind);
}

QStringList newWorkspace(ClientKind kind, const QString &name, const QString &collection)
{
    QStringList arguments{QStringLiteral("workspace"), option(kind, QStringLiteral("new")), name};
    // An empty collection means the default one, which the client chooses when the option is
    // absent; the option with nothing behind it would be refused.
    if (!collection.isEmpty())
        arguments << option(kind, QStringLiteral("collection:")) + collection;
    return arguments + noPrompt(kind);
}

QStringList mapFolder(ClientKind kind, const QString &serverPath, const QString &localPath,
                      const QString &collection, const QString &workspace)
{
    QStringList arguments{QStringLiteral("workfold"), option(kind, QStringLiteral("map")),
                          serverPath, local(localPath)};
    if (!collection.isEmpty())
        arguments << option(kind, QStringLiteral("collection:")) + collection;
    if (!workspace.isEmpty())
        arguments << option(kind, QStringLiteral("workspace:")) + workspace;
    return arguments + noPrompt(kind);
}

QStringList getFolder(ClientKind kind, const QString &directory)
{
    return QStringList{QStringLiteral("get"), local(directory),
                       option(kind, QStringLiteral("recursive"))} +
           noPrompt(kind);
}

QStringList workspaces(ClientKind kind, const QString &collection)
{
    return QStringList{QStringLiteral("workspaces"), option(kind, QStringLiteral("format:xml")),
                       option(kind, QStringLiteral("collection:")) + collection} +
           noPrompt(kind);
}

bool listsWorkspace(const QString &output, const QString &name, const QString &computer)
{
    // The cross-platform client may say first, in a line of text, that it found none.
    int start = output.indexOf(QLatin1String("<?xml"));
    if (start < 0)
        start = output.indexOf(QLatin1Char('<'));
    if (start < 0)
        return false;
    QXmlStreamReader reader(output.mid(start));
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        // "workspace" of the cross-platform client, "Workspace" of tf.exe.
        if (reader.name().compare(QLatin1String("workspace"), Qt::CaseInsensitive) != 0)
            continue;
        const QXmlStreamAttributes attributes = reader.attributes();
        const QStringRef itsComputer = attributes.value(QLatin1String("computer"));
        if (attributes.value(QLatin1String("name")).compare(name, Qt::CaseInsensitive) == 0 &&
            (itsComputer.isEmpty() || itsComputer.compare(computer, Qt::CaseInsensitive) == 0))
            return true;
    }
    return false;
}

QString computerName()
{
    return QSysInfo::machineHostName().section(QLatin1Char('.'), 0, 0);
}

QString defaultWorkspaceName()
{
    return computerName();
}

bool needsLicence(ClientKind kind)
{
    return kind == ClientKind::CrossPlatform;
}

QStringList licence(ClientKind)
{
    return {QStringLiteral("eula")};
}

QStringList acceptLicence(ClientKind kind)
{
    // Never with "-noprompt", which the licence command refuses.
    return {QStringLiteral("eula"), option(kind, QStringLiteral("accept"))};
}

QString licenceText(const QString &output)
{
    QStringList lines = output.split(QLatin1Char('\n'));
    // The closing question waits for its answer on the same line: the only line not ended.
    lines.removeLast();
    QStringList text;
    for (const QString &line : qAsConst(lines)) {
        // The pager stops after each page with an empty line and its prompt.
        if (line.trimmed() == QLatin1String("-- Press enter to continue --")) {
            if (!text.isEmpty() && text.constLast().trimmed().isEmpty())
                text.removeLast();
            continue;
        }
        text << line;
    }
    while (!text.isEmpty() && text.constLast().trimmed().isEmpty())
        text.removeLast();
    return text.join(QLatin1Char('\n'));
}

bool licenceAccepted(int exitCode, const QString &stdErr)
{
    return exitCode == 0 ||
           (exitCode == 1 && stdErr.contains(QLatin1String("already accepted the terms")));
}

bool licenceRecordedAsNotAccepted(ClientKind kind, const QProcessEnvironment &environment)
{
    if (!needsLicence(kind))
        return false;
    if (environment.value(QLatin1String(JAVA_ARGUMENTS_VARIABLE))
            .contains(QLatin1String("-Dcom.microsoft.tfs.client.eulaAccepted=true"),
                      Qt::CaseInsensitive))
        return false;
    // Where the client keeps its settings: a profile folder given to it, else the user's.
    QString profile = environment.value(QStringLiteral("TEE_PROFILE_DIRECTORY"));
    if (profile.isEmpty() || QDir::isRelativePath(profile)) {
        if (Utils::HostOsInfo::isWindowsHost()) {
            const QString local = environment.value(QStringLiteral("LOCALAPPDATA"));
            if (local.isEmpty())
                return false;
            profile = local + QLatin1String("/Microsoft/Team Foundation/4.0");
        } else if (Utils::HostOsInfo::hostOs() == Utils::HostOsInfo::HostOsMac) {
            profile = QDir::homePath() +
                      QLatin1String("/Library/Application Support/Microsoft/Team Foundation/4.0");
        } else {
            profile = QDir::homePath() + QLatin1String("/.microsoft/Team Foundation/4.0");
        }
    }
    QFile record(
        profile +
        QLatin1String("/Configuration/TEE-Mementos/com.microsoft.tfs.client.productid.xml"));
    if (!record.exists())
        return true;
    if (!record.open(QIODevice::ReadOnly))
        return false;
    // <eula-14.0 value="true"/>, or with an end tag; any case of "true".
    static const QRegularExpression accepted(
        QStringLiteral("<eula-14\\.0\\s[^>]*value\\s*=\\s*[\"']true[\"']"),
        QRegularExpression::CaseInsensitiveOption);
    return !accepted.match(QString::fromUtf8(record.readAll())).hasMatch();
}

bool sendsLogin(const QString &command)
{
    return command != QLatin1String("eula");
}

Failure failureOf(int exitCode, const QString &stdErr)
{
    if (exitCode == 0)
        return Failure::None;
    if (stdErr.contains(QLatin1String("You must accept the End User License Agreement")))
        return Failure::LicenceNotAccepted;
    static const char *const notInWorkspace[] = {
        // The cross-platform client, of a path in no workspace it knows.
        "The Team Foundation Server project collection URL to use could not be determined",
        "The workspace could not be determined from any argument paths or the current working "
        "directory.",
        // Both clients, of a local path outside every working folder.
        "There is no working folder mapping for",
        // tf.exe, of a path in no workspace.
        "Unable to determine the workspace"};
    for (const char *answer : notInWorkspace) {
        if (stdErr.contains(QLatin1String(answer)))
            return Failure::NotInWorkspace;
    }
    return Failure::Other;
}

bool mayPartlySucceed(const QString &command)
{
    return command == QLatin1String("get") || command == QLatin1String("undo");
}

QString login(ClientKind kind, const QString &userName, const QString &password)
{
    if (userName.isEmpty() || password.isEmpty())
        return QString();
    return option(kind, QStringLiteral("login:%1,%2")).arg(userName, password);
}

bool changesPendingChanges(const QString &command)
{
    static const QStringList looking{QStringLiteral("history"), QStringLiteral("difference"),
                                     QStringLiteral("annotate"), QStringLiteral("info"),
                                     QStringLiteral("status")};
    return !looking.contains(command);
}

bool asksForCheckInComment(ClientKind kind)
{
    return kind == ClientKind::CrossPlatform;
}

bool printsDifferences(ClientKind kind)
{
    return kind == ClientKind::CrossPlatform;
}

bool asksInItsOwnDialog(ClientKind kind, const QStringList &arguments)
{
    if (kind != ClientKind::VisualStudio)
        return false;
    // The Power Tools show the annotation in a window of their own.
    if (arguments.value(0) == QLatin1String("annotate"))
        return true;
    // The first two words are the command and its path; the options follow.
    return arguments.mid(2).contains(option(kind, QStringLiteral("prompt")));
}

QProcessEnvironment environment(ClientKind kind, const QString &command,
                                const QProcessEnvironment &system)
{
    if (kind == ClientKind::VisualStudio)
        return QProcessEnvironment();
    QProcessEnvironment result = system;
    // Added to what the user has, so that their own Java options (memory, proxies) stay.
    const QString java = QLatin1String(JAVA_ARGUMENTS_VARIABLE);
    const QString userJava = system.value(java).trimmed();
    result.insert(java, userJava.isEmpty()
                            ? QLatin1String(JAVA_ARGUMENTS)
                            : userJava + QLatin1Char(' ') + QLatin1String(JAVA_ARGUMENTS));
    const QString diff = QLatin1String(DIFF_COMMAND_VARIABLE);
    if (command == QLatin1String("difference") && system.value(diff).trimmed().isEmpty())
        result.insert(diff, QLatin1String(DIFF_COMMAND));
    return result;
}

QTextCodec *outputCodec(ClientKind kind, bool windowsHost, int consoleCodePage)
{
    QTextCodec *utf8 = QTextCodec::codecForName("UTF-8");
    if (kind != ClientKind::VisualStudio || !windowsHost || consoleCodePage <= 0)
        return utf8;
    if (consoleCodePage == 65001)
        return utf8;
    for (const char *pattern : {"CP%1", "windows-%1", "IBM%1"}) {
        if (QTextCodec *codec = QTextCodec::codecForName(
                QString::fromLatin1(pattern).arg(consoleCodePage).toLatin1()))
            return codec;
    }
    // A code page Qt does not know: UTF-8 at least keeps the ASCII of paths and messages.
    return utf8;
}

int consoleCodePage()
{
#ifdef Q_OS_WIN
    const UINT console = GetConsoleOutputCP();
    return int(console ? console : GetOEMCP());
#else
    return 0;
#endif
}

QStringList historyRead(ClientKind kind, const QString &path, bool recursive, int olderThan,
                        int count, bool followRenames)
{
    QStringList arguments{QStringLiteral("history"),
                          path.startsWith(QLatin1Char('$')) ? path : local(path)};
    arguments << option(kind, kind == ClientKind::VisualStudio ? QStringLiteral("format:detailed")
                                                               : QStringLiteral("format:xml"))
              << option(kind, QStringLiteral("noprompt"));
    if (olderThan > 1)
        arguments << option(kind, QStringLiteral("version:C1~C%1").arg(olderThan - 1));
    if (count > 0)
        arguments << option(kind, QStringLiteral("stopafter:%1").arg(count));
    addRecursive(arguments, kind, recursive);
    // The client ignores item mode for a recursive history, and says so.
    if (followRenames && !recursive)
        arguments << option(kind, QStringLiteral("itemmode"));
    return arguments;
}

QStringList printVersion(ClientKind kind, const QString &serverItem, int changeset,
                         const QString &outputFile)
{
    const QString version = option(kind, QStringLiteral("version:C%1").arg(changeset));
    // The cross-platform client takes no -noprompt from the command file: each line says it.
    if (kind == ClientKind::VisualStudio)
        return {QStringLiteral("view"), serverItem, version,
                option(kind, QStringLiteral("output:")) + local(outputFile),
                option(kind, QStringLiteral("noprompt"))};
    return {QStringLiteral("print"), serverItem, version, option(kind, QStringLiteral("noprompt"))};
}

QStringList getVersion(ClientKind kind, const QString &path, bool recursive, int changeset)
{
    QStringList arguments = onPath(QStringLiteral("get"), path);
    // The person chose the version in the IDE; nothing is left for the client to ask.
    arguments << option(kind, QStringLiteral("version:C%1").arg(changeset))
              << option(kind, QStringLiteral("noprompt"));
    addRecursive(arguments, kind, recursive);
    return arguments;
}

} // namespace CommandLines
} // namespace Internal
} // namespace TeamFoundation
