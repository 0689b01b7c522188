#include "pendingchanges.h"

#include <utils/hostosinfo.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace TeamFoundation {
namespace Internal {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("TeamFoundation::Internal::PendingChanges", text);
}

// "rename, edit" as the cross-platform client writes it, "Edit Rename" as tf.exe does.
QStringList changeTypesOf(const QStringRef &text)
{
    QStringList types;
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    for (const QString &word : text.toString().split(separators, Qt::SkipEmptyParts))
        types << word.toLower();
    return types;
}

// tf.exe names a file's encoding by its code page; the cross-platform client by its name.
QString fileTypeOf(const QStringRef &encoding)
{
    bool number = false;
    const int codePage = encoding.toInt(&number);
    if (!number)
        return encoding.toString();
    switch (codePage) {
    case -1:
        return QStringLiteral("binary");
    case -3: // a folder
        return QString();
    case 65001:
        return QStringLiteral("utf-8");
    case 1200:
        return QStringLiteral("utf-16");
    case 1201:
        return QStringLiteral("utf-16be");
    default:
        if (codePage >= 1250 && codePage <= 1258)
            return QStringLiteral("windows-%1").arg(codePage);
        return encoding.toString();
    }
}

// What most changes of a workspace share (owner, workspace, computer, lock, change type, file
// type): a value like the previous change's is that same string, not a copy of its own.
struct Shared
{
    QString owner;
    QString workspace;
    QString computer;
    QString lock;
    QString fileType;
    QString changeTypeText;
    QStringList changeTypes;

    static const QString &use(QString &last, const QStringRef &value)
    {
        if (last != value)
            last = value.toString();
        return last;
    }
};

void readChange(QXmlStreamReader &reader, bool candidate, Shared &shared,
                QList<PendingChange> *changes)
{
    PendingChange change;
    change.candidate = candidate;
    // One pass over the attributes: a look-up by name for each field would compare every name
    // again, and this runs ten thousand times for a big workspace.
    for (const QXmlStreamAttribute &attribute : reader.attributes()) {
        const QStringRef name = attribute.name();
        const QStringRef value = attribute.value();
        if (name == QLatin1String("server-item")) {
            change.serverItem = value.toString();
        } else if (name == QLatin1String("local-item")) {
            change.localItem = value.toString();
        } else if (name == QLatin1String("source-item")) {
            change.sourceItem = value.toString();
        } else if (name == QLatin1String("change-type")) {
            if (shared.changeTypeText != value) {
                shared.changeTypeText = value.toString();
                shared.changeTypes = changeTypesOf(value);
            }
            change.changeTypes = shared.changeTypes;
        } else if (name == QLatin1String("lock")) {
            change.lock = Shared::use(shared.lock, value);
        } else if (name == QLatin1String("owner")) {
            change.owner = Shared::use(shared.owner, value);
        } else if (name == QLatin1String("workspace")) {
            change.workspace = Shared::use(shared.workspace, value);
        } else if (name == QLatin1String("computer")) {
            change.computer = Shared::use(shared.computer, value);
        } else if (name == QLatin1String("date")) {
            change.date = value.toString();
        } else if (name == QLatin1String("file-type")) {
            change.fileType = Shared::use(shared.fileType, value);
        } else if (name == QLatin1String("version")) {
            change.version = value.toInt();
        }
    }
    // Without its server item a change cannot be named to the client again.
    if (change.serverItem.isEmpty()) {
        reader.raiseError(tr("A pending change names no server item."));
        return;
    }
    changes->append(change);
}

// tf.exe's layout: Status/PendingSet (one per workspace, naming it, its owner and computer)
// /PendingChanges/PendingChange, with short attribute names.
void readTfExeChange(QXmlStreamReader &reader, const PendingChange &set,
                     QList<PendingChange> *changes)
{
    PendingChange change = set;
    const QXmlStreamAttributes attributes = reader.attributes();
    change.serverItem = attributes.value(QLatin1String("item")).toString();
    change.localItem = attributes.value(QLatin1String("local")).toString();
    change.sourceItem = attributes.value(QLatin1String("srcitem")).toString();
    change.changeTypes = changeTypesOf(attributes.value(QLatin1String("chg")));
    change.date = attributes.value(QLatin1String("date")).toString();
    change.fileType = fileTypeOf(attributes.value(QLatin1String("enc")));
    change.version = attributes.value(QLatin1String("ver")).toInt();
    if (change.serverItem.isEmpty()) {
        reader.raiseError(tr("A pending change names no server item."));
        return;
    }
    changes->append(change);
}

void readTfExe(QXmlStreamReader &reader, QList<PendingChange> *changes)
{
    while (!reader.hasError() && reader.readNextStartElement()) {
        if (reader.name() != QLatin1String("PendingSet")) {
            reader.skipCurrentElement();
            continue;
        }
        PendingChange set;
        set.owner = reader.attributes().value(QLatin1String("owner")).toString();
        set.workspace = reader.attributes().value(QLatin1String("name")).toString();
        set.computer = reader.attributes().value(QLatin1String("computer")).toString();
        while (!reader.hasError() && reader.readNextStartElement()) {
            if (reader.name() != QLatin1String("PendingChanges")) {
                reader.skipCurrentElement();
                continue;
            }
            while (!reader.hasError() && reader.readNextStartElement()) {
                if (reader.name() == QLatin1String("PendingChange"))
                    readTfExeChange(reader, set, changes);
                if (!reader.hasError())
                    reader.skipCurrentElement();
            }
        }
    }
}

bool read(QXmlStreamReader &reader, QList<PendingChange> *changes, QString *errorMessage)
{
    QList<PendingChange> result;
    Shared shared;
    if (reader.readNextStartElement() && reader.name() == QLatin1String("Status")) {
        readTfExe(reader, &result);
    } else if (reader.isStartElement()) {
        if (reader.name() != QLatin1String("status")) {
            reader.raiseError(tr("The document is no status but <%1>.").arg(reader.name()));
        }
        while (!reader.hasError() && reader.readNextStartElement()) {
            const bool pending = reader.name() == QLatin1String("pending-changes");
            const bool candidates = reader.name() == QLatin1String("candidate-pending-changes");
            if (!pending && !candidates) {
                reader.skipCurrentElement();
                continue;
            }
            while (!reader.hasError() && reader.readNextStartElement()) {
                if (reader.name() == QLatin1String("pending-change"))
                    readChange(reader, candidates, shared, &result);
                if (!reader.hasError())
                    reader.skipCurrentElement();
            }
        }
    }
    // What follows the document must be nothing but its end.
    while (!reader.atEnd())
        reader.readNext();
    if (reader.hasError()) {
        changes->clear();
        if (errorMessage) {
            *errorMessage = tr("Line %1, column %2: %3")
                                .arg(reader.lineNumber())
                                .arg(reader.columnNumber())
                                .arg(reader.errorString());
        }
        return false;
    }
    *changes = result;
    if (errorMessage)
        errorMessage->clear();
    return true;
}

// Whether 'xml' is 8-bit text that declares a 16- or 32-bit encoding, as the .NET client's
// console output does: real UTF-16 text could not start with "<?xml" byte by byte.
bool declaresWideEncodingOn8BitText(const QByteArray &xml)
{
    const int start = xml.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    if (xml.indexOf("<?xml", start) != start)
        return false;
    const int end = xml.indexOf("?>", start);
    if (end < 0)
        return false;
    static const QRegularExpression wide(QStringLiteral("encoding\\s*=\\s*[\"']utf-?(16|32)"),
                                         QRegularExpression::CaseInsensitiveOption);
    return wide.match(QString::fromLatin1(xml.mid(start, end - start))).hasMatch();
}

} // namespace

bool parsePendingChanges(const QString &xml, QList<PendingChange> *changes, QString *errorMessage)
{
    QXmlStreamReader reader(xml);
    return read(reader, changes, errorMessage);
}

bool parsePendingChanges(const QByteArray &xml, QList<PendingChange> *changes,
                         QString *errorMessage)
{
    if (declaresWideEncodingOn8BitText(xml))
        return parsePendingChanges(QString::fromUtf8(xml), changes, errorMessage);
    QXmlStreamReader reader(xml);
    return read(reader, changes, errorMessage);
}

QString itemOf(const PendingChange &change)
{
    return change.localItem.isEmpty()
               ? change.serverItem
               : QDir::cleanPath(QDir::fromNativeSeparators(change.localItem));
}

QString shownItem(const PendingChange &change, const QString &path)
{
    const Qt::CaseSensitivity sensitivity = Utils::HostOsInfo::fileNameCaseSensitivity();
    const QString item = itemOf(change);
    if (item.compare(path, sensitivity) == 0)
        return QFileInfo(item).fileName();
    if (item.startsWith(path + QLatin1Char('/'), sensitivity))
        return item.mid(path.size() + 1);
    return item;
}

} // namespace Internal
} // namespace TeamFoundation
