// The line comparison behind the diff and annotate views, against GNU diff as the reference,
// and the reading of a file's bytes as text.

#include <utils/textdiff.h>

#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class tst_TextDiff : public QObject
{
    Q_OBJECT

private slots:
    void sameAsGnuDiff_data();
    void sameAsGnuDiff();
    void decode_data();
    void decode();
    void changedWords();
};

namespace {
QString gnuDiff(const QStringList &oldLines, const QStringList &newLines, QString *error)
{
    QTemporaryDir dir;
    auto write = [&](const QString &name, const QStringList &lines) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        for (const QString &line : lines)
            file.write(line.toUtf8() + '\n');
        return true;
    };
    if (!write(QStringLiteral("old"), oldLines) || !write(QStringLiteral("new"), newLines)) {
        *error = QStringLiteral("cannot write the texts");
        return QString();
    }
    QProcess diff;
    diff.start(QStringLiteral("diff"),
               {QStringLiteral("--minimal"), QStringLiteral("-U3"), QStringLiteral("--label"),
                QStringLiteral("a"), QStringLiteral("--label"), QStringLiteral("b"),
                dir.filePath(QStringLiteral("old")), dir.filePath(QStringLiteral("new"))});
    if (!diff.waitForFinished(10000) || diff.exitCode() > 1) {
        *error = QStringLiteral("diff failed: ") + QString::fromUtf8(diff.readAllStandardError());
        return QString();
    }
    return QString::fromUtf8(diff.readAllStandardOutput());
}
} // namespace

void tst_TextDiff::sameAsGnuDiff_data()
{
    // Distinct lines, some removed and new ones put in: then only one alignment is shortest,
    // and GNU diff prints exactly one text for it.
    QTest::addColumn<QStringList>("oldLines");
    QTest::addColumn<QStringList>("newLines");
    QTest::newRow("equal") << QStringList{"a", "b"} << QStringList{"a", "b"};
    QTest::newRow("from nothing") << QStringList() << QStringList{"a", "b"};
    QTest::newRow("to nothing") << QStringList{"a", "b"} << QStringList();
    QTest::newRow("a line put first") << QStringList{"a", "b"} << QStringList{"x", "a", "b"};
    QRandomGenerator random(24);
    for (int row = 0; row < 40; ++row) {
        const int count = random.bounded(1, row < 30 ? 40 : 400);
        QStringList oldLines;
        QStringList newLines;
        int fresh = 0;
        for (int i = 0; i < count; ++i) {
            oldLines << QStringLiteral("line %1").arg(i);
            if (random.bounded(100) >= 15)
                newLines << oldLines.last();
            while (random.bounded(100) < 12)
                newLines << QStringLiteral("new %1").arg(fresh++);
        }
        QTest::addRow("random %d", row) << oldLines << newLines;
    }
}

void tst_TextDiff::sameAsGnuDiff()
{
    if (QStandardPaths::findExecutable(QStringLiteral("diff")).isEmpty())
        QSKIP("GNU diff is not installed");
    QFETCH(QStringList, oldLines);
    QFETCH(QStringList, newLines);
    QString error;
    const QString expected = gnuDiff(oldLines, newLines, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(Utils::TextDiff::unified(QStringLiteral("a"), oldLines, QStringLiteral("b"), newLines),
             expected);
    // The script itself leads from one text to the other.
    QStringList rebuilt;
    for (const Utils::DiffEdit &edit : Utils::TextDiff::diffLines(oldLines, newLines)) {
        if (edit.kind != Utils::DiffEdit::Deleted)
            rebuilt << newLines.at(edit.newLine);
    }
    QCOMPARE(rebuilt, newLines);
}

void tst_TextDiff::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("binary");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("utf-8, no last line end") << QByteArray("Gr\xc3\xbc\xc3\x9f"
                                                           "e\nzwei")
                                             << false << QStringList{"Grüße", "zwei"};
    QTest::newRow("utf-8 with a mark, CR LF") << QByteArray("\xef\xbb\xbf"
                                                            "a\r\n\r\nb\r\n")
                                              << false << QStringList{"a", "", "b"};
    QTest::newRow("utf-16 by its mark") << QByteArray("\xff\xfe"
                                                      "a\0\n\0b\0",
                                                      8)
                                        << false << QStringList{"a", "b"};
    QTest::newRow("a NUL byte") << QByteArray("ELF\0\x01\n", 6) << true << QStringList();
    QTest::newRow("empty") << QByteArray() << false << QStringList();
}

void tst_TextDiff::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, binary);
    QFETCH(QStringList, lines);
    const Utils::DecodedText text = Utils::DecodedText::decode(bytes);
    QCOMPARE(text.binary, binary);
    QCOMPARE(text.lines, lines);
}

void tst_TextDiff::changedWords()
{
    QVector<QPair<int, int>> oldRanges;
    QVector<QPair<int, int>> newRanges;
    Utils::TextDiff::changedWords(QStringLiteral("return a + b;"), QStringLiteral("return a * c;"),
                                  &oldRanges, &newRanges);
    // "+ b" and "* c" differ as two words each side; the blank between them is kept.
    QCOMPARE(oldRanges, (QVector<QPair<int, int>>{{9, 1}, {11, 1}}));
    QCOMPARE(newRanges, (QVector<QPair<int, int>>{{9, 1}, {11, 1}}));
}

QTEST_GUILESS_MAIN(tst_TextDiff)

#include "tst_textdiff.moc"
