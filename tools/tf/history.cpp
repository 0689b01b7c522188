#include "history.h"
#include "tferror.h"

#include <QLocale>
#include <QRegularExpression>
#include <QXmlStreamWriter>

#include <algorithm>

namespace Tf {

VersionSpec VersionSpec::parse(const QString &text, Grammar grammar)
{
    VersionSpec version;
    if (text.isEmpty())
        fail("An option value for 'version' must be supplied.");
    const QChar first = text.at(0).toUpper();
    bool ok = false;
    const int number = (first.isDigit() ? text : text.mid(1)).toInt(&ok);
    if (first.isDigit() || first == 'C') {
        if (!ok || number < 1)
            fail(QString("The changeset version '%1' is not valid.").arg(text));
        version.kind = Changeset;
        version.changeset = number;
    } else if (first == 'T') {
        if (text.size() != 1)
            fail("The 'latest' version must be written with one character.");
        version.kind = Latest;
    } else if (first == 'D') {
        version.kind = Date;
        version.date = QDateTime::fromString(text.mid(1), Qt::ISODate);
        if (!version.date.isValid())
            version.date = QDateTime(QDate::fromString(text.mid(1), Qt::ISODate), QTime(23, 59, 59));
        if (!version.date.isValid())
            fail(QString("The date version '%1' is not valid.").arg(text));
    } else if (first == 'W') {
        // tf.exe takes a bare W for the current workspace; the cross-platform client does not.
        if (text.size() == 1 && grammar != Grammar::TfExe)
            fail("A workspace version must name the workspace.");
        version.kind = Workspace;
        version.workspace = text.mid(1).section(';', 0, 0);
    } else if (first == 'L') {
        fail(QString("The label version '%1' cannot be resolved: this server keeps "
                     "no labels.")
                 .arg(text));
    } else {
        fail(QString("The version '%1' is not valid.").arg(text));
    }
    return version;
}

int VersionSpec::resolve(const ServerStore &store, int workspaceVersion) const
{
    switch (kind) {
    case Changeset:
        if (changeset > store.head())
            fail(QString("The specified changeset %1 does not exist.").arg(changeset));
        return changeset;
    case Date:
        for (int n = store.head(); n >= 1; --n) {
            if (store.changeset(n).date <= date)
                return n;
        }
        fail("No changeset exists at or before the specified date.");
    case Workspace:
        return workspaceVersion > 0 ? workspaceVersion : store.head();
    case Latest:
        break;
    }
    return store.head();
}

VersionedItem VersionedItem::parse(const QString &text)
{
    const int at = text.lastIndexOf(';');
    if (at < 0)
        return {text, QString()};
    return {text.left(at), text.mid(at + 1)};
}

namespace History {

QVector<HistoryEntry> ofFile(const ServerStore &store, const ItemRecord &record, int start,
                             int cutoff, bool itemMode)
{
    QVector<HistoryEntry> entries;
    ItemRecord current = record;
    int limit = cutoff;
    for (int hops = 0; hops < 1000; ++hops) {
        QVector<ItemVersion> part;
        for (const ItemVersion &v : current.versions) {
            if (v.changeset > 0 && v.changeset <= limit)
                part.append(v);
        }
        // Only the stretch since the item last arrived at this path belongs to it; a version
        // that moved it away was made under its new name.
        int first = 0;
        for (int i = 0; i < part.size(); ++i) {
            if (part[i].change == "add" || part[i].change == "rename")
                first = i;
        }
        part = part.mid(first);
        for (int i = part.size() - 1; i >= 0; --i) {
            if (part[i].change == "renamed")
                continue;
            if (part[i].changeset < start)
                return entries;
            HistoryEntry entry;
            entry.changeset = store.changeset(part[i].changeset);
            entry.changes.append({current.path, part[i].change, part[i].from});
            entries.append(entry);
        }
        if (!itemMode || part.isEmpty() || part.first().change != "rename" ||
            part.first().from.isEmpty() || ServerPath::equal(part.first().from, current.path))
            break;
        limit = part.first().changeset - 1;
        current = store.item(part.first().from);
    }
    return entries;
}

QVector<HistoryEntry> ofFolder(const ServerStore &store, const QString &folder, int start,
                               int cutoff, int stopAfter)
{
    QVector<HistoryEntry> entries;
    for (int n = cutoff; n >= std::max(1, start) && entries.size() < stopAfter; --n) {
        HistoryEntry entry;
        entry.changeset = store.changeset(n, true);
        for (const ChangeEntry &e : entry.changeset.changes) {
            if (ServerPath::isUnder(e.path, folder) ||
                (!e.from.isEmpty() && ServerPath::isUnder(e.from, folder)))
                entry.changes.append(e);
        }
        if (!entry.changes.isEmpty())
            entries.append(entry);
    }
    return entries;
}

namespace {

// The date of an XML attribute: local time, milliseconds, the offset without a colon.
QString xmlDate(const QDateTime &date)
{
    const QDateTime local = date.toLocalTime();
    const int minutes = local.offsetFromUtc() / 60;
    return local.toString("yyyy-MM-dd'T'HH:mm:ss.zzz") + (minutes < 0 ? '-' : '+') +
           QString("%1%2")
               .arg(qAbs(minutes) / 60, 2, 10, QChar('0'))
               .arg(qAbs(minutes) % 60, 2, 10, QChar('0'));
}

// How the clients word a change: the store's "renamed" (moved away) is not listed.
QString changeWord(const ChangeEntry &change)
{
    return change.change;
}

QString changeWords(const HistoryEntry &entry)
{
    QStringList words;
    for (const ChangeEntry &change : entry.changes) {
        if (!words.contains(changeWord(change)))
            words << changeWord(change);
    }
    return words.isEmpty() ? QString("none") : words.join(", ");
}

} // namespace

QString xml(const QVector<HistoryEntry> &entries)
{
    QString text;
    QXmlStreamWriter writer(&text);
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(2);
    writer.writeStartElement("history");
    for (const HistoryEntry &entry : entries) {
        writer.writeStartElement("changeset");
        writer.writeAttribute("id", QString::number(entry.changeset.number));
        writer.writeAttribute("owner", entry.changeset.owner);
        writer.writeAttribute("committer", entry.changeset.owner);
        writer.writeAttribute("date", xmlDate(entry.changeset.date));
        if (!entry.changeset.comment.isEmpty())
            writer.writeTextElement("comment", entry.changeset.comment);
        for (const ChangeEntry &change : entry.changes) {
            writer.writeEmptyElement("item");
            writer.writeAttribute("change-type", changeWord(change));
            writer.writeAttribute("server-item", change.path);
        }
        writer.writeEndElement();
    }
    writer.writeEndElement();
    // The Java writer puts the declaration and the root's start on one line.
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + text.trimmed() + '\n';
}

QString detailed(const QVector<HistoryEntry> &entries, Grammar grammar)
{
    const QString dashes = QString(79, '-') + '\n';
    const bool tfExe = grammar == Grammar::TfExe;
    QString text;
    for (int i = 0; i < entries.size(); ++i) {
        const Changeset &cs = entries.at(i).changeset;
        if (tfExe || i > 0)
            text += dashes;
        text += QString("Changeset: %1\n").arg(cs.number);
        text += QString("User: %1\n").arg(cs.owner);
        text += QString("Date: %1\n\n").arg(displayDate(cs.date, grammar));
        text += "Comment:\n";
        // tf.exe indents every line of the comment; the cross-platform client only its first.
        if (!cs.comment.isEmpty()) {
            QString comment = cs.comment;
            if (tfExe)
                comment.replace('\n', "\n  ");
            text += "  " + comment + '\n';
        }
        text += '\n';
        const QVector<ChangeEntry> &changes = entries.at(i).changes;
        if (!changes.isEmpty()) {
            text += "Items:\n";
            int width = 0;
            for (const ChangeEntry &change : changes)
                width = std::max(width, int(changeWord(change).size()));
            for (const ChangeEntry &change : changes) {
                text += "  " +
                        (tfExe ? changeWord(change).leftJustified(width) : changeWord(change)) +
                        ' ' + change.path + '\n';
            }
            text += '\n';
        }
    }
    return text;
}

QString brief(const QVector<HistoryEntry> &entries, bool withChanges)
{
    QVector<QStringList> rows;
    QStringList head{"Changeset"};
    if (withChanges)
        head << "Change";
    head << "User"
         << "Date"
         << "Comment";
    rows.append(head);
    for (const HistoryEntry &entry : entries) {
        QStringList row{QString::number(entry.changeset.number)};
        if (withChanges)
            row << changeWords(entry);
        row << entry.changeset.owner << displayDate(entry.changeset.date, Grammar::CrossPlatform)
            << entry.changeset.comment.section('\n', 0, 0);
        rows.append(row);
    }
    // Tight columns but the last, a blank between them; lines longer than the 80 columns of a
    // console without a terminal are cut.
    QVector<int> widths(head.size(), 0);
    for (const QStringList &row : rows) {
        for (int c = 0; c + 1 < row.size(); ++c)
            widths[c] = std::max(widths[c], int(row.at(c).size()));
    }
    auto line = [&](const QStringList &row) {
        QString text;
        for (int c = 0; c < row.size(); ++c)
            text += c + 1 < row.size() ? row.at(c).leftJustified(widths[c]) + ' ' : row.at(c);
        return text.left(79).trimmed() + '\n';
    };
    QString text = line(rows.first());
    QStringList dashes;
    for (int c = 0; c < head.size(); ++c)
        dashes << QString(c + 1 < head.size() ? widths[c] : 79, '-');
    text += line(dashes);
    for (int r = 1; r < rows.size(); ++r)
        text += line(rows.at(r));
    return text;
}

QString displayDate(const QDateTime &date, Grammar grammar)
{
    return QLocale(QLocale::English, QLocale::UnitedStates)
        .toString(date.toLocalTime(), grammar == Grammar::TfExe
                                          ? QString("dddd, MMMM d, yyyy h:mm:ss AP")
                                          : QString("MMM d, yyyy, h:mm:ss AP"));
}

} // namespace History
} // namespace Tf
