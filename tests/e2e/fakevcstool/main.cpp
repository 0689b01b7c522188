// The executable that the fake version control runs. It writes every call (working directory
// and arguments) to the file named by FAKEVCS_LOG, and keeps its "repository" in the marker
// file .fakevcs at the top of the working copy: one "tracked <relative path>" line per file.
//
// FAKEVCS_FAIL=cmd1,cmd2 makes those commands fail with exit code 1 and change nothing;
// FAKEVCS_OPEN_KEEPS_READONLY=1 makes "open" succeed without making the file writable;
// FAKEVCS_LOG_DELAY_MS=N makes "log" print its pid, then take N milliseconds.
//
// Pending changes: open, add, delete and move record what they did in .fakevcs-pending at the
// top of the working copy, one "TYPES|relative path" line per file ("edit, rename|b.cpp");
// "pending DIR" prints the pending changes at and below DIR, then the candidates (files
// neither tracked nor pending), one "pending|TYPES|ABSOLUTE PATH|SERVER ITEM" or
// "candidate|..." line each; undo and checkin drop the files' pending
// changes, compare prints a line. FAKEVCS_PENDING_DELAY_MS=N makes "pending" take N
// milliseconds.

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTextStream>

#include <QThread>

#include <cstdio>

namespace {
const char MARKER[] = ".fakevcs";

void out(const QString &text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stdout);
}

int fail(const QString &text)
{
    std::fputs(qPrintable(QLatin1String("fakevcs: ") + text + QLatin1Char('\n')), stderr);
    return 1;
}

QString topLevelOf(const QString &path)
{
    QDir dir(QFileInfo(path).isDir() ? path : QFileInfo(path).absolutePath());
    do {
        if (dir.exists(QLatin1String(MARKER)))
            return dir.absolutePath();
    } while (dir.cdUp());
    return QString();
}

QStringList readMarker(const QString &top)
{
    QFile file(top + QLatin1Char('/') + QLatin1String(MARKER));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool writeMarker(const QString &top, const QStringList &lines)
{
    QFile file(top + QLatin1Char('/') + QLatin1String(MARKER));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    return true;
}

QString trackedLine(const QString &top, const QString &file)
{
    return QLatin1String("tracked ") +
           QDir(top).relativeFilePath(QFileInfo(file).absoluteFilePath());
}

void record(const QStringList &args)
{
    const QString log = qEnvironmentVariable("FAKEVCS_LOG");
    if (log.isEmpty())
        return;
    QFile file(log);
    if (!file.open(QIODevice::Append))
        return;
    QStringList fields{QDir::currentPath()};
    fields += args;
    file.write((fields.join(QLatin1Char('|')) + QLatin1Char('\n')).toUtf8());
}

const char PENDING[] = ".fakevcs-pending";

// relative path -> change types, e.g. {"edit", "rename"}
using Pending = QMap<QString, QStringList>;

Pending readPending(const QString &top)
{
    Pending pending;
    QFile file(top + QLatin1Char('/') + QLatin1String(PENDING));
    if (!file.open(QIODevice::ReadOnly))
        return pending;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const int bar = line.indexOf(QLatin1Char('|'));
        if (bar > 0)
            pending.insert(line.mid(bar + 1), line.left(bar).split(QLatin1String(", ")));
    }
    return pending;
}

bool writePending(const QString &top, const Pending &pending)
{
    QString text;
    for (auto it = pending.cbegin(); it != pending.cend(); ++it)
        text +=
            it.value().join(QLatin1String(", ")) + QLatin1Char('|') + it.key() + QLatin1Char('\n');
    QFile file(top + QLatin1Char('/') + QLatin1String(PENDING));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) >= 0;
}

QString relative(const QString &top, const QString &file)
{
    return QDir(top).relativeFilePath(QFileInfo(file).absoluteFilePath());
}

// Records a pending change of 'file' made by 'command' (open, add, delete), or of a move.
void recordPending(const QString &command, const QString &file, const QString &to = QString())
{
    const QString top = topLevelOf(file);
    if (top.isEmpty())
        return;
    Pending pending = readPending(top);
    const QString name = relative(top, file);
    QStringList types = pending.value(name);
    if (command == QLatin1String("open") && !types.contains(QLatin1String("add")) &&
        !types.contains(QLatin1String("edit")))
        types << QStringLiteral("edit");
    else if (command == QLatin1String("add"))
        types = QStringList{QStringLiteral("add")};
    else if (command == QLatin1String("delete"))
        types = types.contains(QLatin1String("add")) ? QStringList()
                                                     : QStringList{QStringLiteral("delete")};
    pending.remove(name);
    if (command == QLatin1String("move")) {
        if (!types.contains(QLatin1String("add")))
            types << QStringLiteral("rename");
        pending.insert(relative(top, to), types);
    } else if (!types.isEmpty()) {
        pending.insert(name, types);
    }
    writePending(top, pending);
}

// Drops the pending changes of 'files'.
void dropPending(const QStringList &files)
{
    for (const QString &file : files) {
        const QString top = topLevelOf(file);
        Pending pending = readPending(top);
        if (pending.remove(relative(top, file)))
            writePending(top, pending);
    }
}

QString pendingLine(const char *kind, const QString &types, const QString &top, const QString &name)
{
    return QLatin1String(kind) + QLatin1Char('|') + types + QLatin1Char('|') + top +
           QLatin1Char('/') + name + QLatin1String("|//depot/") + name;
}

int listPending(const QString &directory)
{
    const QString top = topLevelOf(directory);
    if (top.isEmpty())
        return fail(QStringLiteral("no repository at ") + directory);
    if (qEnvironmentVariableIsSet("FAKEVCS_PENDING_DELAY_MS"))
        QThread::msleep(qEnvironmentVariableIntValue("FAKEVCS_PENDING_DELAY_MS"));
    const QString scope = relative(top, directory);
    const Pending pending = readPending(top);
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
        if (scope == QLatin1String(".") || it.key().startsWith(scope + QLatin1Char('/')))
            out(pendingLine("pending", it.value().join(QLatin1String(", ")), top, it.key()));
    }
    const QStringList tracked = readMarker(top);
    QDirIterator files(QDir(top).absoluteFilePath(scope), QDir::Files,
                       QDirIterator::Subdirectories);
    QStringList candidates;
    while (files.hasNext()) {
        const QString name = relative(top, files.next());
        if (!tracked.contains(QLatin1String("tracked ") + name) && !pending.contains(name))
            candidates << pendingLine("candidate", QStringLiteral("add"), top, name);
    }
    candidates.sort();
    for (const QString &line : qAsConst(candidates))
        out(line);
    return 0;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    record(args);
    if (args.isEmpty())
        return fail(QStringLiteral("no command"));
    const QString command = args.first();
    if (qEnvironmentVariable("FAKEVCS_FAIL").split(QLatin1Char(',')).contains(command))
        return fail(command + QLatin1String(" refused"));

    if (command == QLatin1String("open") && args.size() == 2) {
        if (qEnvironmentVariable("FAKEVCS_OPEN_KEEPS_READONLY") != QLatin1String("1")) {
            QFile::setPermissions(args.at(1), QFile::permissions(args.at(1)) | QFile::WriteOwner);
        }
        recordPending(command, args.at(1));
        out(QLatin1String("opened ") + QFileInfo(args.at(1)).fileName());
        return 0;
    }
    if (command == QLatin1String("add") && args.size() == 2) {
        const QString top = topLevelOf(args.at(1));
        QStringList lines = readMarker(top);
        lines << trackedLine(top, args.at(1));
        if (top.isEmpty() || !writeMarker(top, lines))
            return fail(QStringLiteral("no repository"));
        recordPending(command, args.at(1));
        out(QLatin1String("added ") + QFileInfo(args.at(1)).fileName());
        return 0;
    }
    if (command == QLatin1String("delete") && args.size() == 2) {
        const QString top = topLevelOf(args.at(1));
        QStringList lines = readMarker(top);
        lines.removeAll(trackedLine(top, args.at(1)));
        writeMarker(top, lines);
        QFile::remove(args.at(1));
        recordPending(command, args.at(1));
        out(QLatin1String("deleted ") + QFileInfo(args.at(1)).fileName());
        return 0;
    }
    if (command == QLatin1String("move") && args.size() == 3) {
        const QString top = topLevelOf(args.at(1));
        QStringList lines = readMarker(top);
        lines.removeAll(trackedLine(top, args.at(1)));
        if (!QFile::rename(args.at(1), args.at(2)))
            return fail(QStringLiteral("cannot move"));
        lines << trackedLine(top, args.at(2));
        writeMarker(top, lines);
        recordPending(command, args.at(1), args.at(2));
        out(QLatin1String("moved ") + QFileInfo(args.at(1)).fileName() + QLatin1String(" to ") +
            QFileInfo(args.at(2)).fileName());
        return 0;
    }
    if (command == QLatin1String("annotate") && args.size() == 3) {
        out(QLatin1String("annotation of ") + QFileInfo(args.at(1)).fileName() +
            QLatin1String(" at line ") + args.at(2));
        return 0;
    }
    if (command == QLatin1String("status") && args.size() == 2) {
        const QString top = topLevelOf(args.at(1));
        const bool tracked = readMarker(top).contains(trackedLine(top, args.at(1)));
        out(QLatin1String("status of ") + QFileInfo(args.at(1)).fileName() +
            (tracked ? QLatin1String(": tracked") : QLatin1String(": untracked")));
        return 0;
    }
    if (command == QLatin1String("update") && args.size() == 2) {
        QFile file(args.at(1));
        const QFile::Permissions permissions = file.permissions();
        file.setPermissions(permissions | QFile::WriteOwner);
        if (!file.open(QIODevice::Append))
            return fail(QStringLiteral("cannot update"));
        file.write("// updated by fakevcs\n");
        file.close();
        file.setPermissions(permissions);
        out(QLatin1String("updated ") + QFileInfo(args.at(1)).fileName());
        return 0;
    }
    if (command == QLatin1String("pending") && args.size() == 2)
        return listPending(args.at(1));
    if ((command == QLatin1String("undo") || command == QLatin1String("checkin")) &&
        args.size() >= 2) {
        dropPending(args.mid(1));
        for (const QString &file : args.mid(1))
            out(command + QLatin1Char(' ') + QFileInfo(file).fileName());
        return 0;
    }
    if (command == QLatin1String("compare") && args.size() >= 2) {
        for (const QString &file : args.mid(1))
            out(QLatin1String("no differences in ") + QFileInfo(file).fileName());
        return 0;
    }
    if (command == QLatin1String("log") && qEnvironmentVariableIsSet("FAKEVCS_LOG_DELAY_MS")) {
        out(QStringLiteral("pid %1").arg(QCoreApplication::applicationPid()));
        std::fflush(stdout);
        QThread::msleep(qEnvironmentVariableIntValue("FAKEVCS_LOG_DELAY_MS"));
    }
    if (command == QLatin1String("log") || command == QLatin1String("login")) {
        out(QLatin1String("log of ") + QDir::currentPath());
        return 0;
    }
    if (command == QLatin1String("clone") && args.size() >= 3) {
        QDir dir(QDir::current());
        if (dir.exists(args.at(2)) || !dir.mkpath(args.at(2)))
            return fail(QStringLiteral("cannot create ") + args.at(2));
        const QString target = dir.absoluteFilePath(args.at(2));
        if (!writeFile(target + QLatin1String("/CMakeLists.txt"), "project(demo)\n") ||
            !writeFile(target + QLatin1String("/main.cpp"), "int main() { return 0; }\n") ||
            !writeMarker(target, {QStringLiteral("tracked CMakeLists.txt"),
                                  QStringLiteral("tracked main.cpp")}))
            return fail(QStringLiteral("cannot write the working copy"));
        QFile::setPermissions(target + QLatin1String("/main.cpp"),
                              QFile::ReadOwner | QFile::ReadGroup);
        out(QLatin1String("cloned ") + args.at(1) + QLatin1String(" into ") + args.at(2));
        return 0;
    }
    return fail(QLatin1String("unknown command ") + args.join(QLatin1Char(' ')));
}
