// The stand-in `tf` and `tfpt`: what they take and how they answer.
//
// Grammar. By default both speak the cross-platform client's grammar, as the
// only real client on Linux and macOS does: options start with "-" only, a word
// starting with "/" is an item (a path), option names end at the first ":" and
// are matched without regard to case, with its short forms (-r, -w, -y, -h, -?)
// and no others; empty words are passed over. There is no -prompt, and
// difference has no -format. A command line it refuses (an unknown command or
// option, one the command does not take, a missing or surplus value) is said
// on standard error in that client's words ("An argument error occurred: ..."),
// the command's usage follows on standard output, and the exit code is 100.
// With TF_STANDIN_GRAMMAR=tf.exe they speak Windows' tf.exe grammar instead:
// "/" and "-" options (an absolute path that names something on disk, or has
// a second "/", stays a path), the short forms /r /i /c /s /server /f, /prompt,
// difference /format:Visual|Unified printing a unified diff, status
// /format:xml in tf.exe's layout, and exit code 2 for a usage error.
//
// The client's own files. Like the cross-platform client, the stand-in keeps
// which local directories belong to which workspace in the workspace cache,
// Cache/VersionControl.config of the profile folder (TEE_PROFILE_DIRECTORY,
// else the client's folder in the home directory; TFSVC_CACHE_DIR names the
// cache's directory instead), in that client's layout and under its lock. A
// command finds its workspace there as the client does: the workspace named
// by -workspace:, else the one whose mapped path holds the first local item,
// else the current directory. In the cross-platform grammar every command
// that would contact a server first needs the licence accepted in the profile
// folder (`tf eula`, `tf eula -accept`, or the JVM property
// -Dcom.microsoft.tfs.client.eulaAccepted=true in TF_ADDITIONAL_JAVA_ARGS), and
// then a workspace or -collection: to know its server; with neither it fails
// in the client's words. The cross-platform client has no default collection.
//
// Environment:
//   TF_SERVER              the server (a directory or file:// URL) of seed, init and
//                          useradd, and in the tf.exe grammar of every command,
//                          when no -collection: is given; else one in the data directory
//   TF_STANDIN_GRAMMAR     tf.exe: the grammar above; unset, empty or cross-platform:
//                          the cross-platform client's
//   TF_STANDIN_CANDIDATES  1: status -format:xml lists candidates (see Status below)
//   TF_STANDIN_STARTUP_MS  sleep this many milliseconds at start, before reading
//                          the arguments or standard input, as a real client's
//                          start-up (a JVM plus a server round trip) would take
//   TEE_PROFILE_DIRECTORY, TFSVC_CACHE_DIR, TF_ADDITIONAL_JAVA_ARGS: as above
//   TF_DIFF_COMMAND        cross-platform difference: the compare tool, run once per
//                          changed file without a shell. Its value is split into
//                          words (double quotes group); in each word %1 and %2 are
//                          the two files (the base version in a temporary file, the
//                          local file) and %6 and %7 their labels ("$/P/f.cpp;C3",
//                          the local path). Its output and error are tf's own and
//                          its exit code is not tf's. Unset or empty: exit 100.
//
// Exit codes: 0 success, 1 partial success (some items failed), 100 nothing
// succeeded (also: no workspace for the path; with the cross-platform grammar,
// also a usage error), 2 a usage error with the tf.exe grammar. `tfpt` without
// arguments prints its usage and exits 2. `info` of an item in a workspace that
// is not on the server prints "No items match LOCAL-PATH" and exits 0 with the
// cross-platform grammar, 100 with tf.exe's; of an item outside the workspace's
// mappings it exits 1 with the cross-platform grammar. -exitcode prints "ExitCode: N"
// and an empty line after the command's output.
//
// Help: `tf`, `tf help`, `tf -h`, `tf -help`, `tf -?` (and /?, --help with
// tf.exe's grammar) print the whole usage and exit 0; `tf help COMMAND` and
// -help with a command that command's.
//
// Command files: `tf @` (and `tfpt @`) read one command line per line from
// standard input, `tf @FILE` from FILE (see splitCommandLine() for the
// quoting), and run each in turn as if given as arguments: each takes and
// releases the server's lock on its own, and its output is flushed before the
// next line is read, so a `tf @` waiting for its line holds no lock. Blank
// lines, and lines starting (after blanks) with "#" or "rem ", are skipped;
// %1, %2 ... stand for the words after the @ on the command line. A failing
// command ends the run with its exit code, unless -continueOnError is on the
// outer command line: then the run goes on and exits 1 if any line failed.
// -outputSeparator:TEXT on the outer command line prints TEXT and a line break
// on both streams after each command's output (where that output ends, even
// without a line break). In the cross-platform grammar a run that executes no
// line (no input, only comments, no such file) exits 255, as that client's does.
//
// Check-in comments: -comment:TEXT, or -comment:@FILE for the content of FILE,
// kept exactly (line breaks included).
//
// Status: -format:xml prints the pending changes as XML (just <status/> when
// there are none). The real cross-platform client also lists candidates, the
// changes it detects on disk, but only for a local workspace, which the
// stand-in does not keep; with TF_STANDIN_CANDIDATES=1 the stand-in lists them
// as that client would (files neither on the server nor pending: add; files of
// the workspace missing on disk and not pending: delete), so that what an IDE
// does with them can be tried; -nodetect leaves them out. -format:brief or
// detailed, or none, prints the table.

#include "commands.h"
#include "arguments.h"
#include "commandline.h"
#include "history.h"
#include "licence.h"
#include "serverstore.h"
#include "textdiff.h"
#include "tferror.h"
#include "workspace.h"
#include "workspacecache.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QLocale>
#include <QVariant>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryFile>
#include <QTextCodec>
#include <QThread>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>
#include <string>

#include <sys/ioctl.h>
#include <unistd.h>

namespace Tf {
namespace {

const char serverEnvironmentVariable[] = "TF_SERVER";
const char startupEnvironmentVariable[] = "TF_STANDIN_STARTUP_MS";
const char candidatesEnvironmentVariable[] = "TF_STANDIN_CANDIDATES";
const char diffCommandEnvironmentVariable[] = "TF_DIFF_COMMAND";

void writeOut(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void writeErr(const QString &text)
{
    const QByteArray bytes = (text.endsWith('\n') ? text : text + '\n').toUtf8();
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

QString padded(const QString &text, int width)
{
    return text.leftJustified(width, ' ');
}

const QFileDevice::Permissions readOnlyPermissions =
    QFileDevice::ReadOwner | QFileDevice::ReadUser | QFileDevice::ReadGroup | QFileDevice::ReadOther;
const QFileDevice::Permissions writablePermissions =
    readOnlyPermissions | QFileDevice::WriteOwner | QFileDevice::WriteUser;

void setWritable(const QString &path, bool writable)
{
    QFile::setPermissions(path, writable ? writablePermissions : readOnlyPermissions);
}

QByteArray readLocalFile(const QString &path)
{
    bool ok = false;
    const QByteArray data = ServerStore::readFile(path, &ok);
    if (!ok)
        fail(QString("Cannot read %1.").arg(path));
    return data;
}

// Workspace files are replaced atomically: a get that fails half-way never
// leaves a truncated file behind.
void writeLocalFile(const QString &path, const QByteArray &content)
{
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(dir))
        fail(QString("Cannot create the directory %1.").arg(dir));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        fail(QString("Cannot write %1: %2").arg(path, file.errorString()));
    setWritable(path, false);
}

QString systemUserName()
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    return user.isEmpty() ? QString("user") : user;
}

QString defaultWorkspaceName()
{
    QString name = QSysInfo::machineHostName().section('.', 0, 0);
    name.replace(QRegExp("[^A-Za-z0-9_-]"), "-");
    return Workspace::isValidName(name) ? name : QString("default");
}

struct CommandSpec;

// One run of a command: its arguments, and the server and workspace it
// opens on demand. The store's lock is held from opening to the end of the run.
class Client
{
public:
    Client(Tool tool, Grammar grammar, const QStringList &args)
        : m_tool(tool), m_grammar(grammar), m_rawArgs(args)
    {}
    int run();

    int info();
    int get();
    int add();
    int remove();
    int rename();
    int checkout();
    int checkin();
    int undo();
    int history();
    int print();
    int view();
    int difference();
    int status();
    int workspace();
    int workspaces();
    int workfold();
    int seed();
    int init();
    int useradd();
    int annotate();
    int help();
    int eula();

private:
    int runCommand();

    struct Target
    {
        QString server;
        QString local;
    };
    // The two sides of a compare: contents and the labels a reader sees.
    struct DiffSides
    {
        QString oldLabel;
        QByteArray oldContent;
        QString newLabel;
        QByteArray newContent;
        QString newFile; // the local file holding newContent, if there is one
    };

    QString localPath(const QString &operand) const;
    QString storeDirectoryFromOptions() const;
    QString collectionUri() const;
    ServerStore &openStore(const QString &directory);
    void authenticate();
    void connect(bool needsWorkspace);
    bool findCachedWorkspace(CachedWorkspace *found) const;
    const QVector<CachedWorkspace> &cachedWorkspaces() const;
    Workspace &openCachedWorkspace(const CachedWorkspace &cached);
    [[noreturn]] void failNoMapping(const QString &path) const;
    Workspace &workspaceForLocalPath(const QString &localPath);
    Workspace *workspaceForWorkingDirectory();
    Workspace &requireWorkspace();
    Target resolve(const QString &operand);
    QStringList requireOperands(int minimum, int maximum = -1) const;
    int forEachOperand(const std::function<void(const QString &)> &action);
    QVector<PendingChange> pendingInScope(const QStringList &operands, bool recursive);

    void getItem(const QString &serverPath, bool recursive);
    // One line for an item a command changed: `text` with %1 its name.
    void writeItemLine(const QString &local, const QString &text);
    void writeGetLine(const QString &local, const QString &text);
    // 'local' as the clients show it: from the current directory when below it.
    QString fromCurrentDirectory(const QString &local) const;
    void conflict(const QString &message);
    QString workspaceCreated(const QString &name, const ServerStore &store) const;
    void addItem(const QString &serverPath, const QString &local, bool recursive);
    void addMissingParents(const QString &serverPath);
    void deleteItem(const QString &serverPath);
    void undoChange(const PendingChange &change);
    DiffSides diffSides(const PendingChange &change);
    void runCompareTool(const QStringList &command, const DiffSides &sides);
    QString checkinComment() const;
    void detectCandidates(const QString &server, const QString &local, bool recursive,
                          QVector<PendingChange> &candidates);
    QByteArray statusXml(const QVector<PendingChange> &pending, const QVector<PendingChange> &candidates);
    QByteArray tfExeStatusXml(const QVector<PendingChange> &pending);
    QVector<ItemVersion> versionChain(const ItemRecord &record, int upTo) const;
    QString ownerOf(int changeset);
    // The content of the file 'item' names at 'version' (an empty one: the latest).
    QByteArray fileContent(const QString &item, const QString &version);

    Tool m_tool;
    Grammar m_grammar;
    QStringList m_rawArgs;
    QString m_command;
    Arguments m_args;
    QString m_cwd;
    // The folder of the item last printed, which the next one's heading follows, and how
    // many items were printed.
    QString m_itemFolder;
    int m_itemLines = 0;
    std::unique_ptr<ServerStore> m_store;
    std::unique_ptr<Workspace> m_workspace;
    // The collection as given, or as the workspace cache names it: what the
    // cache records for the workspaces of this server.
    QString m_server;
    // The workspace the command found in the cache, if any.
    std::unique_ptr<CachedWorkspace> m_cached;
    // The cache as this command read it: a command on many items reads it once.
    mutable std::unique_ptr<QVector<CachedWorkspace>> m_cache;
    QString m_owner;
    int m_conflicts = 0;
    int m_updates = 0;
    QHash<int, QString> m_owners;
    int m_getVersion = 0; // get -version: the changeset asked for; 0: the latest
    // The item as get sees it: its versions up to the one asked for.
    ItemRecord itemToGet(const QString &serverPath) const;
};

struct CommandSpec
{
    Tool tool;
    QString name;
    QStringList aliases;
    QStringList options;
    int (Client::*run)();
    QString usage;
    QStringList tfExeOptions = {}; // taken only in the tf.exe grammar
    QString tfExeUsage = {};       // what those add to the usage
};

// The options every command takes. The cross-platform client's include the
// outer options of a command file, which each line may repeat and which have
// no effect there.
const QStringList globalOptions = {"login", "noprompt", "collection"};
const QStringList crossPlatformGlobalOptions = {"workspace", "exitcode", "help", "nosummary",
                                                "continueonerror", "outputseparator"};
const QStringList tfExeGlobalOptions = {"prompt"};

// Which commands of the cross-platform client contact a server, and so need
// the licence and a server: those that need a workspace fail without one in
// the cache; the others fail only when neither a workspace nor -collection:
// names the server. The rest (help, eula, the stand-in's own server commands,
// workspaces, which decides for itself) read no server of the client's.
enum class Contact { None, Collection, Workspace };

Contact contactOf(const QString &command)
{
    static const QHash<QString, Contact> contacts = {
        {"add", Contact::Workspace},       {"checkin", Contact::Workspace},
        {"checkout", Contact::Workspace},  {"delete", Contact::Workspace},
        {"difference", Contact::Workspace}, {"get", Contact::Workspace},
        {"rename", Contact::Workspace},    {"undo", Contact::Workspace},
        {"workfold", Contact::Workspace},  {"history", Contact::Collection},
        {"info", Contact::Collection},     {"status", Contact::Collection},
        {"workspace", Contact::Collection}, {"print", Contact::Collection},
    };
    return contacts.value(command, Contact::None);
}

const QVector<CommandSpec> &commands()
{
    static const QVector<CommandSpec> table = {
        {Tool::Tf, "add", {}, {"recursive"}, &Client::add, "add ITEM... [-recursive]"},
        {Tool::Tf, "checkin", {"ci"}, {"recursive", "comment"}, &Client::checkin,
         "checkin [ITEM...] [-recursive] [-comment:TEXT | -comment:@FILE]"},
        {Tool::Tf, "checkout", {"edit"}, {"recursive"}, &Client::checkout, "checkout ITEM... [-recursive]"},
        {Tool::Tf, "delete", {"del"}, {"recursive"}, &Client::remove, "delete ITEM..."},
        {Tool::Tf, "difference", {"diff"}, {"recursive"}, &Client::difference,
         "difference [ITEM...] [-recursive]", {"format"}, " [-format:Visual|Unified]"},
        {Tool::Tf, "get", {}, {"recursive", "version"}, &Client::get,
         "get [ITEM...] [-recursive] [-version:VERSION]"},
        {Tool::Tf, "history", {"hist"},
         {"recursive", "format", "stopafter", "version", "itemmode", "slotmode", "user"},
         &Client::history,
         "history ITEM[;VERSION] [-recursive] [-format:brief|detailed|xml] [-stopafter:N]\n"
         "          [-version:VERSION|FROM~TO] [-itemmode|-slotmode] [-user:NAME]"},
        {Tool::Tf, "print", {"cat"}, {"version"}, &Client::print,
         "print ITEM[;VERSION] [-version:VERSION]   (the cross-platform client)"},
        {Tool::Tf, "view", {}, {}, &Client::view,
         "view ITEM[;VERSION]   (tf.exe)", {"version", "output", "console"},
         " [/version:VERSION] [/output:FILE] [/console]"},
        {Tool::Tf, "info", {}, {"recursive"}, &Client::info, "info ITEM..."},
        {Tool::Tf, "rename", {"ren", "move"}, {}, &Client::rename, "rename OLD NEW"},
        {Tool::Tf, "status", {"stat"}, {"recursive", "format", "nodetect"}, &Client::status,
         "status [ITEM...] [-recursive] [-format:brief|detailed|xml] [-nodetect]"},
        {Tool::Tf, "undo", {}, {"recursive"}, &Client::undo, "undo ITEM... [-recursive]"},
        {Tool::Tf, "workfold", {}, {"map", "unmap", "workspace"}, &Client::workfold,
         "workfold [-map SERVERPATH LOCALPATH | -unmap LOCALPATH] [-workspace:NAME]"},
        {Tool::Tf, "workspace", {}, {"new", "delete", "comment"}, &Client::workspace,
         "workspace -new NAME | -delete NAME [-comment:TEXT]"},
        {Tool::Tf, "workspaces", {}, {"format", "remove"}, &Client::workspaces,
         "workspaces [NAME] [-format:brief|xml] | -remove:NAME[,NAME...]|*"},
        {Tool::Tf, "seed", {}, {}, &Client::seed, "seed   (a new server with the sample project $/Demo/App)"},
        {Tool::Tf, "init", {}, {}, &Client::init, "init   (a new, empty server)"},
        {Tool::Tf, "useradd", {}, {}, &Client::useradd, "useradd NAME PASSWORD"},
        {Tool::Tf, "help", {}, {}, &Client::help, "help [COMMAND]"},
        {Tool::Tf, "eula", {}, {"accept"}, &Client::eula, "eula [-accept]   (cross-platform grammar)"},
        {Tool::PowerTools, "annotate", {}, {}, &Client::annotate, "annotate FILE"},
        {Tool::PowerTools, "help", {}, {}, &Client::help, "help [COMMAND]"},
    };
    return table;
}

const CommandSpec *findCommand(Tool tool, const QString &name)
{
    const QString lower = name.toLower();
    for (const CommandSpec &s : commands()) {
        if (s.tool == tool && (s.name == lower || s.aliases.contains(lower)))
            return &s;
    }
    return nullptr;
}

QString toolName(Tool tool)
{
    return tool == Tool::Tf ? QString("tf") : QString("tfpt");
}

QString commandUsage(const CommandSpec &command, Grammar grammar)
{
    return command.usage + (grammar == Grammar::TfExe ? command.tfExeUsage : QString());
}

QString usage(Tool tool, Grammar grammar)
{
    const QString options = QString("[-login:USER,PASSWORD] [-collection:DIR|file://URL] [-noprompt]")
        + (grammar == Grammar::TfExe ? " [-prompt]" : " [-workspace:NAME]");
    QString text = QString("Usage: %1 COMMAND [ARGUMENTS] %2\n       %1 @   (commands from standard input)\n\n")
                       .arg(toolName(tool), options);
    if (tool == Tool::Tf) {
        text += grammar == Grammar::TfExe
            ? QString("A local stand-in for the Team Foundation version control client. The server\n"
                      "is the directory given by -collection:, else $%1, else a directory in the\n"
                      "user's data directory.\n\n")
                  .arg(serverEnvironmentVariable)
            : QString("A local stand-in for the Team Foundation version control client. The server\n"
                      "is the directory given by -collection:, else that of the workspace found in\n"
                      "the workspace cache of the profile folder ($TEE_PROFILE_DIRECTORY). Commands\n"
                      "that reach a server need the licence accepted first (tf eula).\n\n");
    }
    text += grammar == Grammar::TfExe
        ? QString("Options start with / or - (the tf.exe grammar, chosen by TF_STANDIN_GRAMMAR=tf.exe).\n")
        : QString("Options start with -; a word starting with / is an item. TF_STANDIN_GRAMMAR=tf.exe\n"
                  "makes / options, /prompt and difference /format work, as with tf.exe.\n");
    text += "\nCommands:\n";
    for (const CommandSpec &command : commands()) {
        if (command.tool == tool && !(command.name == "eula" && grammar == Grammar::TfExe))
            text += "  " + commandUsage(command, grammar) + '\n';
    }
    text += QString("\nEnvironment:\n"
                    "  %1=N  wait N ms at start, like a real client's start-up\n")
                .arg(startupEnvironmentVariable);
    if (tool == Tool::Tf) {
        // Not through arg(): the example's own %1 and %2 must stay.
        text += QString("  ") + diffCommandEnvironmentVariable
            + "  the compare tool of difference (without the tf.exe grammar),\n"
              "      e.g. diff -u --label \"%6\" --label \"%7\" \"%1\" \"%2\"\n";
    }
    text += QString("\nExit codes: 0 success, 1 partial success, 100 failure%1.\n")
                .arg(grammar == Grammar::TfExe ? ", 2 unrecognized command or option" : "");
    text += QString("\n%1 @ reads one command line per line from standard input, %1 @FILE from FILE\n"
                    "(blanks separate words; a word with blanks or quotes is in double quotes, a\n"
                    "quote in it doubled; lines starting with # or rem are skipped) and exits with\n"
                    "the code of the first command that failed, else 0.%2\n")
                .arg(toolName(tool),
                     grammar == Grammar::TfExe ? QString()
                                               : QString(" With -continueOnError it runs\n"
                                                         "every line and exits 1 if one failed; "
                                                         "-outputSeparator:TEXT prints TEXT on both\n"
                                                         "streams after each command. No line run: 255."));
    return text;
}

// A command's usage, as `help COMMAND` and a refused command line show it.
QString commandHelp(Tool tool, const CommandSpec &command, Grammar grammar)
{
    QString text = QString("Usage: %1 %2\n").arg(toolName(tool), commandUsage(command, grammar));
    if (!command.aliases.isEmpty())
        text += QString("Also: %1\n").arg(command.aliases.join(", "));
    text += QString("Options of every command: -login:USER,PASSWORD -collection:DIR|file://URL -noprompt%1\n")
                .arg(grammar == Grammar::TfExe ? " -prompt" : " -workspace:NAME -exitcode");
    return text;
}

int Client::run()
{
    m_cwd = QDir::currentPath();
    try {
        return runCommand();
    } catch (const Error &e) {
        if (e.showUsage) {
            const CommandSpec *command = m_command.isEmpty() ? nullptr : findCommand(m_tool, m_command);
            writeOut(command ? commandHelp(m_tool, *command, m_grammar) : usage(m_tool, m_grammar));
        }
        throw;
    }
}

int Client::runCommand()
{
    QStringList words = m_rawArgs;
    if (m_grammar == Grammar::CrossPlatform)
        words.removeAll(QString()); // the client passes over empty words
    if (words.isEmpty()) {
        // tf answers a bare call with its usage; tfpt takes it for a usage error.
        writeOut(usage(m_tool, m_grammar));
        return m_tool == Tool::Tf ? Success : UnrecognizedCommand;
    }
    if (m_grammar == Grammar::TfExe) {
        static const QStringList helpForms = {"-h", "--help", "-?", "/?", "/h", "/help", "-help"};
        if (helpForms.contains(words.first().toLower())) {
            writeOut(usage(m_tool, m_grammar));
            return Success;
        }
    }
    // The cross-platform client takes options before the command too: the
    // command is the first word that is not one.
    int at = 0;
    while (m_grammar == Grammar::CrossPlatform && at < words.size() && words[at].size() >= 2
           && words[at].startsWith('-'))
        ++at;
    if (at > 0 || at == words.size()) {
        QStringList every;
        for (const OptionSpec &option : allOptions())
            every.append(option.name);
        Arguments::parse(words.mid(0, at), QString(), every, m_grammar);
        if (at == words.size()) {
            writeOut(usage(m_tool, m_grammar));
            return Success;
        }
    }
    QString name = words[at];
    if (m_grammar == Grammar::TfExe && (name.startsWith('/') || name.startsWith('-')))
        name = name.mid(1);
    const CommandSpec *command = findCommand(m_tool, name);
    if (command && command->name == "eula" && m_grammar == Grammar::TfExe)
        command = nullptr; // tf.exe has no licence to accept
    if (!command && m_grammar == Grammar::CrossPlatform)
        failArgument(QString("The command '%1' is unknown.").arg(name), words[at]);
    if (!command) {
        writeErr(QString("Unrecognized command: %1\n").arg(words[at]) + usage(m_tool, m_grammar));
        return usageErrorCode(m_grammar);
    }
    m_command = command->name;
    QStringList options = command->options + globalOptions;
    if (m_grammar == Grammar::TfExe)
        options += command->tfExeOptions + tfExeGlobalOptions;
    else
        options += crossPlatformGlobalOptions;
    QStringList arguments = words;
    arguments.removeAt(at);
    m_args = Arguments::parse(arguments, name.toLower(), options, m_grammar);
    if (m_args.has("help")) {
        writeOut(commandHelp(m_tool, *command, m_grammar));
        return Success;
    }
    if (m_tool == Tool::Tf && contactOf(command->name) != Contact::None)
        connect(contactOf(command->name) == Contact::Workspace);
    return (this->*command->run)();
}

QString Client::localPath(const QString &operand) const
{
    if (operand.isEmpty())
        fail("An empty path was given.");
    return QDir::cleanPath(QDir(m_cwd).absoluteFilePath(operand));
}

QString defaultServerDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/tf-standin/server";
}

// The collection as the cache is to record it: a directory made absolute, a
// URL as it is.
QString absoluteCollection(const QString &collection, const QString &workingDirectory)
{
    if (collection.isEmpty() || collection.contains("://") || collection.startsWith("file:", Qt::CaseInsensitive))
        return collection;
    return QDir::cleanPath(QDir(workingDirectory).absoluteFilePath(collection));
}

QString Client::storeDirectoryFromOptions() const
{
    if (!m_server.isEmpty())
        return ServerStore::locationFromCollection(m_server, m_cwd);
    const QString collection = m_args.value("collection");
    if (!collection.isEmpty())
        return ServerStore::locationFromCollection(collection, m_cwd);
    const QString fromEnvironment = qEnvironmentVariable(serverEnvironmentVariable);
    if (!fromEnvironment.isEmpty())
        return ServerStore::locationFromCollection(fromEnvironment, m_cwd);
    return defaultServerDirectory();
}

QString Client::collectionUri() const
{
    return m_server.isEmpty() ? m_store->directory() : m_server;
}

ServerStore &Client::openStore(const QString &directory)
{
    const QString dir = QDir::cleanPath(directory);
    if (m_store) {
        if (m_store->directory() != dir)
            fail("The items given belong to different servers; give them one command each.");
        return *m_store;
    }
    m_store = std::make_unique<ServerStore>(dir);
    m_store->open();
    authenticate();
    return *m_store;
}

void Client::authenticate()
{
    const QString login = m_args.value("login");
    const int comma = login.indexOf(',');
    const QString user = comma < 0 ? login : login.left(comma);
    const QString password = comma < 0 ? QString() : login.mid(comma + 1);
    if (!m_store->hasUsers()) {
        m_owner = user.isEmpty() ? systemUserName() : user;
        return;
    }
    if (user.isEmpty())
        fail(QString("TF30063: You are not authorized to access %1. Give your user name and "
                     "password with -login:USER,PASSWORD.").arg(m_store->directory()));
    m_owner = m_store->authenticate(user, password);
    if (m_owner.isEmpty())
        fail(QString("TF30063: You are not authorized to access %1: the user name or password "
                     "is not correct.").arg(m_store->directory()));
}

// What the cross-platform client does before a command reaches its server:
// the licence first, then the workspace from the cache (for a command that
// needs one), then the server: -collection:, else the workspace's.
void Client::connect(bool needsWorkspace)
{
    if (m_grammar != Grammar::CrossPlatform)
        return;
    if (!Licence::isAccepted())
        fail("Error: You must accept the End User License Agreement for this product\n"
             "Run 'tf eula' to accept the End User License Agreement.");
    CachedWorkspace found;
    if (findCachedWorkspace(&found))
        m_cached = std::make_unique<CachedWorkspace>(found);
    else if (needsWorkspace)
        failArgument("The workspace could not be determined from any argument paths or the current "
                     "working directory.");
    if (m_args.has("collection"))
        m_server = absoluteCollection(m_args.value("collection"), m_cwd);
    else if (m_cached)
        m_server = m_cached->server;
    else
        fail("A client error occurred: The Team Foundation Server project collection URL to use "
             "could not be determined by the options or argument paths provided.  Specify a "
             "workspace, or use the 'collection' option.");
}

// The workspace named by -workspace:NAME[;OWNER], else the one that maps the
// first local item given, else the current directory's.
bool Client::findCachedWorkspace(CachedWorkspace *found) const
{
    if (m_args.has("workspace")) {
        const QString named = m_args.value("workspace");
        const QString owner = named.section(';', 1);
        QVector<CachedWorkspace> matches = WorkspaceCache::findByName(
            named.section(';', 0, 0), absoluteCollection(m_args.value("collection"), m_cwd));
        for (int i = matches.size() - 1; i >= 0 && !owner.isEmpty(); --i) {
            if (matches[i].ownerName.compare(owner, Qt::CaseInsensitive) != 0
                && matches[i].ownerDisplayName.compare(owner, Qt::CaseInsensitive) != 0)
                matches.remove(i);
        }
        if (matches.isEmpty())
            failArgument(QString("The workspace '%1' could not be found.").arg(named));
        *found = matches.first();
        return true;
    }
    for (const QString &operand : m_args.operands()) {
        if (!ServerPath::isServerPath(operand)
            && WorkspaceCache::findByPath(cachedWorkspaces(),
                                          QDir::cleanPath(QDir(m_cwd).absoluteFilePath(operand)), found))
            return true;
    }
    return WorkspaceCache::findByPath(cachedWorkspaces(), m_cwd, found);
}

const QVector<CachedWorkspace> &Client::cachedWorkspaces() const
{
    if (!m_cache)
        m_cache = std::make_unique<QVector<CachedWorkspace>>(WorkspaceCache::workspaces());
    return *m_cache;
}

// A workspace that the cache knows and the server does not is forgotten, as
// the client forgets it.
Workspace &Client::openCachedWorkspace(const CachedWorkspace &cached)
{
    openStore(ServerStore::locationFromCollection(cached.server, m_cwd));
    if (m_server.isEmpty())
        m_server = cached.server;
    if (!Workspace::exists(*m_store, cached.name)) {
        WorkspaceCache::remove(cached.server, cached.name);
        fail(QString("The workspace '%1' was found in the local workspace cache, but it no longer "
                     "exists on the server.  It has been removed from the cache.")
                 .arg(cached.name));
    }
    m_workspace = std::make_unique<Workspace>(*m_store, cached.name);
    return *m_workspace;
}

void Client::failNoMapping(const QString &path) const
{
    if (m_grammar == Grammar::CrossPlatform)
        fail(QString("A client error occurred: There is no working folder mapping for %1.").arg(path));
    fail(QString("Unable to determine the workspace: %1 is not in a mapped folder of any "
                 "workspace.").arg(path));
}

Workspace &Client::workspaceForLocalPath(const QString &path)
{
    CachedWorkspace entry;
    if (!WorkspaceCache::findByPath(cachedWorkspaces(), path, &entry))
        failNoMapping(path);
    if (!m_workspace)
        openCachedWorkspace(entry);
    else if (!WorkspaceCache::sameServer(m_store->directory(), entry.server)
             || m_workspace->name().compare(entry.name, Qt::CaseInsensitive) != 0)
        fail("The items given belong to different workspaces; give them one command each.");
    if (m_workspace->serverPathFor(path).isEmpty())
        failNoMapping(path);
    return *m_workspace;
}

Workspace *Client::workspaceForWorkingDirectory()
{
    if (m_workspace)
        return m_workspace.get();
    if (m_cached)
        return &openCachedWorkspace(*m_cached);
    CachedWorkspace entry;
    if (!WorkspaceCache::findByPath(cachedWorkspaces(), m_cwd, &entry))
        return nullptr;
    return &workspaceForLocalPath(m_cwd);
}

Workspace &Client::requireWorkspace()
{
    if (Workspace *ws = workspaceForWorkingDirectory())
        return *ws;
    if (m_grammar == Grammar::CrossPlatform)
        failArgument("The workspace could not be determined from any argument paths or the current "
                     "working directory.");
    fail(QString("Unable to determine the workspace: the current directory %1 is not in a mapped "
                 "folder. Give a local path, or change to a mapped directory.").arg(m_cwd));
}

Client::Target Client::resolve(const QString &operand)
{
    if (ServerPath::isServerPath(operand)) {
        const QString server = ServerPath::normalize(operand);
        Workspace *ws = workspaceForWorkingDirectory();
        if (!ws)
            openStore(storeDirectoryFromOptions());
        return {server, ws ? ws->localPathFor(server) : QString()};
    }
    const QString local = localPath(operand);
    Workspace &ws = workspaceForLocalPath(local);
    return {ws.serverPathFor(local), local};
}

QStringList Client::requireOperands(int minimum, int maximum) const
{
    const QStringList operands = m_args.operands();
    QString mistake;
    if (operands.size() < minimum)
        mistake = QString("The command %1 needs %2 argument%3.")
                      .arg(m_command).arg(minimum).arg(minimum == 1 ? "" : "s");
    else if (maximum >= 0 && operands.size() > maximum)
        mistake = QString("The command %1 takes at most %2 argument%3; unexpected: %4")
                      .arg(m_command).arg(maximum).arg(maximum == 1 ? "" : "s").arg(operands.at(maximum));
    if (mistake.isEmpty())
        return operands;
    if (m_grammar == Grammar::CrossPlatform)
        failArgument(mistake);
    fail(mistake + QString("\nUsage: %1").arg(commandUsage(*findCommand(m_tool, m_command), m_grammar)));
}

// Runs the action on each operand; one operand failing does not stop the
// others. All succeeded: 0; some: 1; none: the failure's code.
int Client::forEachOperand(const std::function<void(const QString &)> &action)
{
    int failures = 0;
    int lastCode = Failure;
    const QStringList operands = m_args.operands();
    for (const QString &operand : operands) {
        try {
            action(operand);
        } catch (const Error &e) {
            writeErr(e.message);
            lastCode = e.code;
            ++failures;
        }
    }
    if (failures == 0)
        return Success;
    return failures == operands.size() ? lastCode : PartialSuccess;
}

// The pending changes that the operands name: an item itself, or with
// /recursive everything below a folder. No operands: the whole workspace.
QVector<PendingChange> Client::pendingInScope(const QStringList &operands, bool recursive)
{
    QVector<Target> targets;
    for (const QString &operand : operands)
        targets.append(resolve(operand));
    Workspace &ws = requireWorkspace();
    QVector<PendingChange> scope;
    for (const PendingChange &c : ws.pending()) {
        bool inScope = operands.isEmpty();
        for (const Target &t : targets) {
            auto matches = [&](const QString &path) {
                return !path.isEmpty()
                    && (ServerPath::equal(path, t.server) || (recursive && ServerPath::isUnder(path, t.server)));
            };
            inScope = inScope || matches(c.serverPath) || (c.rename && matches(c.sourcePath));
        }
        if (inScope)
            scope.append(c);
    }
    return scope;
}

// --- info -------------------------------------------------------------------

int Client::info()
{
    requireOperands(1);
    // The cross-platform client shows an item only through a workspace, even
    // with -collection: given.
    if (m_grammar == Grammar::CrossPlatform && !m_cached)
        failArgument("The workspace could not be determined from any argument paths or the current "
                     "working directory.");
    return forEachOperand([&](const QString &operand) {
        Target t;
        try {
            t = resolve(operand);
        } catch (const Error &e) {
            // The cross-platform client says so of each item outside the mappings, in
            // the message's own words, and goes on: a partial success however many.
            const QString prefix = "A client error occurred: ";
            if (m_grammar != Grammar::CrossPlatform ||
                !e.message.startsWith(prefix + "There is no working folder mapping"))
                throw;
            fail(e.message.mid(prefix.size()), PartialSuccess);
        }
        const ItemRecord record = m_store->item(t.server);
        const PendingChange *pending = m_workspace ? m_workspace->findPending(t.server) : nullptr;
        if (!record.isLive() && !pending) {
            // The cross-platform client answers this for an item of a workspace as
            // a finding, not a failure, naming it by its absolute local path.
            if (m_grammar == Grammar::CrossPlatform && m_workspace && !t.local.isEmpty()) {
                writeOut(QString("No items match %1\n").arg(t.local));
                return;
            }
            fail(QString("No items match %1.").arg(operand));
        }
        const bool folder = record.isLive() ? record.folder : pending->folder;
        const QString type = folder ? "folder" : "file";
        // tf.exe pads the names to a colon in one column; the cross-platform client puts
        // the colon after the name and the values in one column, and a blank line after
        // each item.
        const bool tfExe = m_grammar == Grammar::TfExe;
        auto line = [&](const QString &name, int width, const QVariant &value) {
            return "  " + (tfExe ? name.leftJustified(width - 2) + ": " : (name + ':').leftJustified(width)) +
                value.toString() + '\n';
        };
        QString text = "Local information:\n";
        if (m_workspace && !t.local.isEmpty()) {
            text += line("Local path", 13, t.local);
            text += line("Server path", 13, t.server);
            text += line("Changeset", 13, m_workspace->have(t.server));
            text += line("Change", 13, pending ? pending->kindText() : QString("none"));
            text += line("Type", 13, type);
        } else {
            text += "  (not in a workspace on this computer)\n";
        }
        text += "Server information:\n";
        if (record.isLive()) {
            const ItemVersion *latest = record.latest();
            const QDateTime modified = m_store->changeset(latest->changeset).date;
            text += line("Server path", 15, record.path);
            text += line("Changeset", 15, latest->changeset);
            text += line("Deletion ID", 15, 0);
            text += line("Lock", 15, "none");
            text += line("Lock owner", 15, QString());
            text += line("Last modified", 15,
                         tfExe ? modified.toString(Qt::ISODate) : History::displayDate(modified, m_grammar));
            text += line("Type", 15, type);
            if (!folder) {
                const QByteArray content = m_store->content(latest->blob);
                if (!tfExe)
                    text += line("File type", 15, content.left(8192).contains('\0') ? "binary" : "UTF-8");
                text += line("Size", 15, content.size());
            }
        } else if (tfExe) {
            text += "  No item on the server yet (pending add).\n";
        } else {
            // What the cross-platform client makes of an item the server does not have yet.
            text += line("Server path", 15, QString()) + line("Changeset", 15, 0) + line("Deletion ID", 15, 0) +
                    line("Lock", 15, "none") + line("Lock owner", 15, QString()) +
                    line("Last modified", 15, QString()) + line("Type", 15, "null");
            if (!folder)
                text += line("File type", 15, "null") + line("Size", 15, 0);
        }
        if (!tfExe)
            text += '\n';
        writeOut(text);
    });
}

// The clients name the items a command changed by folder: a line "FOLDER:"
// before the first of each folder (after a blank line, unless it is the first
// heading), then one line for each item with its name. A folder's own pending
// change is printed in the folder itself, as the clients take a folder on disk
// for its own directory. Pending changes leave out the heading of the current
// directory until another folder came first, and name a folder relative to
// it; get names every folder in full.
void Client::writeItemLine(const QString &local, const QString &text)
{
    const QString folder = QFileInfo(local).isDir() ? local : QFileInfo(local).path();
    const bool first = m_itemFolder.isNull();
    if (first ? folder != m_cwd : folder != m_itemFolder) {
        writeOut((first ? QString() : QString("\n")) +
                 QDir::toNativeSeparators(fromCurrentDirectory(folder)) + ":\n");
    }
    m_itemFolder = folder;
    ++m_itemLines;
    writeOut(text.arg(QFileInfo(local).fileName()) + '\n');
}

QString Client::fromCurrentDirectory(const QString &local) const
{
    return local.startsWith(m_cwd + '/') ? local.mid(m_cwd.size() + 1) : local;
}

void Client::writeGetLine(const QString &local, const QString &text)
{
    const QString folder = QFileInfo(local).path();
    if (folder != m_itemFolder) {
        writeOut((m_itemFolder.isNull() ? QString() : QString("\n")) +
                 QDir::toNativeSeparators(folder) + ":\n");
        m_itemFolder = folder;
    }
    writeOut(text.arg(QFileInfo(local).fileName()) + '\n');
}

QString Client::workspaceCreated(const QString &name, const ServerStore &store) const
{
    return m_grammar == Grammar::CrossPlatform
               ? QString("Workspace '%1' created.\n").arg(name)
               : QString("Workspace %1 created on %2.\n").arg(name, store.directory());
}

// --- get --------------------------------------------------------------------

void Client::conflict(const QString &message)
{
    writeErr("Conflict: " + message);
    ++m_conflicts;
}

// Brings one item, and with `recursive` everything below it, to the latest
// version. A local file is only replaced or removed when it holds exactly the
// version the workspace got last (or already the new one): local edits are
// never overwritten.
ItemRecord Client::itemToGet(const QString &serverPath) const
{
    ItemRecord record = m_store->item(serverPath);
    if (m_getVersion > 0) {
        QVector<ItemVersion> upTo;
        for (const ItemVersion &v : record.versions) {
            if (v.changeset <= m_getVersion)
                upTo.append(v);
        }
        record.versions = upTo;
    }
    return record;
}

void Client::getItem(const QString &serverPath, bool recursive)
{
    Workspace &ws = *m_workspace;
    const QString local = ws.localPathFor(serverPath);
    if (local.isEmpty())
        return;
    const ItemRecord record = itemToGet(serverPath);
    const PendingChange *pending = ws.findPendingForServerItem(serverPath);
    const int have = ws.have(serverPath);
    const QFileInfo localInfo(local);

    if (record.folder) {
        if (record.isLive()) {
            if (pending && (pending->remove || pending->rename))
                return;
            if (localInfo.exists() && !localInfo.isDir()) {
                conflict(QString("%1 is a file locally and a folder on the server.").arg(local));
                return;
            }
            if (!QDir().mkpath(local))
                fail(QString("Cannot create the directory %1.").arg(local));
            if (have != record.latest()->changeset) {
                writeGetLine(local, "Getting %1");
                ws.setHave(serverPath, record.latest()->changeset);
            }
        }
        if (recursive) {
            for (const QString &child : m_store->childPaths(record))
                getItem(child, true);
        }
        if (!record.isLive() && have > 0) {
            ws.setHave(serverPath, 0);
            QDir().rmdir(local); // only when empty: local files stay
        }
        return;
    }

    if (pending) {
        if (record.isLive() && !pending->add && record.latest()->changeset != have)
            conflict(QString("%1 has a pending %2 and the server has a newer version (changeset %3); "
                             "it was not got. Check in or undo your change first.")
                         .arg(local, pending->kindText()).arg(record.latest()->changeset));
        return;
    }
    const QByteArray current = localInfo.isFile() ? readLocalFile(local) : QByteArray();
    // What the workspace had may be newer than the version asked for.
    const ItemRecord whole = m_getVersion > 0 ? m_store->item(serverPath) : record;
    auto unchangedSinceGet = [&]() {
        const ItemVersion *had = have > 0 ? whole.versionAt(have) : nullptr;
        return had && !had->blob.isEmpty() && current == m_store->content(had->blob);
    };
    if (!record.isLive()) {
        if (have > 0) {
            if (localInfo.isFile()) {
                if (!unchangedSinceGet()) {
                    conflict(QString("%1 was deleted on the server but has local changes; it was kept.").arg(local));
                    return;
                }
                QFile::remove(local);
                writeGetLine(local, "Deleting %1");
                ++m_updates;
            }
            ws.setHave(serverPath, 0);
        }
        return;
    }
    const ItemVersion *latest = record.latest();
    if (have == latest->changeset && localInfo.isFile())
        return;
    if (localInfo.exists() && !localInfo.isFile()) {
        conflict(QString("%1 is a folder locally and a file on the server.").arg(local));
        return;
    }
    const QByteArray content = m_store->content(latest->blob);
    if (localInfo.isFile() && current != content && !unchangedSinceGet()) {
        conflict(QString("%1 exists locally with changes that are not pending (a writable local "
                         "edit); it was not overwritten. Check it out, or undo, first.").arg(local));
        return;
    }
    writeGetLine(local, localInfo.exists() ? "Replacing %1" : "Getting %1");
    writeLocalFile(local, content);
    ws.setHave(serverPath, latest->changeset);
    ++m_updates;
}

int Client::get()
{
    const bool recursive = m_args.has("recursive") || m_args.operands().isEmpty();
    if (m_args.value("version").contains('~'))
        fail("A version range is not permitted for this operation.");
    const VersionSpec version = m_args.has("version")
        ? VersionSpec::parse(m_args.value("version"), m_grammar) : VersionSpec();
    QVector<Target> targets;
    if (m_args.operands().isEmpty()) {
        for (const Mapping &m : requireWorkspace().mappings())
            targets.append({m.serverPath, m.localPath});
    }
    for (const QString &operand : m_args.operands())
        targets.append(resolve(operand));
    Workspace &ws = requireWorkspace();
    if (m_args.has("version"))
        m_getVersion = version.resolve(*m_store, 0);
    int missing = 0;
    for (const Target &t : targets) {
        const ItemRecord record = itemToGet(t.server);
        if (record.isNull() || (!record.isLive() && ws.have(t.server) == 0)) {
            if (!ws.findPending(t.server)) {
                writeErr(QString("No items match %1 on the server.").arg(t.server));
                ++missing;
            }
            continue;
        }
        getItem(t.server, recursive);
    }
    ws.saveHave();
    if (m_updates == 0 && m_conflicts == 0 && missing == 0)
        writeOut("All files up to date.\n");
    if (missing == targets.size() && missing > 0)
        return Failure;
    if (m_conflicts > 0)
        writeErr(QString("%1 conflict%2: those items were not got.").arg(m_conflicts).arg(m_conflicts == 1 ? "" : "s"));
    return m_conflicts > 0 || missing > 0 ? PartialSuccess : Success;
}

// --- add, checkout, delete, rename ---------------------------------------------

void Client::addMissingParents(const QString &serverPath)
{
    Workspace &ws = *m_workspace;
    QStringList missing;
    for (QString parent = ServerPath::parent(serverPath); parent != "$/"; parent = ServerPath::parent(parent)) {
        if (ws.localPathFor(parent).isEmpty() || m_store->item(parent).isLive() || ws.findPending(parent))
            break;
        missing.prepend(parent);
    }
    for (const QString &folder : missing) {
        PendingChange c;
        c.serverPath = folder;
        c.folder = true;
        c.add = true;
        ws.pending().append(c);
        writeItemLine(ws.localPathFor(folder), "%1");
    }
}

void Client::addItem(const QString &serverPath, const QString &local, bool recursive)
{
    Workspace &ws = *m_workspace;
    const QFileInfo info(local);
    const bool isDir = info.isDir();
    if (PendingChange *existing = ws.findPending(serverPath)) {
        if (!existing->add)
            fail(QString("%1 already has a pending %2.").arg(local, existing->kindText()));
    } else if (m_store->item(serverPath).isLive()) {
        // The server's refusal, which the cross-platform client takes for a warning.
        if (!isDir || !recursive)
            fail(QString("TF10168: %1 already exists on the server.").arg(serverPath),
                 m_grammar == Grammar::CrossPlatform ? PartialSuccess : Failure);
    } else {
        addMissingParents(serverPath);
        PendingChange c;
        c.serverPath = serverPath;
        c.folder = isDir;
        c.add = true;
        ws.pending().append(c);
        writeItemLine(local, "%1");
    }
    if (isDir && recursive) {
        const QFileInfoList entries = QDir(local).entryInfoList(
            QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
        for (const QFileInfo &entry : entries) {
            if (entry.isSymLink() && entry.isDir())
                continue; // following it could loop
            const QString childServer = ServerPath::child(serverPath, entry.fileName());
            if (entry.isDir() || !m_store->item(childServer).isLive())
                addItem(childServer, entry.filePath(), true);
        }
    }
}

int Client::add()
{
    requireOperands(1);
    const int result = forEachOperand([&](const QString &operand) {
        const QString local = localPath(operand);
        if (!QFileInfo::exists(local))
            fail(QString("%1 does not exist; only existing files and folders can be added.").arg(local));
        Workspace &ws = workspaceForLocalPath(local);
        addItem(ws.serverPathFor(local), local, m_args.has("recursive"));
    });
    if (m_workspace)
        m_workspace->savePending();
    if (m_grammar == Grammar::CrossPlatform && m_itemLines == 0)
        writeOut("No arguments matched any files to add.\n"); // where the client prints it
    return result;
}

int Client::checkout()
{
    requireOperands(1);
    std::function<void(const QString &, const QString &)> checkoutItem = [&](const QString &server, const QString &operand) {
        Workspace &ws = *m_workspace;
        const QString local = ws.localPathFor(server);
        const ItemRecord record = m_store->item(server);
        PendingChange *pending = ws.findPending(server);
        if (pending && pending->remove)
            fail(QString("%1 has a pending delete; undo it first.").arg(operand));
        if (!pending && !record.isLive())
            fail(QString("TF10148: No items match %1.").arg(server));
        if ((pending && pending->folder) || (!pending && record.folder)) {
            if (m_args.has("recursive") && record.isLive()) {
                for (const QString &child : m_store->childPaths(record)) {
                    const ItemRecord childRecord = m_store->item(child);
                    if (childRecord.isLive() && (childRecord.folder || ws.have(child) > 0))
                        checkoutItem(child, ws.localPathFor(child));
                }
            }
            return;
        }
        if (pending) {
            if (!pending->add && !pending->edit)
                pending->edit = true;
        } else {
            const int have = ws.have(server);
            if (have == 0 || !QFileInfo(local).isFile())
                fail(QString("%1 is not in your workspace; get it first.").arg(operand));
            PendingChange c;
            c.serverPath = server;
            c.edit = true;
            c.baseVersion = have;
            ws.pending().append(c);
        }
        setWritable(local, true);
        writeItemLine(local, "%1");
    };
    const int result = forEachOperand([&](const QString &operand) {
        const Target t = resolve(operand);
        if (!m_workspace)
            fail(QString("%1 is not in a workspace on this computer.").arg(operand));
        checkoutItem(t.server, operand);
    });
    if (m_workspace)
        m_workspace->savePending();
    return result;
}

void Client::deleteItem(const QString &serverPath)
{
    Workspace &ws = *m_workspace;
    const QString local = ws.localPathFor(serverPath);
    PendingChange *pending = ws.findPending(serverPath);
    if (pending && pending->add) {
        // Never on the server: forgetting the add (and those of the items below
        // it) is the whole deletion, each named as a deleted item. The local
        // files are the user's and are left alone.
        for (int i = 0; i < ws.pending().size();) {
            const PendingChange &c = ws.pending()[i];
            if (c.add && ServerPath::isUnder(c.serverPath, serverPath)) {
                writeItemLine(ws.localPathFor(c.serverPath), "%1");
                ws.pending().remove(i);
            } else {
                ++i;
            }
        }
        return;
    }
    if (pending && pending->remove)
        return;
    const QString serverItem = pending && pending->rename ? pending->sourcePath : serverPath;
    const ItemRecord record = m_store->item(serverItem);
    if (!record.isLive())
        fail(QString("TF10148: No items match %1.").arg(serverPath));
    if (record.folder) {
        for (const QString &child : m_store->childPaths(record)) {
            if (m_store->item(child).isLive())
                deleteItem(child);
        }
    }
    if (pending) {
        pending->serverPath = pending->sourcePath.isEmpty() ? pending->serverPath : pending->sourcePath;
        pending->sourcePath.clear();
        pending->rename = false;
        pending->edit = false;
        pending->remove = true;
    } else {
        PendingChange c;
        c.serverPath = serverItem;
        c.folder = record.folder;
        c.remove = true;
        c.baseVersion = ws.have(serverItem) > 0 ? ws.have(serverItem) : record.latest()->changeset;
        ws.pending().append(c);
    }
    if (record.folder) {
        QDir().rmdir(local); // untracked local files keep the folder
    } else if (QFileInfo(local).isFile()) {
        QFile::remove(local);
    }
    writeItemLine(local, "%1");
}

int Client::remove()
{
    requireOperands(1);
    const int result = forEachOperand([&](const QString &operand) {
        const Target t = resolve(operand);
        if (!m_workspace || t.local.isEmpty())
            fail(QString("%1 is not in a workspace on this computer.").arg(operand));
        deleteItem(t.server);
    });
    if (m_workspace)
        m_workspace->savePending();
    if (m_grammar == Grammar::CrossPlatform && m_itemLines == 0)
        writeErr("No arguments matched any files to delete.");
    return result;
}

int Client::rename()
{
    const QStringList operands = requireOperands(2, 2);
    const QString oldLocal = localPath(operands[0]);
    const QString newLocal = localPath(operands[1]);
    Workspace &ws = workspaceForLocalPath(oldLocal);
    const QString oldServer = ws.serverPathFor(oldLocal);
    const QString newServer = ws.serverPathFor(newLocal);
    if (newServer.isEmpty())
        fail(QString("%1 is not in a mapped folder of the workspace %2.").arg(newLocal, ws.name()));
    if (oldLocal == newLocal)
        fail("The old and the new name are the same.");
    if (ServerPath::isUnder(newServer, oldServer))
        fail(QString("Cannot move %1 into itself.").arg(oldLocal));
    const bool caseOnly = ServerPath::equal(oldServer, newServer);
    const bool alreadyMoved = !QFileInfo::exists(oldLocal) && QFileInfo(newLocal).isFile();
    if (!caseOnly && (m_store->item(newServer).isLive() || ws.findPending(newServer)))
        fail(QString("TF10168: %1 already exists on the server or has a pending change.").arg(newServer));
    if (!caseOnly && !alreadyMoved && QFileInfo::exists(newLocal))
        fail(QString("%1 already exists.").arg(newLocal));

    PendingChange *pending = ws.findPending(oldServer);
    const ItemRecord record = m_store->item(pending && pending->rename ? pending->sourcePath : oldServer);
    if (pending ? pending->folder : record.folder || QFileInfo(oldLocal).isDir())
        fail(QString("%1 is a folder; this server renames files only. Rename its files one by one.").arg(oldLocal));
    if (pending && pending->remove)
        fail(QString("%1 has a pending delete; undo it first.").arg(oldLocal));
    if (!pending) {
        if (!record.isLive())
            fail(QString("No items match %1 on the server.").arg(oldServer));
        if (ws.have(oldServer) == 0)
            fail(QString("%1 is not in your workspace; get it first.").arg(oldLocal));
    }

    if (!alreadyMoved) {
        if (!QDir().mkpath(QFileInfo(newLocal).absolutePath()) || !QFile::rename(oldLocal, newLocal))
            fail(QString("Cannot move %1 to %2.").arg(oldLocal, newLocal));
    }
    if (pending && pending->add) {
        pending->serverPath = newServer;
    } else if (pending && pending->rename) {
        pending->serverPath = newServer;
        if (ServerPath::equal(pending->sourcePath, newServer) && pending->sourcePath == newServer) {
            // Renamed back to where it came from: only an edit, if any, is left.
            pending->rename = false;
            pending->sourcePath.clear();
            if (!pending->edit) {
                ws.removePending(newServer);
                setWritable(newLocal, false);
            }
        }
    } else if (pending) {
        pending->rename = true;
        pending->sourcePath = oldServer;
        pending->serverPath = newServer;
    } else {
        PendingChange c;
        c.serverPath = newServer;
        c.sourcePath = oldServer;
        c.rename = true;
        c.baseVersion = ws.have(oldServer);
        ws.pending().append(c);
    }
    addMissingParents(newServer);
    ws.savePending();
    writeItemLine(newLocal, "%1");
    return Success;
}

// --- checkin, undo ------------------------------------------------------------

// "-comment:@FILE" takes the comment from a file, as both real clients do, so
// that any comment passes unharmed, line breaks included.
QString Client::checkinComment() const
{
    const QString comment = m_args.value("comment");
    if (!comment.startsWith('@'))
        return comment;
    const QString file = QDir(m_cwd).absoluteFilePath(comment.mid(1));
    bool ok = false;
    const QByteArray text = ServerStore::readFile(file, &ok);
    if (!ok || QFileInfo(file).isDir())
        fail(QString("Cannot read the comment file %1.").arg(file));
    return QString::fromUtf8(text);
}

int Client::checkin()
{
    const QString comment = checkinComment();
    QVector<PendingChange> scope = pendingInScope(m_args.operands(), m_args.has("recursive"));
    Workspace &ws = requireWorkspace();
    if (scope.isEmpty()) {
        if (m_grammar == Grammar::CrossPlatform)
            writeOut("There are no changes to checkin in this workspace.\n");
        else
            writeErr("There are no pending changes to check in.");
        return PartialSuccess;
    }
    Workspace::sortForCheckIn(scope);

    QVector<PendingCommit> commits;
    QVector<PendingChange> committed;
    QVector<PendingChange> unchanged;
    for (const PendingChange &c : scope) {
        const QString local = ws.localPathFor(c.serverPath);
        const QString source = c.rename ? c.sourcePath : c.serverPath;
        const ItemRecord record = m_store->item(source);
        if (!c.add) {
            if (!record.isLive())
                fail(QString("Cannot check in: %1 no longer exists on the server. Undo your change.").arg(source));
            if (record.latest()->changeset != c.baseVersion)
                fail(QString("Cannot check in: %1 was changed on the server (changeset %2) after the "
                             "version you changed (%3). Get the latest version and merge first; "
                             "nothing was checked in.")
                         .arg(source).arg(record.latest()->changeset).arg(c.baseVersion));
        }
        if (c.add) {
            if (c.folder) {
                commits.append({PendingCommit::AddFolder, c.serverPath, {}, {}});
            } else {
                if (!QFileInfo(local).isFile())
                    fail(QString("Cannot check in: the added file %1 is missing; nothing was checked in.").arg(local));
                commits.append({PendingCommit::AddFile, c.serverPath, {}, readLocalFile(local)});
            }
        } else if (c.remove) {
            commits.append({PendingCommit::Delete, c.serverPath, {}, {}});
        } else {
            const ItemVersion *base = record.versionAt(c.baseVersion);
            const QByteArray baseContent = m_store->content(base->blob);
            QByteArray content = baseContent;
            if (c.edit) {
                if (!QFileInfo(local).isFile())
                    fail(QString("Cannot check in: %1 is missing; nothing was checked in.").arg(local));
                content = readLocalFile(local);
            }
            if (c.rename) {
                commits.append({PendingCommit::Rename, c.serverPath, c.sourcePath, content});
            } else if (content != baseContent) {
                commits.append({PendingCommit::Edit, c.serverPath, {}, content});
            } else {
                unchanged.append(c);
                continue;
            }
        }
        committed.append(c);
    }

    const int number = ws.checkIn(commits, committed, unchanged, m_owner, comment);

    for (const PendingChange &c : unchanged) {
        setWritable(ws.localPathFor(c.serverPath), false);
        writeOut(QString("The edit of %1 was undone: the file is unchanged.\n").arg(ws.localPathFor(c.serverPath)));
    }
    for (const PendingChange &c : committed) {
        const QString local = ws.localPathFor(c.serverPath);
        if (!c.folder && !c.remove)
            setWritable(local, false);
        writeItemLine(local, "Checking in " + c.kindText() + ": %1");
    }
    if (number > 0)
        writeOut(QString("\nChangeset #%1 checked in.\n").arg(number));
    return Success;
}

void Client::undoChange(const PendingChange &c)
{
    Workspace &ws = *m_workspace;
    const QString local = ws.localPathFor(c.serverPath);
    if (!c.add) {
        const QString source = c.rename ? c.sourcePath : c.serverPath;
        const QString sourceLocal = ws.localPathFor(source);
        const ItemRecord record = m_store->item(source);
        const ItemVersion *base = record.versionAt(c.baseVersion);
        if (c.folder) {
            if (!sourceLocal.isEmpty())
                QDir().mkpath(sourceLocal);
        } else if (base && !base->blob.isEmpty() && !sourceLocal.isEmpty()) {
            writeLocalFile(sourceLocal, m_store->content(base->blob));
            if (c.rename && local != sourceLocal && QFileInfo(local).isFile())
                QFile::remove(local);
        }
    }
    ws.removePending(c.serverPath);
    writeItemLine(local, "Undoing " + c.kindText() + ": %1");
}

int Client::undo()
{
    requireOperands(1);
    QVector<PendingChange> scope = pendingInScope(m_args.operands(), m_args.has("recursive"));
    if (scope.isEmpty()) {
        // Nothing undone is a failure to the real client, whatever the reason.
        writeErr(QString("No pending changes were found for %1.").arg(m_args.operands().join(", ")));
        return Failure;
    }
    // Restored folders come before the files restored into them.
    std::sort(scope.begin(), scope.end(), [](const PendingChange &a, const PendingChange &b) {
        return a.serverPath.toLower() < b.serverPath.toLower();
    });
    for (const PendingChange &c : scope)
        undoChange(c);
    m_workspace->savePending();
    return Success;
}

// --- history, difference, status, annotate ----------------------------------

QString Client::ownerOf(int changeset)
{
    if (!m_owners.contains(changeset))
        m_owners.insert(changeset, m_store->changeset(changeset).owner);
    return m_owners.value(changeset);
}

// The versions of a file up to a changeset, followed back through renames.
QVector<ItemVersion> Client::versionChain(const ItemRecord &record, int upTo) const
{
    QVector<ItemVersion> chain;
    ItemRecord current = record;
    int limit = upTo;
    for (int hops = 0; hops < 1000; ++hops) {
        QVector<ItemVersion> part;
        for (const ItemVersion &v : current.versions) {
            if (v.changeset > 0 && v.changeset <= limit)
                part.append(v);
        }
        // Only the stretch since the item last arrived here belongs to this file.
        int first = 0;
        for (int i = 0; i < part.size(); ++i) {
            if (part[i].change == "add" || part[i].change == "rename")
                first = i;
        }
        part = part.mid(first);
        chain = part + chain;
        if (part.isEmpty() || part.first().change != "rename" || part.first().from.isEmpty()
            || ServerPath::equal(part.first().from, current.path))
            break;
        limit = part.first().changeset - 1;
        current = m_store->item(part.first().from);
    }
    return chain;
}

int Client::history()
{
    const QStringList operands = requireOperands(1, 1);
    const VersionedItem versioned = VersionedItem::parse(operands.first());
    const QString format = m_args.has("format") ? m_args.value("format").toLower() : QString("brief");
    if (format != "brief" && format != "detailed" && format != "xml")
        fail(QString("The format '%1' is not valid: use brief, detailed or xml.").arg(m_args.value("format")));
    const bool recursive = m_args.has("recursive");
    bool itemMode = m_args.has("itemmode");
    if (itemMode && m_args.has("slotmode"))
        fail("The 'slotmode' option cannot be combined with the 'itemmode' option.");
    if (itemMode && recursive) {
        writeErr("Ignoring the 'itemmode' option.");
        itemMode = false;
    }
    int stopAfter = std::numeric_limits<int>::max();
    if (m_args.has("stopafter")) {
        bool ok = false;
        stopAfter = m_args.value("stopafter").toInt(&ok);
        if (!ok || stopAfter < 1)
            fail(QString("The value '%1' of the 'stopafter' option is not a positive number.")
                     .arg(m_args.value("stopafter")));
    }
    const Target t = resolve(versioned.item);
    const PendingChange *pending = m_workspace ? m_workspace->findPending(t.server) : nullptr;
    const QString server = pending && pending->rename ? pending->sourcePath : t.server;
    const ItemRecord record = m_store->item(server);
    if (record.isNull()) {
        // The cross-platform client takes an item the server never had for one without
        // history.
        if (m_grammar == Grammar::TfExe)
            fail(QString("No history entries were found for %1.").arg(operands.first()));
        writeOut(format == "xml" ? History::xml({})
                                 : "No history entries were found for the item and version combination "
                                   "specified.\n");
        return Success;
    }
    QStringList versions = m_args.has("version") ? m_args.value("version").split('~')
                                              : QStringList();
    if (!versioned.version.isEmpty()) {
        if (!versions.isEmpty())
            fail("A version was given twice: with the item and with the 'version' option.");
        versions = versioned.version.split('~');
    }
    if (versions.size() > 2)
        fail(QString("The version range '%1' is not valid.").arg(versions.join('~')));
    const int have = m_workspace && !t.local.isEmpty() ? m_workspace->have(server) : 0;
    int start = 1;
    // Without a version a local file's history ends at the version the workspace has; a
    // folder's items each have their own, so its history goes to the latest.
    int cutoff = have > 0 && !record.folder && QFileInfo::exists(t.local) ? have : m_store->head();
    if (!versions.isEmpty()) {
        cutoff = VersionSpec::parse(versions.last(), m_grammar).resolve(*m_store, have);
        if (versions.size() == 2)
            start = VersionSpec::parse(versions.first(), m_grammar).resolve(*m_store, have);
    }
    QVector<HistoryEntry> entries;
    if (record.folder && recursive) {
        entries = History::ofFolder(*m_store, server, start, cutoff, stopAfter);
    } else {
        entries = History::ofFile(*m_store, record, start, cutoff, itemMode);
        if (entries.size() > stopAfter)
            entries.resize(stopAfter);
    }
    if (m_args.has("user")) {
        const QString user = m_args.value("user");
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [&](const HistoryEntry &e) {
                                         return e.changeset.owner.compare(user, Qt::CaseInsensitive) != 0;
                                     }),
                      entries.end());
    }
    if (format == "xml")
        writeOut(History::xml(entries));
    else if (entries.isEmpty())
        writeOut("No history entries were found for the item and version combination specified.\n");
    else if (format == "detailed")
        writeOut(History::detailed(entries, m_grammar));
    else
        writeOut(History::brief(entries, !recursive));
    return Success;
}

QByteArray Client::fileContent(const QString &item, const QString &version)
{
    if (version.contains('~'))
        fail("A version range is not permitted for this operation.");
    const Target t = resolve(item);
    const int have = m_workspace && !t.local.isEmpty() ? m_workspace->have(t.server) : 0;
    const int changeset = version.isEmpty()
        ? m_store->head() : VersionSpec::parse(version, m_grammar).resolve(*m_store, have);
    const ItemRecord record = m_store->item(t.server);
    const ItemVersion *v = record.versionAt(changeset);
    if (record.folder || !v || v->change == "delete" || v->change == "renamed" || v->blob.isEmpty())
        fail("An argument error occurred: The specified file does not exist at the specified version.");
    return m_store->content(v->blob);
}

int Client::print()
{
    if (m_grammar == Grammar::TfExe)
        fail("Unrecognized command: print (tf.exe reads versions with view)", usageErrorCode(m_grammar));
    const VersionedItem versioned = VersionedItem::parse(requireOperands(1, 1).first());
    if (m_args.has("version") && !versioned.version.isEmpty())
        fail("A version was given twice: with the item and with the 'version' option.");
    const QByteArray content =
        fileContent(versioned.item, m_args.has("version") ? m_args.value("version") : versioned.version);
    // Raw, as it is stored: no conversion, no line end added.
    fwrite(content.constData(), 1, size_t(content.size()), stdout);
    return Success;
}

int Client::view()
{
    if (m_grammar != Grammar::TfExe)
        fail("An argument error occurred: The command 'view' is unknown.");
    const VersionedItem versioned = VersionedItem::parse(requireOperands(1, 1).first());
    if (m_args.has("version") && !versioned.version.isEmpty())
        fail("A version was given twice: with the item and with the /version option.");
    const QByteArray content =
        fileContent(versioned.item, m_args.has("version") ? m_args.value("version") : versioned.version);
    if (m_args.has("output")) {
        const QString output = localPath(m_args.value("output"));
        QSaveFile file(output);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
            fail(QString("%1 could not be written: %2").arg(output, file.errorString()));
        return Success;
    }
    fwrite(content.constData(), 1, size_t(content.size()), stdout);
    return Success;
}

Client::DiffSides Client::diffSides(const PendingChange &c)
{
    Workspace &ws = *m_workspace;
    const QString local = ws.localPathFor(c.serverPath);
    const QString source = c.rename ? c.sourcePath : c.serverPath;
    DiffSides sides{"/dev/null", {}, "/dev/null", {}, {}};
    if (!c.add) {
        // Keep the record alive while its version is read.
        const ItemRecord record = m_store->item(source);
        const ItemVersion *base = record.versionAt(c.baseVersion);
        if (base && !base->blob.isEmpty())
            sides.oldContent = m_store->content(base->blob);
        sides.oldLabel = QString("%1;C%2").arg(source).arg(c.baseVersion);
    }
    if (!c.remove) {
        sides.newLabel = local;
        if (QFileInfo(local).isFile()) {
            sides.newContent = readLocalFile(local);
            sides.newFile = local;
        }
    }
    return sides;
}

// Runs the user's compare tool on one file, the way the cross-platform client
// does: no shell, its output as ours, its exit code (diff's 1) not ours.
void Client::runCompareTool(const QStringList &command, const DiffSides &sides)
{
    auto tempFile = [](const QString &label, const QByteArray &content) {
        auto file = std::make_unique<QTemporaryFile>(
            QDir::tempPath() + "/tf-XXXXXX-" + QFileInfo(label.section(';', 0, 0)).fileName());
        if (!file->open() || file->write(content) != content.size() || !file->flush())
            fail(QString("Cannot write a temporary file for the compare: %1").arg(file->errorString()));
        file->close();
        return file;
    };
    const std::unique_ptr<QTemporaryFile> oldFile = tempFile(sides.oldLabel, sides.oldContent);
    std::unique_ptr<QTemporaryFile> newTemp;
    if (sides.newFile.isEmpty())
        newTemp = tempFile(sides.newLabel, sides.newContent);
    const QHash<QChar, QString> values = {{'1', oldFile->fileName()},
                                          {'2', newTemp ? newTemp->fileName() : sides.newFile},
                                          {'6', sides.oldLabel},
                                          {'7', sides.newLabel}};
    QStringList words;
    for (const QString &word : command) {
        // One pass, so that a label holding "%2" stays as it is.
        QString expanded;
        for (int i = 0; i < word.size(); ++i) {
            if (word.at(i) == '%' && i + 1 < word.size() && values.contains(word.at(i + 1))) {
                expanded += values.value(word.at(i + 1));
                ++i;
            } else {
                expanded += word.at(i);
            }
        }
        words.append(expanded);
    }
    fflush(stdout);
    fflush(stderr);
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedChannels);
    tool.setWorkingDirectory(m_cwd);
    tool.start(words.first(), words.mid(1));
    if (!tool.waitForStarted(-1))
        fail(QString("The compare tool %1 (from %2) cannot be started: %3")
                 .arg(words.first(), diffCommandEnvironmentVariable, tool.errorString()));
    // Our standard input may be the next command lines of `tf @`: not the tool's.
    tool.closeWriteChannel();
    tool.waitForFinished(-1);
    if (tool.exitStatus() != QProcess::NormalExit)
        fail(QString("The compare tool %1 (from %2) crashed.").arg(words.first(), diffCommandEnvironmentVariable));
}

int Client::difference()
{
    if (m_grammar == Grammar::TfExe) {
        const QString format = m_args.value("format").toLower();
        if (m_args.has("format") && format != "visual" && format != "unified")
            fail(QString("Unrecognized /format value: %1 (use Visual or Unified).").arg(m_args.value("format")),
                 UnrecognizedCommand);
    }
    QVector<PendingChange> scope = pendingInScope(m_args.operands(), m_args.has("recursive"));
    Workspace &ws = requireWorkspace();
    // tf.exe compares a file without a pending change with the workspace version too; the
    // cross-platform client compares pending changes only.
    for (const QString &operand : m_args.operands()) {
        const Target t = resolve(operand);
        if (ws.findPending(t.server) || !QFileInfo(t.local).isFile())
            continue;
        if (m_grammar == Grammar::CrossPlatform && !m_args.has("recursive"))
            fail(QString("There is no pending change for '%1'").arg(operand));
        const ItemRecord record = m_store->item(t.server);
        if (!record.isLive() || ws.have(t.server) == 0)
            fail(QString("No items match %1.").arg(operand));
        PendingChange c;
        c.serverPath = t.server;
        c.baseVersion = ws.have(t.server);
        c.edit = true;
        scope.append(c);
    }
    std::sort(scope.begin(), scope.end(), [](const PendingChange &a, const PendingChange &b) {
        return a.serverPath.toLower() < b.serverPath.toLower();
    });
    QStringList compareTool;
    if (m_grammar == Grammar::CrossPlatform) {
        compareTool = QProcess::splitCommand(qEnvironmentVariable(diffCommandEnvironmentVariable));
        if (compareTool.isEmpty())
            fail("No compare tool is set: set " + QString(diffCommandEnvironmentVariable)
                 + " to the command that compares two files, with %1 and %2 for the files and %6 and "
                   "%7 for their names, for example\n  export "
                 + diffCommandEnvironmentVariable + "='diff -u --label \"%6\" --label \"%7\" \"%1\" \"%2\"'");
    }
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    for (const PendingChange &c : scope) {
        const QString local = ws.localPathFor(c.serverPath);
        // The cross-platform client names each change, and names the two sides for the
        // compare tool by the path from the current directory and the change's date.
        if (m_grammar == Grammar::CrossPlatform)
            writeOut(c.kindText() + ": " + QDir::toNativeSeparators(local) + '\n');
        if (c.folder)
            continue;
        DiffSides sides = diffSides(c);
        if (m_grammar == Grammar::CrossPlatform) {
            const QString shown = fromCurrentDirectory(local);
            const QString date = english.toString(c.date.toLocalTime(), "M/d/yy, h:mm AP");
            sides.oldLabel = c.add ? QString("[no file]")
                                   : QString("%1;C%2  (server)    %3").arg(shown).arg(c.baseVersion).arg(date);
            sides.newLabel = sides.newFile.isEmpty() ? QString("[no target file]")
                                                     : QString("%1  (local)    %2").arg(shown, date);
        }
        if (compareTool.isEmpty())
            writeOut(unifiedDiff(sides.oldLabel, sides.oldContent, sides.newLabel, sides.newContent));
        else if (sides.oldContent != sides.newContent)
            runCompareTool(compareTool, sides);
    }
    return Success;
}

// Changes on disk that are not pending: a file that is neither on the server
// nor pending is a candidate add; a file of the workspace that is missing on
// disk and not pending is a candidate delete. Below a folder only with
// `recursive`, as for the pending changes themselves.
void Client::detectCandidates(const QString &server, const QString &local, bool recursive,
                              QVector<PendingChange> &candidates)
{
    if (local.isEmpty())
        return; // not mapped in this workspace
    Workspace &ws = *m_workspace;
    const QFileInfo info(local);
    const ItemRecord record = m_store->item(server);
    const bool onServer = record.isLive();
    if (info.isFile() || (!info.exists() && onServer && !record.folder)) {
        PendingChange c;
        c.serverPath = server;
        if (info.isFile() && !onServer && !ws.findPending(server)) {
            c.add = true;
            c.date = info.lastModified();
            candidates.append(c);
        } else if (!info.exists() && ws.have(server) > 0 && !ws.findPendingForServerItem(server)) {
            c.remove = true;
            c.baseVersion = ws.have(server);
            candidates.append(c);
        }
        return;
    }
    if (!recursive || (info.exists() && !info.isDir()))
        return;
    // The children on disk and on the server, by the server's case-blind names.
    QMap<QString, Target> children;
    if (info.isDir()) {
        const QFileInfoList entries = QDir(local).entryInfoList(
            QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
        for (const QFileInfo &entry : entries) {
            if (entry.isSymLink() && entry.isDir())
                continue; // following it could loop
            const QString child = ServerPath::child(server, entry.fileName());
            children.insert(child.toLower(), {child, entry.filePath()});
        }
    }
    if (onServer && record.folder) {
        for (const QString &child : m_store->childPaths(record)) {
            if (!children.contains(child.toLower()))
                children.insert(child.toLower(), {child, ws.localPathFor(child)});
        }
    }
    for (const Target &child : qAsConst(children))
        detectCandidates(child.server, child.local, true, candidates);
}

// The date as the clients print it in XML: local time with milliseconds and
// the offset from UTC, as in 2017-02-08T11:12:06.766-0500.
static QString xmlDate(const QDateTime &date)
{
    const QDateTime local = date.toLocalTime();
    const int minutes = local.offsetFromUtc() / 60;
    return local.toString("yyyy-MM-dd'T'HH:mm:ss.zzz") + (minutes < 0 ? '-' : '+')
        + QString("%1%2").arg(qAbs(minutes) / 60, 2, 10, QChar('0')).arg(qAbs(minutes) % 60, 2, 10, QChar('0'));
}

// The cross-platform client's layout: the declaration and the root on one
// line, two blanks of indent, the two lists only when something is listed.
QByteArray Client::statusXml(const QVector<PendingChange> &pending, const QVector<PendingChange> &candidates)
{
    Workspace &ws = *m_workspace;
    QByteArray body;
    QXmlStreamWriter xml(&body);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    auto writeChanges = [&](const QString &element, const QVector<PendingChange> &changes, bool candidate) {
        xml.writeStartElement(element);
        for (const PendingChange &c : changes) {
            const QString local = ws.localPathFor(c.serverPath);
            xml.writeEmptyElement("pending-change");
            xml.writeAttribute("server-item", c.serverPath);
            xml.writeAttribute("version", QString::number(c.baseVersion));
            xml.writeAttribute("owner", ws.owner());
            xml.writeAttribute("date", xmlDate(c.date));
            xml.writeAttribute("lock", "none");
            xml.writeAttribute("change-type", c.kindText());
            xml.writeAttribute("workspace", ws.name());
            if (c.rename)
                xml.writeAttribute("source-item", c.sourcePath);
            xml.writeAttribute("computer", ws.computer());
            xml.writeAttribute("local-item", QDir::toNativeSeparators(local));
            if (!candidate && !c.folder) {
                QFile file(local);
                const bool binary = file.open(QIODevice::ReadOnly) && file.read(8192).contains('\0');
                xml.writeAttribute("file-type", binary ? "binary" : "UTF-8");
            }
        }
        xml.writeEndElement();
    };
    xml.writeStartElement("status");
    if (!pending.isEmpty() || !candidates.isEmpty()) {
        // By server path, as the server hands them over.
        QVector<PendingChange> sorted = pending;
        std::sort(sorted.begin(), sorted.end(), [](const PendingChange &a, const PendingChange &b) {
            return a.serverPath.compare(b.serverPath, Qt::CaseInsensitive) < 0;
        });
        writeChanges("pending-changes", sorted, false);
        writeChanges("candidate-pending-changes", candidates, true);
    }
    xml.writeEndElement();
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + body.trimmed() + '\n';
}

// tf.exe's layout: the pending changes of each workspace in a PendingSet, as
// the server hands them over, the kinds of change a blank-separated list of
// the server's names ("Add Edit Encoding" for a new file). A server
// workspace, which is what the stand-in keeps, has no candidates.
QByteArray Client::tfExeStatusXml(const QVector<PendingChange> &pending)
{
    Workspace &ws = *m_workspace;
    QByteArray body;
    QXmlStreamWriter xml(&body);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartElement("Status");
    xml.writeStartElement("PendingSet");
    xml.writeAttribute("computer", ws.computer());
    xml.writeAttribute("name", ws.name());
    xml.writeAttribute("owner", ws.owner());
    xml.writeAttribute("ownerdisp", ws.owner());
    xml.writeAttribute("ownership", "0");
    xml.writeStartElement("PendingChanges");
    int id = 0;
    for (const PendingChange &c : pending) {
        QStringList kinds;
        if (c.add)
            kinds << "Add" << (c.folder ? QStringList() : QStringList{"Edit"}) << "Encoding";
        if (c.edit && !c.add)
            kinds << "Edit";
        if (c.rename)
            kinds << "Rename";
        if (c.remove)
            kinds << "Delete";
        const QString local = ws.localPathFor(c.serverPath);
        const ItemRecord record = m_store->item(c.rename ? c.sourcePath : c.serverPath);
        QString encoding = "-3"; // a folder's
        if (!c.folder) {
            QFile file(local);
            encoding = file.open(QIODevice::ReadOnly) && file.read(8192).contains('\0') ? "-1" : "65001";
        }
        xml.writeEmptyElement("PendingChange");
        xml.writeAttribute("chg", kinds.join(' '));
        xml.writeAttribute("date", c.date.toUTC().toString("yyyy-MM-dd'T'HH:mm:ss.zzz'Z'"));
        xml.writeAttribute("enc", encoding);
        xml.writeAttribute("hash", "");
        xml.writeAttribute("item", c.serverPath);
        // The server's identity of the item; an add has none until it is checked in.
        xml.writeAttribute("itemid", record.isLive()
                                         ? QString::number(ServerPath::key(record.path).left(7).toInt(nullptr, 16))
                                         : QString("0"));
        xml.writeAttribute("local", QDir::toNativeSeparators(local));
        xml.writeAttribute("pcid", QString::number(++id));
        xml.writeAttribute("psn", ws.name());
        xml.writeAttribute("pso", ws.owner());
        xml.writeAttribute("psod", ws.owner());
        if (c.rename)
            xml.writeAttribute("srcitem", c.sourcePath);
        xml.writeAttribute("svrfm", "0");
        xml.writeAttribute("type", c.folder ? "Folder" : "File");
        xml.writeAttribute("uhash", "");
        xml.writeAttribute("ver", QString::number(c.baseVersion));
    }
    xml.writeEndDocument();
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" + body.trimmed() + '\n';
}

int Client::status()
{
    const QString format = m_args.value("format").toLower();
    if (m_args.has("format") && format != "brief" && format != "detailed" && format != "xml") {
        if (m_grammar == Grammar::CrossPlatform)
            failArgument("Option 'format' requires one of the following values: brief|detailed|xml");
        fail(QString("Unrecognized format: %1 (use brief, detailed or xml).").arg(m_args.value("format")),
             usageErrorCode(m_grammar));
    }
    const bool recursive = m_args.has("recursive") || m_args.operands().isEmpty();
    const QVector<PendingChange> scope = pendingInScope(m_args.operands(), recursive);
    Workspace &ws = requireWorkspace();
    if (format == "xml" && m_grammar == Grammar::TfExe) {
        writeOut(QString::fromUtf8(tfExeStatusXml(scope)));
        return Success;
    }
    if (format == "xml") {
        QVector<PendingChange> candidates;
        if (!m_args.has("nodetect") && qEnvironmentVariable(candidatesEnvironmentVariable) == "1") {
            QVector<Target> targets;
            for (const QString &operand : m_args.operands())
                targets.append(resolve(operand));
            if (targets.isEmpty()) {
                for (const Mapping &m : ws.mappings())
                    targets.append({m.serverPath, m.localPath});
            }
            for (const Target &t : targets) {
                if (!t.local.isEmpty())
                    detectCandidates(t.server, t.local, recursive, candidates);
            }
        }
        writeOut(QString::fromUtf8(statusXml(scope, candidates)));
        return Success;
    }
    if (scope.isEmpty()) {
        writeOut(m_grammar == Grammar::CrossPlatform ? "There are no matching pending changes.\n"
                                                     : "There are no pending changes.\n");
        return Success;
    }
    // The clients' table: the changes in the order they were made, under a heading for each
    // run of them in one server folder; tight columns but the last, whose dashes reach the
    // 79th column.
    int nameWidth = QString("File name").size();
    int changeWidth = QString("Change").size();
    for (const PendingChange &c : scope) {
        nameWidth = std::max({nameWidth, int(ServerPath::name(c.serverPath).size()),
                              int(ServerPath::parent(c.serverPath).size())});
        changeWidth = std::max(changeWidth, int(c.kindText().size()));
    }
    QString text = padded("File name", nameWidth + 1) + padded("Change", changeWidth + 1) + "Local path\n";
    text += QString(nameWidth, '-') + ' ' + QString(changeWidth, '-') + ' '
        + QString(std::max(79 - nameWidth - changeWidth - 2, 10), '-') + '\n';
    QString folder;
    for (const PendingChange &c : scope) {
        const QString parent = ServerPath::parent(c.serverPath);
        if (parent != folder) {
            if (!folder.isNull())
                text += QString(nameWidth + 1, ' ') + '\n';
            text += padded(parent, nameWidth + 1) + '\n';
            folder = parent;
        }
        text += padded(ServerPath::name(c.serverPath), nameWidth + 1) + padded(c.kindText(), changeWidth + 1)
            + QDir::toNativeSeparators(ws.localPathFor(c.serverPath)) + '\n';
    }
    text += QString("\n%1 change(s)\n").arg(scope.size());
    writeOut(text);
    return Success;
}

int Client::annotate()
{
    const QStringList operands = requireOperands(1, 1);
    const Target t = resolve(operands.first());
    const PendingChange *pending = m_workspace ? m_workspace->findPending(t.server) : nullptr;
    const QString server = pending && pending->rename ? pending->sourcePath : t.server;
    const ItemRecord record = m_store->item(server);
    if ((!record.isLive() && !(pending && pending->add)) || record.folder)
        fail(QString("No file matches %1 on the server.").arg(operands.first()));

    struct Line { int changeset; QString owner; QString text; };
    QVector<Line> lines;
    auto apply = [&](const QByteArray &content, int changeset, const QString &owner) {
        const QStringList newTexts = splitLines(content);
        QStringList oldTexts;
        for (const Line &l : lines)
            oldTexts.append(l.text);
        QVector<Line> next;
        for (const DiffOp &op : diffLines(oldTexts, newTexts)) {
            if (op.kind == DiffOp::Equal)
                next.append({lines[op.oldLine].changeset, lines[op.oldLine].owner, newTexts[op.newLine]});
            else if (op.kind == DiffOp::Insert)
                next.append({changeset, owner, newTexts[op.newLine]});
        }
        lines = next;
    };
    const int have = m_workspace ? m_workspace->have(server) : 0;
    QByteArray last;
    if (record.isLive()) {
        for (const ItemVersion &v : versionChain(record, have > 0 ? have : m_store->head())) {
            if (v.blob.isEmpty())
                continue;
            last = m_store->content(v.blob);
            apply(last, v.changeset, ownerOf(v.changeset));
        }
    }
    // Lines changed in the workspace and not yet checked in.
    if (!t.local.isEmpty() && QFileInfo(t.local).isFile()) {
        const QByteArray local = readLocalFile(t.local);
        if (local != last)
            apply(local, 0, "(local)");
    }
    QString text;
    for (const Line &l : lines) {
        text += padded(l.changeset > 0 ? QString::number(l.changeset) : QString("*"), 7)
            + padded(l.owner, 14) + l.text + '\n';
    }
    writeOut(text);
    return Success;
}

// --- workspaces and mappings ----------------------------------------------------

int Client::workspace()
{
    const QStringList operands = requireOperands(1, 1);
    const QString name = operands.first();
    if (m_args.has("new") == m_args.has("delete"))
        fail("Give either -new or -delete with the command workspace.");
    ServerStore &store = openStore(storeDirectoryFromOptions());
    if (m_args.has("new")) {
        Workspace::create(store, name, m_owner, QSysInfo::machineHostName(), m_args.value("comment"));
        // A new workspace maps nothing yet; the cache knows it from now on.
        WorkspaceCache::insert({collectionUri(), name, m_owner, m_owner, QSysInfo::machineHostName(),
                                m_args.value("comment"), {}});
        writeOut(workspaceCreated(name, store));
        return Success;
    }
    Workspace ws(store, name);
    if (!ws.pending().isEmpty())
        fail(QString("The workspace %1 has %2 pending change(s); check them in or undo them first.")
                 .arg(name).arg(ws.pending().size()));
    WorkspaceCache::remove(collectionUri(), ws.name());
    if (!QDir(store.workspacesDirectory() + '/' + ws.name().toLower()).removeRecursively())
        fail(QString("Cannot remove the workspace %1.").arg(name));
    writeOut(m_grammar == Grammar::CrossPlatform
                 ? QString("Workspace '%1' deleted.\n").arg(name)
                 : QString("Workspace %1 deleted; its local files were kept.\n").arg(name));
    return Success;
}

// What the cache holds for a workspace kept on the server.
CachedWorkspace cacheEntry(const QString &server, const Workspace &ws)
{
    CachedWorkspace entry{server, ws.name(), ws.owner(), ws.owner(), ws.computer(), ws.comment(), {}};
    for (const Mapping &m : ws.mappings())
        entry.mappedPaths.append(m.localPath);
    return entry;
}

// A table as the client prints one: each column as wide as its widest cell,
// the last one filling the line, a row of dashes under the headings.
QString table(const QStringList &headings, const QVector<QStringList> &rows)
{
    QVector<int> widths;
    for (const QString &h : headings)
        widths.append(h.size());
    for (const QStringList &row : rows) {
        for (int i = 0; i < row.size(); ++i)
            widths[i] = qMax(widths[i], row[i].size());
    }
    int used = 0;
    for (int i = 0; i + 1 < widths.size(); ++i)
        used += widths[i] + 1;
    widths.last() = qMax(widths.last(), 79 - used);
    auto line = [&](const QStringList &cells) {
        QString text;
        for (int i = 0; i < cells.size(); ++i)
            text += i + 1 < cells.size() ? padded(cells[i], widths[i] + 1) : cells[i];
        return text + '\n';
    };
    QStringList dashes;
    for (int w : widths)
        dashes.append(QString(w, '-'));
    QString text = line(headings) + line(dashes);
    for (const QStringList &row : rows)
        text += line(row);
    return text;
}

// Without a collection the cache alone is listed (and no server is asked);
// with one, the server's workspaces of the user on this computer, and the
// cache is brought up to date with them. -remove: forgets cached workspaces.
int Client::workspaces()
{
    const QStringList operands = requireOperands(0, 1);
    const QString format = m_args.has("format") ? m_args.value("format").toLower() : QString("brief");
    if (format != "brief" && format != "detailed" && format != "xml")
        failArgument("Option 'format' requires one of the following values: brief|detailed|xml");
    if (m_args.has("remove")) {
        if (!operands.isEmpty())
            failArgument("Workspace names cannot be given with the remove option.");
        const QString server = absoluteCollection(m_args.value("collection"), m_cwd);
        QStringList names;
        for (const QString &name : m_args.value("remove").split(',')) {
            if (!name.trimmed().isEmpty())
                names.append(name.trimmed());
        }
        if (names.isEmpty())
            failArgument("The remove option requires at least one workspace name or the wildcard *.");
        int code = Success;
        for (const QString &name : names) {
            const QVector<CachedWorkspace> removed = WorkspaceCache::remove(server, name == "*" ? QString() : name);
            for (const CachedWorkspace &ws : removed)
                writeOut(ws.name + ';' + ws.ownerDisplayName + '\n');
            if (removed.isEmpty()) {
                writeErr(server.isEmpty()
                             ? QString("No workspace in the cache matches %1 for all servers.").arg(name)
                             : QString("No workspace in the cache matches %1 for server %2.").arg(name, server));
                code = PartialSuccess;
            }
        }
        return code;
    }
    if (!m_args.has("collection") && operands.isEmpty()) {
        if (format != "brief")
            failArgument("The detailed and XML formats cannot be used when listing all workspaces on this "
                         "computer.  To use the detailed or XML format, please specify the collection option.");
        const QVector<CachedWorkspace> cached = WorkspaceCache::workspaces();
        if (cached.isEmpty()) {
            writeOut("No local workspaces found.\n");
            return PartialSuccess;
        }
        QMap<QString, QVector<QStringList>> byServer;
        for (const CachedWorkspace &ws : cached)
            byServer[ws.server].append({ws.name, ws.ownerDisplayName, ws.computer, ws.comment});
        QStringList parts;
        for (auto it = byServer.cbegin(); it != byServer.cend(); ++it)
            parts.append(QString("Collection: %1/\n").arg(it.key())
                         + table({"Workspace", "Owner", "Computer", "Comment"}, it.value()));
        writeOut(parts.join('\n'));
        return Success;
    }

    connect(false);
    ServerStore &store = openStore(storeDirectoryFromOptions());
    const QString computer = QSysInfo::machineHostName();
    QVector<CachedWorkspace> mine;
    QVector<CachedWorkspace> listed;
    for (const QString &name : Workspace::names(store)) {
        const Workspace ws(store, name);
        if (ws.owner().compare(m_owner, Qt::CaseInsensitive) != 0
            || ws.computer().compare(computer, Qt::CaseInsensitive) != 0)
            continue;
        mine.append(cacheEntry(collectionUri(), ws));
        if (operands.isEmpty() || operands.first() == "*"
            || ws.name().compare(operands.first(), Qt::CaseInsensitive) == 0)
            listed.append(mine.last());
    }
    WorkspaceCache::replaceOwnerWorkspaces(collectionUri(), m_owner, mine);
    if (listed.isEmpty()) {
        writeOut(QString("No workspace matching %1;%2 on computer %3 found in Team Foundation Server %4.\n")
                     .arg(operands.isEmpty() ? QString("*") : operands.first(), m_owner,
                          computer.section('.', 0, 0), collectionUri()));
        if (!operands.isEmpty())
            return PartialSuccess;
    }
    if (format == "xml") {
        QByteArray body;
        QXmlStreamWriter xml(&body);
        xml.setAutoFormatting(true);
        xml.setAutoFormattingIndent(2);
        xml.writeStartElement("workspaces");
        for (const CachedWorkspace &entry : listed) {
            const Workspace ws(store, entry.name);
            xml.writeStartElement("workspace");
            xml.writeAttribute("name", ws.name());
            xml.writeAttribute("owner", ws.owner());
            xml.writeAttribute("owner-display-name", ws.owner());
            xml.writeAttribute("computer", ws.computer());
            xml.writeAttribute("comment", ws.comment());
            xml.writeAttribute("server", collectionUri());
            for (const Mapping &m : ws.mappings()) {
                xml.writeEmptyElement("working-folder");
                xml.writeAttribute("server-item", m.serverPath);
                xml.writeAttribute("local-item", m.localPath);
                xml.writeAttribute("type", "map");
                xml.writeAttribute("depth", "full");
            }
            xml.writeEndElement();
        }
        xml.writeEndElement();
        // The declaration and the root share a line, as the client writes them.
        writeOut("<?xml version=\"1.0\" encoding=\"utf-8\"?>" + QString::fromUtf8(body).trimmed() + '\n');
        return Success;
    }
    QVector<QStringList> rows;
    for (const CachedWorkspace &ws : listed)
        rows.append({ws.name, ws.ownerDisplayName, ws.computer, ws.comment});
    writeOut(QString("Collection: %1/\n").arg(collectionUri()) + table({"Workspace", "Owner", "Computer", "Comment"}, rows));
    return Success;
}

int Client::workfold()
{
    if (m_args.has("map") && m_args.has("unmap"))
        fail("Give either -map or -unmap with the command workfold.");
    const QString workspaceName = m_args.value("workspace").section(';', 0, 0);
    if (!m_args.has("map") && !m_args.has("unmap")) {
        requireOperands(0, 1);
        Workspace *ws = nullptr;
        if (!workspaceName.isEmpty()) {
            m_workspace = std::make_unique<Workspace>(openStore(storeDirectoryFromOptions()), workspaceName);
            ws = m_workspace.get();
        } else {
            ws = m_args.operands().isEmpty() ? &requireWorkspace()
                                             : &workspaceForLocalPath(localPath(m_args.operands().first()));
        }
        QString text = QString("Workspace : %1 (%2)\nCollection: %3\n")
                           .arg(ws->name(), ws->owner(), ws->store().directory());
        for (const Mapping &m : ws->mappings())
            text += QString(" %1: %2\n").arg(m.serverPath, m.localPath);
        writeOut(text);
        return Success;
    }
    if (m_args.has("unmap")) {
        const QString local = localPath(requireOperands(1, 1).first());
        Workspace &ws = workspaceForLocalPath(local);
        const auto &mappings = ws.mappings();
        if (std::none_of(mappings.begin(), mappings.end(), [&](const Mapping &m) { return m.localPath == local; }))
            fail(QString("%1 is not the root of a mapping; unmap %2 or the folder it is mapped with.").arg(local, ws.name()));
        for (const PendingChange &c : ws.pending()) {
            if (ServerPath::isUnder(ws.serverPathFor(local).isEmpty() ? QString() : c.serverPath, ws.serverPathFor(local)))
                fail(QString("%1 holds pending changes; check them in or undo them first.").arg(local));
        }
        ws.removeMapping(local);
        ws.saveDefinition();
        WorkspaceCache::setMappedPaths(collectionUri(), ws.name(), cacheEntry(collectionUri(), ws).mappedPaths);
        // The cross-platform client maps and unmaps without a word.
        if (m_grammar != Grammar::CrossPlatform)
            writeOut(QString("Unmapped %1 from the workspace %2.\n").arg(local, ws.name()));
        return Success;
    }

    const QStringList operands = requireOperands(2, 2);
    const QString server = ServerPath::normalize(operands[0]);
    const QString local = localPath(operands[1]);
    if (QFileInfo(local).exists() && !QFileInfo(local).isDir())
        fail(QString("%1 is a file; map a folder to a directory.").arg(local));
    Workspace *ws = nullptr;
    if (!workspaceName.isEmpty()) {
        m_workspace = std::make_unique<Workspace>(openStore(storeDirectoryFromOptions()), workspaceName);
        ws = m_workspace.get();
    } else if (m_cached) {
        // The cross-platform client maps into the workspace it found for the
        // paths or the current directory, and into no other.
        ws = &openCachedWorkspace(*m_cached);
    } else {
        if (!m_args.has("collection"))
            ws = workspaceForWorkingDirectory();
        if (!ws) {
            ServerStore &store = openStore(storeDirectoryFromOptions());
            const QString name = defaultWorkspaceName();
            if (!Workspace::exists(store, name)) {
                Workspace::create(store, name, m_owner, QSysInfo::machineHostName(), QString());
                writeOut(workspaceCreated(name, store));
            }
            m_workspace = std::make_unique<Workspace>(store, name);
            ws = m_workspace.get();
        }
    }
    for (const CachedWorkspace &e : cachedWorkspaces()) {
        for (const QString &root : e.mappedPaths) {
            const bool overlaps = local == root || local.startsWith(root + '/') || root.startsWith(local + '/')
                || root == "/" || local == "/";
            if (overlaps)
                fail(QString("%1 overlaps %2, which is already mapped in the workspace %3.").arg(local, root, e.name));
        }
    }
    for (const Mapping &m : ws->mappings()) {
        if (ServerPath::isUnder(server, m.serverPath) || ServerPath::isUnder(m.serverPath, server))
            fail(QString("%1 overlaps %2, which the workspace %3 already maps.").arg(server, m.serverPath, ws->name()));
    }
    ws->addMapping({server, local});
    ws->saveDefinition();
    // An entry made before the cache knew this workspace (by an earlier stand-in) is made now.
    WorkspaceCache::insert(cacheEntry(collectionUri(), *ws));
    if (m_grammar != Grammar::CrossPlatform)
        writeOut(QString("Mapped %1 to %2 in the workspace %3.\n").arg(server, local, ws->name()));
    return Success;
}

// --- servers and users ------------------------------------------------------------

int Client::init()
{
    requireOperands(0, 0);
    ServerStore store(storeDirectoryFromOptions());
    store.create();
    writeOut(QString("Created an empty server at %1.\n").arg(store.directory()));
    return Success;
}

int Client::seed()
{
    requireOperands(0, 0);
    ServerStore store(storeDirectoryFromOptions());
    store.create();
    const QByteArray cmake =
        "cmake_minimum_required(VERSION 3.16)\nproject(App LANGUAGES CXX)\n\nadd_executable(app main.cpp)\n";
    const QByteArray main1 = "#include <iostream>\n\nint main()\n{\n    return 0;\n}\n";
    const QByteArray main2 =
        "#include <iostream>\n\nint main()\n{\n    std::cout << \"Hello from App\" << std::endl;\n    return 0;\n}\n";
    const QByteArray readme1 = "# App\n\nA small sample project.\n";
    const QByteArray readme2 =
        "# App\n\nA small sample project.\n\nBuild it with CMake:\n\n    cmake -S . -B build && cmake --build build\n";
    store.commit({{PendingCommit::AddFolder, "$/Demo", {}, {}},
                  {PendingCommit::AddFolder, "$/Demo/App", {}, {}},
                  {PendingCommit::AddFile, "$/Demo/App/CMakeLists.txt", {}, cmake},
                  {PendingCommit::AddFile, "$/Demo/App/main.cpp", {}, main1},
                  {PendingCommit::AddFile, "$/Demo/App/README.md", {}, readme1}},
                 "alice", "Create the App project");
    store.commit({{PendingCommit::Edit, "$/Demo/App/main.cpp", {}, main2}}, "bob", "Print a greeting");
    store.commit({{PendingCommit::Edit, "$/Demo/App/README.md", {}, readme2}}, "alice", "Describe the build");
    writeOut(QString("Created a server at %1 with the project $/Demo/App (3 changesets).\n").arg(store.directory()));
    return Success;
}

int Client::useradd()
{
    const QStringList operands = requireOperands(2, 2);
    ServerStore &store = openStore(storeDirectoryFromOptions());
    store.addUser(operands[0], operands[1]);
    writeOut(QString("User %1 added.\n").arg(operands[0]));
    return Success;
}

int Client::help()
{
    const QStringList operands = requireOperands(0, 1);
    if (operands.isEmpty()) {
        writeOut(usage(m_tool, m_grammar));
        return Success;
    }
    const CommandSpec *command = findCommand(m_tool, operands.first());
    if (!command && m_grammar == Grammar::CrossPlatform)
        failArgument(QString("The command '%1' is unknown.").arg(operands.first()));
    if (!command)
        fail(QString("Unrecognized command: %1").arg(operands.first()), usageErrorCode(m_grammar));
    writeOut(commandHelp(m_tool, *command, m_grammar));
    return Success;
}

// Reads a line of the person's answer; false at the end of the input.
bool readAnswer(QString *answer)
{
    std::string line;
    if (!std::getline(std::cin, line))
        return false;
    *answer = QString::fromUtf8(line.data(), int(line.size()));
    return true;
}

// As the cross-platform client asks: the licence a page at a time (a page is
// the terminal's height less three lines, 22 when there is no terminal), then
// the question, whose answer must start with "y". Already accepted is a
// partial success; -noprompt cannot accept it.
int Client::eula()
{
    requireOperands(0, 0);
    if (Licence::isAccepted()) {
        writeErr("You have already accepted the terms of this End User License Agreement.");
        return PartialSuccess;
    }
    if (m_args.has("noprompt"))
        fail("You cannot use 'noprompt' mode with the 'eula' command.");
    if (!m_args.has("accept")) {
        int rows = 25;
        winsize size = {};
        if (::isatty(STDOUT_FILENO) && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 0)
            rows = size.ws_row;
        const int page = rows < 3 ? std::numeric_limits<int>::max() : rows - 3;
        const QStringList lines = Licence::text();
        QString ignored;
        for (int i = 0; i < lines.size(); ++i) {
            writeOut(lines[i] + '\n');
            if (i > 0 && i % page == 0) {
                // The answer is not echoed back when there is a terminal to ask;
                // without one the client says so, as here.
                if (!::isatty(STDIN_FILENO))
                    writeErr("(Warning: local echo could not be disabled; characters will echo)");
                writeOut("\n-- Press enter to continue --");
                fflush(stdout);
                readAnswer(&ignored);
                writeOut("\n");
            }
        }
        writeOut("\nDo you accept the terms of this End User License Agreement? [y/N]: ");
        fflush(stdout);
        QString answer;
        if (!readAnswer(&answer) || !answer.toLower().startsWith('y'))
            return Failure;
    }
    Licence::accept();
    return Success;
}

} // namespace

// Runs one command line and answers as the process would: its output
// flushed, a failure's message on standard error. With -exitcode the
// cross-platform client adds the exit code after the command's output.
static int runCommandLine(Tool tool, Grammar grammar, const QStringList &args)
{
    int code = Failure;
    // The client reads -exitcode only when it read the command line that far.
    int readUpTo = args.size();
    try {
        Client client(tool, grammar, args);
        code = client.run();
    } catch (const Error &e) {
        writeErr(e.message);
        code = e.code;
        if (!e.badWord.isNull())
            readUpTo = args.indexOf(e.badWord);
    } catch (const std::exception &e) {
        writeErr(QString("Internal error: %1").arg(e.what()));
        code = Failure;
    }
    const bool exitCodeAsked = std::any_of(args.begin(), args.begin() + qMax(0, readUpTo), [](const QString &arg) {
        return arg.compare("-exitcode", Qt::CaseInsensitive) == 0;
    });
    if (grammar == Grammar::CrossPlatform && exitCodeAsked)
        writeOut(QString("ExitCode: %1\n\n").arg(code));
    fflush(stdout);
    fflush(stderr);
    return code;
}

// The exit code of a command file that ran no line, the cross-platform
// client's -1 as a process sees it.
const int nothingRun = 255;

// `tf @` (standard input) and `tf @FILE`: one command line a line. Nothing is
// opened before a line arrives, so a client started ahead of need holds no
// lock. The outer command line's other words are what %1, %2 ... stand for;
// the cross-platform client also looks among them, wherever they are, for
// -continueOnError and -outputSeparator:TEXT.
static int runCommandFile(Tool tool, Grammar grammar, const QStringList &args)
{
    const bool crossPlatform = grammar == Grammar::CrossPlatform;
    bool continueOnError = false;
    bool separated = false;
    QByteArray separator;
    for (const QString &word : args.mid(1)) {
        const int colon = word.indexOf(':');
        const QString name = word.mid(1, colon < 0 ? -1 : colon - 1).toLower();
        if (!crossPlatform || !word.startsWith('-'))
            continue;
        if (name == "continueonerror" && colon < 0)
            continueOnError = true;
        if (name == "outputseparator" && colon >= 0 && colon + 1 < word.size()) {
            separated = true;
            separator = (word.mid(colon + 1) + '\n').toUtf8();
        }
    }

    QFile file;
    if (args.first() != "@") {
        file.setFileName(args.first().mid(1));
        if (!file.open(QIODevice::ReadOnly)) {
            writeErr(QString("The command file '%1' could not be found.").arg(file.fileName()));
            return crossPlatform ? nothingRun : Failure;
        }
    }
    auto nextLine = [&](QString *text) {
        if (file.isOpen()) {
            if (file.atEnd())
                return false;
            *text = QString::fromUtf8(file.readLine());
        } else {
            std::string line;
            if (!std::getline(std::cin, line))
                return false;
            *text = QString::fromUtf8(line.data(), int(line.size()));
        }
        while (text->endsWith('\n') || text->endsWith('\r'))
            text->chop(1);
        return true;
    };

    int result = -1;
    QString text;
    while (nextLine(&text)) {
        if (text.trimmed().isEmpty())
            continue;
        QString line = text.mid(int(text.indexOf(QRegExp("\\S"))));
        if (line.startsWith("rem ", Qt::CaseInsensitive) || line.startsWith('#'))
            continue;
        for (int i = 1; i < args.size(); ++i)
            line.replace('%' + QString::number(i), args[i]);
        // A quoted word left open runs to the end of the line.
        QStringList words;
        splitCommandLine(line, &words);
        const int code = runCommandLine(tool, grammar, words);
        if (separated) {
            fwrite(separator.constData(), 1, size_t(separator.size()), stdout);
            fwrite(separator.constData(), 1, size_t(separator.size()), stderr);
            fflush(stdout);
            fflush(stderr);
        }
        if (code == Success) {
            if (result != PartialSuccess)
                result = Success;
        } else if (continueOnError) {
            result = PartialSuccess;
        } else {
            result = code;
            break;
        }
    }
    if (result < 0)
        return crossPlatform ? nothingRun : Success;
    return result;
}

int runTool(Tool tool, int argc, char **argv)
{
    // File names and arguments are UTF-8 whatever the locale says, so that a
    // C locale does not turn non-ASCII paths into question marks.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    // The store's lock file records the program name; it must match the
    // running executable for the lock not to be taken for stale.
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    QCoreApplication::setApplicationName(
        QFileInfo(exe.isEmpty() ? QString::fromLocal8Bit(argv[0]) : exe).fileName());
    try {
        const QString startup = qEnvironmentVariable(startupEnvironmentVariable);
        if (!startup.isEmpty()) {
            bool ok = false;
            const int ms = startup.toInt(&ok);
            if (!ok || ms < 0)
                fail(QString("%1 must be a number of milliseconds; it is \"%2\".")
                         .arg(startupEnvironmentVariable, startup));
            QThread::msleep(ulong(ms));
        }
        const Grammar grammar = grammarFromEnvironment();
        QStringList args;
        for (int i = 1; i < argc; ++i)
            args.append(QString::fromUtf8(argv[i]));
        if (!args.isEmpty() && args.first().startsWith('@'))
            return runCommandFile(tool, grammar, args);
        return runCommandLine(tool, grammar, args);
    } catch (const Error &e) {
        writeErr(e.message);
        fflush(stdout);
        return e.code;
    }
}

} // namespace Tf
