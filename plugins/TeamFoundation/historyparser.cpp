#include "historyparser.h"

#include <QCoreApplication>
#include <QLocale>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace TeamFoundation {
namespace Internal {
namespace HistoryParser {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("TeamFoundation::Internal::HistoryParser", text);
}

bool failAt(qint64 line, const QString &what, QList<Core::ChangesetInfo> *changesets,
            QString *errorMessage)
{
    changesets->clear();
    *errorMessage = tr("The history cannot be read: line %1: %2").arg(line).arg(what);
    return false;
}

bool readChangeset(QXmlStreamReader &reader, Core::ChangesetInfo *changeset)
{
    const QXmlStreamAttributes attributes = reader.attributes();
    bool ok = false;
    changeset->id = attributes.value(QLatin1String("id")).toInt(&ok);
    if (!ok || changeset->id <= 0) {
        reader.raiseError(tr("a changeset without a valid number"));
        return false;
    }
    changeset->user = attributes.value(QLatin1String("owner")).toString();
    changeset->date = parseDate(attributes.value(QLatin1String("date")).toString());
    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("comment")) {
            changeset->comment = reader.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (reader.name() == QLatin1String("item")) {
            const QXmlStreamAttributes item = reader.attributes();
            changeset->items.append({item.value(QLatin1String("change-type")).toString(),
                                     item.value(QLatin1String("server-item")).toString()});
            reader.skipCurrentElement();
        } else {
            reader.skipCurrentElement();
        }
    }
    return !reader.hasError();
}

bool isSeparator(const QString &line)
{
    static const QRegularExpression dashes(QStringLiteral("^-{10,}\\s*$"));
    return dashes.match(line).hasMatch();
}

// The headers of the sections after the comment, which end it.
bool isSectionHeader(const QString &line)
{
    return line == QLatin1String("Items:") || line == QLatin1String("Work Items:") ||
           line == QLatin1String("Check-in Notes:") || line == QLatin1String("Policy Warnings:");
}

} // namespace

QDateTime parseDate(const QString &text)
{
    QString value = text.trimmed();
    // Newer Java runtimes put a narrow no-break space before AM/PM.
    value.replace(QChar(0x202f), QLatin1Char(' ')).replace(QChar(0x00a0), QLatin1Char(' '));
    static const QRegularExpression iso(QStringLiteral(
        "^(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d)(\\.\\d+)?(Z|[+-]\\d\\d:?\\d\\d)?$"));
    const QRegularExpressionMatch match = iso.match(value);
    if (match.hasMatch()) {
        QDateTime date = QDateTime::fromString(match.captured(1), Qt::ISODate);
        if (!match.captured(2).isEmpty())
            date = date.addMSecs(qRound(match.captured(2).toDouble() * 1000));
        const QString zone = match.captured(3);
        if (zone.isEmpty()) {
            date.setTimeSpec(Qt::LocalTime);
        } else if (zone == QLatin1String("Z")) {
            date.setTimeSpec(Qt::UTC);
        } else {
            const QString digits = QString(zone).remove(QLatin1Char(':'));
            const int minutes = digits.mid(1, 2).toInt() * 60 + digits.mid(3, 2).toInt();
            date.setOffsetFromUtc((zone.startsWith(QLatin1Char('-')) ? -60 : 60) * minutes);
        }
        return date;
    }
    static const char *const formats[] = {"MMM d, yyyy, h:mm:ss AP", "MMM d, yyyy h:mm:ss AP",
                                          "dddd, MMMM d, yyyy h:mm:ss AP",
                                          "MMMM d, yyyy h:mm:ss AP", "M/d/yyyy h:mm:ss AP"};
    const QLocale c = QLocale::c();
    for (const char *format : formats) {
        const QDateTime date = c.toDateTime(value, QLatin1String(format));
        if (date.isValid())
            return date;
    }
    return QDateTime();
}

bool parseXml(const QString &xml, QList<Core::ChangesetInfo> *changesets, QString *errorMessage)
{
    changesets->clear();
    errorMessage->clear();
    QXmlStreamReader reader(xml);
    if (!reader.readNextStartElement()) {
        if (!reader.hasError())
            return failAt(reader.lineNumber(), tr("no history document"), changesets, errorMessage);
    } else if (reader.name() != QLatin1String("history")) {
        return failAt(reader.lineNumber(),
                      tr("<%1> where <history> was expected").arg(reader.name().toString()),
                      changesets, errorMessage);
    } else {
        while (reader.readNextStartElement()) {
            if (reader.name() != QLatin1String("changeset")) {
                reader.skipCurrentElement();
                continue;
            }
            Core::ChangesetInfo changeset;
            if (!readChangeset(reader, &changeset))
                break;
            changesets->append(changeset);
        }
        // What follows the root must be nothing but its end: a cut-off document ends early.
        while (!reader.hasError() && !reader.atEnd())
            reader.readNext();
    }
    if (reader.hasError()) {
        return failAt(reader.lineNumber(),
                      tr("column %1: %2").arg(reader.columnNumber()).arg(reader.errorString()),
                      changesets, errorMessage);
    }
    return true;
}

bool parseDetailed(const QString &text, QList<Core::ChangesetInfo> *changesets,
                   QString *errorMessage)
{
    changesets->clear();
    errorMessage->clear();
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    if (text.trimmed().startsWith(QLatin1String("No history entries were found")))
        return true;

    enum Section { Header, Comment, Items, Other };
    Section section = Header;
    bool haveChangeset = false;
    bool sawComment = false;
    Core::ChangesetInfo current;
    QStringList comment;

    auto finish = [&](int lineNumber) {
        if (!haveChangeset)
            return true;
        if (!sawComment)
            return failAt(lineNumber, tr("changeset %1 ends before its comment").arg(current.id),
                          changesets, errorMessage);
        while (!comment.isEmpty() && comment.last().trimmed().isEmpty())
            comment.removeLast();
        current.comment = comment.join(QLatin1Char('\n'));
        changesets->append(current);
        current = Core::ChangesetInfo();
        comment.clear();
        haveChangeset = false;
        sawComment = false;
        section = Header;
        return true;
    };

    for (int i = 0; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        const int number = i + 1;
        if (isSeparator(line)) {
            if (!finish(number))
                return false;
            continue;
        }
        if (!haveChangeset) {
            if (line.trimmed().isEmpty())
                continue;
            static const QRegularExpression head(QStringLiteral("^Changeset:\\s*(\\d+)\\s*$"));
            const QRegularExpressionMatch match = head.match(line);
            if (!match.hasMatch() || match.captured(1).toInt() <= 0) {
                return failAt(
                    number,
                    tr("\"%1\" where \"Changeset: NUMBER\" was expected").arg(line.left(80)),
                    changesets, errorMessage);
            }
            current.id = match.captured(1).toInt();
            haveChangeset = true;
            section = Header;
            continue;
        }
        if (section == Header) {
            if (line.startsWith(QLatin1String("User:"))) {
                current.user = line.mid(5).trimmed();
            } else if (line.startsWith(QLatin1String("Date:"))) {
                current.date = parseDate(line.mid(5));
            } else if (line == QLatin1String("Comment:")) {
                section = Comment;
                sawComment = true;
            } else if (!line.trimmed().isEmpty() && !line.contains(QLatin1Char(':'))) {
                return failAt(
                    number,
                    tr("\"%1\" in the head of changeset %2").arg(line.left(80)).arg(current.id),
                    changesets, errorMessage);
            }
            continue;
        }
        if (isSectionHeader(line)) {
            section = line == QLatin1String("Items:") ? Items : Other;
            continue;
        }
        if (section == Comment) {
            comment << (line.startsWith(QLatin1String("  ")) ? line.mid(2) : line);
        } else if (section == Items && !line.trimmed().isEmpty()) {
            const int at = line.indexOf(QLatin1String("$/"));
            if (at < 0) {
                return failAt(number,
                              tr("\"%1\" where a changed item was expected").arg(line.left(80)),
                              changesets, errorMessage);
            }
            current.items.append({line.left(at).trimmed(), line.mid(at).trimmed()});
        }
    }
    if (!finish(lines.size()))
        return false;
    if (changesets->isEmpty() && !text.trimmed().isEmpty())
        return failAt(1, tr("no changeset in the output"), changesets, errorMessage);
    return true;
}

} // namespace HistoryParser
} // namespace Internal
} // namespace TeamFoundation
