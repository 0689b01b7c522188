// The readers behind the History, diff and annotate views: both clients' history layouts
// (the cross-platform client's XML and tf.exe's detailed text, written from their printers'
// formats), the annotation computed from a file's versions, and the outputs of the lines of
// one command file told apart by the separator.

#include <annotation.h>
#include <commandfile.h>
#include <historyparser.h>

#include <QtTest>

using namespace TeamFoundation::Internal;

Q_DECLARE_METATYPE(QList<Annotation::Version>)

class tst_History : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void annotate_data();
    void annotate();
    void splitCommandFileOutput_data();
    void splitCommandFileOutput();
};

namespace {
// A changeset as the tests write it: "id|user|comment|change item;change item".
QString describe(const Core::ChangesetInfo &c)
{
    QStringList items;
    for (const Core::ChangedItem &item : c.items)
        items << item.changeType + QLatin1Char(' ') + item.serverItem;
    return QStringLiteral("%1|%2|%3|%4").arg(c.id).arg(c.user, c.comment, items.join(';'));
}

const char teeXml[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><history>\n"
    "  <changeset id=\"12\" owner=\"DOMAIN\\jsmith\" committer=\"DOMAIN\\jsmith\" "
    "date=\"2024-03-23T14:07:48.000+0000\">\n"
    "    <comment>fix bug\n&amp; the second line</comment>\n"
    "    <item change-type=\"edit\" server-item=\"$/Proj/a.c\"/>\n"
    "    <check-in-note name=\"Reviewer\">ann</check-in-note>\n"
    "  </changeset>\n"
    "  <changeset id=\"3\" owner=\"ann\" committer=\"bob\" date=\"2024-03-20T09:00:00.000-0500\">\n"
    "    <item change-type=\"rename, edit\" server-item=\"$/Proj/old name.c\"/>\n"
    "    <policy-override><reason>late</reason><message>m</message></policy-override>\n"
    "  </changeset>\n"
    "</history>\n";

const char tfExeDetailed[] =
    "-------------------------------------------------------------------------------\r\n"
    "Changeset: 30\r\n"
    "User: Raisa Pokrovskaya (Fabrikam)\r\n"
    "Date: Monday, April 23, 2012 1:23:05 PM\r\n"
    "\r\n"
    "Comment:\r\n"
    "  Replaced boilerplate text\r\n"
    "  and a second line\r\n"
    "\r\n"
    "Items:\r\n"
    "  rename                $/SiteApp/Main/Program.cs\r\n"
    "  delete, source rename $/SiteApp/Main/Old.cs;X15\r\n"
    "\r\n"
    "Check-in Notes:\r\n"
    "  Code Reviewer:\r\n"
    "\r\n"
    "Policy Warnings:\r\n"
    "  Override Reason:\r\n"
    "-------------------------------------------------------------------------------\r\n"
    "Changeset: 29\r\n"
    "User: Ann\r\n"
    "Date: Sunday, April 22, 2012 9:00:00 AM\r\n"
    "\r\n"
    "Comment:\r\n"
    "\r\n"
    "Items:\r\n"
    "  add $/SiteApp/Main/Program.cs\r\n";

const char teeDetailed[] =
    "Changeset: 12\n"
    "User: John Smith\n"
    "Date: Mar 23, 2024, 2:07:48 PM\n"
    "\n"
    "Comment:\n"
    "  fix bug\n"
    "\n"
    "Items:\n"
    "  edit $/Proj/a.c\n"
    "\n"
    "-------------------------------------------------------------------------------\n"
    "Changeset: 11\n"
    "User: Ann\n"
    "Date: Mar 22, 2024, 9:00:00 AM\n"
    "\n"
    "Comment:\n"
    "\n";
} // namespace

void tst_History::parse_data()
{
    QTest::addColumn<bool>("xml");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QStringList>("changesets"); // as describe() writes them
    QTest::addColumn<QString>("firstDate");      // UTC, ISO; empty: not checked
    QTest::addColumn<QString>("error");          // a part of the message; empty: none

    QTest::newRow("xml of the cross-platform client")
        << true << teeXml
        << QStringList{"12|DOMAIN\\jsmith|fix bug\n& the second line|edit $/Proj/a.c",
                       "3|ann||rename, edit $/Proj/old name.c"}
        << "2024-03-23T14:07:48Z" << QString();
    QTest::newRow("xml of no history")
        << true << "<?xml version=\"1.0\" encoding=\"utf-8\"?><history/>\n"
        << QStringList() << QString() << QString();
    QTest::newRow("xml cut off") << true << QString(teeXml).left(int(qstrlen(teeXml)) - 40)
                                 << QStringList() << QString() << "line 10";
    QTest::newRow("xml without a number")
        << true << "<history>\n<changeset owner=\"ann\"/>\n</history>" << QStringList() << QString()
        << "line 2";
    QTest::newRow("xml of another command")
        << true << "<status/>" << QStringList() << QString() << "<status>";
    QTest::newRow("xml that is no xml") << true << "An error occurred: Connection refused"
                                        << QStringList() << QString() << "line 1";

    QTest::newRow("tf.exe detailed")
        << false << tfExeDetailed
        << QStringList{"30|Raisa Pokrovskaya (Fabrikam)|Replaced boilerplate text\nand a second "
                       "line|rename $/SiteApp/Main/Program.cs;delete, source rename "
                       "$/SiteApp/Main/Old.cs;X15",
                       "29|Ann||add $/SiteApp/Main/Program.cs"}
        << QString() << QString();
    QTest::newRow("cross-platform detailed")
        << false << teeDetailed << QStringList{"12|John Smith|fix bug|edit $/Proj/a.c", "11|Ann||"}
        << QString() << QString();
    QTest::newRow("detailed of no history")
        << false
        << "No history entries were found for the item and version combination "
           "specified.\n"
        << QStringList() << QString() << QString();
    QTest::newRow("detailed cut off before a comment")
        << false << QString(tfExeDetailed).section(QLatin1String("Comment:\r\n  Repl"), 0, 0)
        << QStringList() << QString() << "changeset 30 ends before its comment";
    QTest::newRow("detailed item without a server path")
        << false << QString(teeDetailed).replace(QLatin1String("edit $/Proj"), "edit Proj")
        << QStringList() << QString() << "line 9";
    QTest::newRow("detailed of something else")
        << false << "A client error occurred: There is no working folder mapping for /x."
        << QStringList() << QString() << "line 1";
}

void tst_History::parse()
{
    QFETCH(bool, xml);
    QFETCH(QString, output);
    QFETCH(QStringList, changesets);
    QFETCH(QString, firstDate);
    QFETCH(QString, error);
    QList<Core::ChangesetInfo> read;
    QString message;
    const bool ok = xml ? HistoryParser::parseXml(output, &read, &message)
                        : HistoryParser::parseDetailed(output, &read, &message);
    QCOMPARE(ok, error.isEmpty());
    QVERIFY2(error.isEmpty() ? message.isEmpty() : message.contains(error), qPrintable(message));
    QStringList described;
    for (const Core::ChangesetInfo &changeset : read)
        described << describe(changeset);
    QCOMPARE(described, changesets);
    if (!firstDate.isEmpty())
        QCOMPARE(read.first().date.toUTC(), QDateTime::fromString(firstDate, Qt::ISODate));
    for (const Core::ChangesetInfo &changeset : read)
        QVERIFY2(changeset.date.isValid(), qPrintable(describe(changeset)));
}

void tst_History::annotate_data()
{
    QTest::addColumn<QList<Annotation::Version>>("versions"); // oldest first
    QTest::addColumn<QStringList>("current");
    QTest::addColumn<QList<int>>("owners"); // the changeset of each line, 0: local

    auto version = [](int id, const QString &text) {
        Core::ChangesetInfo changeset;
        changeset.id = id;
        changeset.user = id % 2 ? QStringLiteral("ann") : QStringLiteral("bob");
        return Annotation::Version{changeset, text.split(QLatin1Char(','), Qt::SkipEmptyParts)};
    };
    const QList<Annotation::Version> history{version(1, "a,b,c,d"), version(2, "a,B,c,d,e"),
                                             version(5, "a,B,c,e"), version(7, "x,a,B,c,e")};
    QTest::newRow("kept, changed, removed and added lines")
        << history << QStringList{"x", "a", "B", "c", "e"} << QList<int>{7, 1, 2, 1, 2};
    QTest::newRow("a local change and a local line")
        << history << QStringList{"x", "a", "B!", "c", "e", "new"} << QList<int>{7, 1, 0, 1, 2, 0};
    QTest::newRow("a line removed and brought back is new again")
        << QList<Annotation::Version>{version(1, "a,b"), version(2, "a"), version(3, "a,b")}
        << QStringList{"a", "b"} << QList<int>{1, 3};
    QTest::newRow("no versions: all local")
        << QList<Annotation::Version>() << QStringList{"a"} << QList<int>{0};
}

void tst_History::annotate()
{
    QFETCH(QList<Annotation::Version>, versions);
    QFETCH(QStringList, current);
    QFETCH(QList<int>, owners);
    const QList<Core::AnnotatedLine> lines = Annotation::annotate(versions, current);
    QList<int> found;
    for (int i = 0; i < lines.size(); ++i) {
        found << lines.at(i).changeset;
        QCOMPARE(lines.at(i).text, current.at(i));
        // The user is the one of the line's changeset; a local line has none.
        QCOMPARE(lines.at(i).user, lines.at(i).changeset == 0  ? QString()
                                   : lines.at(i).changeset % 2 ? QStringLiteral("ann")
                                                               : QStringLiteral("bob"));
    }
    QCOMPARE(found, owners);
}

void tst_History::splitCommandFileOutput_data()
{
    const QByteArray sep = "--tf-output-1234--";
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QList<QByteArray>>("parts"); // empty: the output is refused

    QTest::newRow("a text without a last line end, then one with")
        << QByteArray("one\ntwo" + sep + "\nthree\n" + sep + "\n") << 2
        << QList<QByteArray>{"one\ntwo", "three\n"};
    QTest::newRow("an empty version and a binary one, Windows line ends")
        << QByteArray(sep + "\r\n" + QByteArray("\x00\x01\r\n", 4) + sep + "\r\n") << 2
        << QList<QByteArray>{"", QByteArray("\x00\x01\r\n", 4)};
    QTest::newRow("a line's output missing")
        << QByteArray("one" + sep + "\n") << 2 << QList<QByteArray>();
    QTest::newRow("output after the last separator")
        << QByteArray("one" + sep + "\nError: cut") << 1 << QList<QByteArray>();
    QTest::newRow("a separator not ended as a line")
        << QByteArray("one" + sep + "two" + sep + "\n") << 2 << QList<QByteArray>();
}

void tst_History::splitCommandFileOutput()
{
    QFETCH(QByteArray, output);
    QFETCH(int, expected);
    QFETCH(QList<QByteArray>, parts);
    QList<QByteArray> found;
    QCOMPARE(CommandFile::split(output, "--tf-output-1234--", expected, &found), !parts.isEmpty());
    QCOMPARE(found, parts);
}

QTEST_GUILESS_MAIN(tst_History)

#include "tst_history.moc"
