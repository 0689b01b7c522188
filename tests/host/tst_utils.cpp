// Executable lookup, soft assertions and parameter actions.

#include <utils/environment.h>
#include <utils/hostosinfo.h>
#include <utils/parameteraction.h>
#include <utils/qtcassert.h>

#include <QTemporaryDir>
#include <QtTest>

namespace {
bool makeFile(const QString &fileName, bool executable)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write("never run\n") < 0)
        return false;
    file.close();
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        permissions |= QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    return QFile::setPermissions(fileName, permissions);
}

// A function that checks its precondition the way plugin code does.
int guardedLength(const QString *text, int *assertLine)
{
    *assertLine = __LINE__ + 1;
    QTC_ASSERT(text && !text->isEmpty(), return -1);
    return text->size();
}

int checkedLength(const QString &text, int *assertLine)
{
    *assertLine = __LINE__ + 1;
    QTC_CHECK(text.startsWith(QLatin1Char('/')));
    return text.size();
}
} // namespace

class tst_Utils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void searchInPath_data();
    void searchInPath();

    void softAssertMessage();
    void assertHandlerIsReplaceable();

    void parameterAction_data();
    void parameterAction();

private:
    QTemporaryDir m_tempDir;
    QString m_savedCurrent;
};

void tst_Utils::initTestCase()
{
    QVERIFY(m_tempDir.isValid());
    m_savedCurrent = QDir::currentPath();
    const QDir root(m_tempDir.path());
    for (const char *dir : {"extra1", "extra2", "path1", "path2", "path1/adir", "rel/sub"})
        QVERIFY(root.mkpath(QLatin1String(dir)));
    const QList<QPair<const char *, bool>> files{
        {"extra2/tool", true},     {"path1/tool", true},       {"path2/tool", true},
        {"path1/halfexec", false}, {"path2/halfexec", true},   {"path1/tf", true},
        {"path2/tf.exe", false},   {"path1/foo.exe", true},    {"path2/foo", true},
        {"path1/data", false},     {"rel/sub/local", true},    {"path2/adir", true},
        {"extra1/onlyextra", true}, {"path1/tfpt", true},   {"path1/winonly.txt", true},
        {"path2/winonly.cmd", true}, {"path1/both.cmd", true},  {"path2/both.exe", true}};
    for (const auto &file : files)
        QVERIFY(makeFile(root.filePath(QLatin1String(file.first)), file.second));
    // Lookups of relative paths start from here.
    QVERIFY(QDir::setCurrent(root.filePath(QStringLiteral("rel"))));
}

void tst_Utils::cleanupTestCase()
{
    QDir::setCurrent(m_savedCurrent);
}

void tst_Utils::searchInPath_data()
{
    // PATH is path1:path2; the paths in the columns are relative to the temporary directory.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("additionalDirs");
    QTest::addColumn<QString>("found");
    QTest::addColumn<bool>("windows"); // the host taken for Windows, with PATHEXT

    const QString root = m_tempDir.path() + QLatin1Char('/');
    QTest::newRow("bare name on PATH") << "tool" << QStringList() << "path1/tool" << false;
    QTest::newRow("additional dirs before PATH") << "tool" << QStringList{root + "extra1", root + "extra2"}
                                                 << "extra2/tool" << false;
    QTest::newRow("only in an additional dir") << "onlyextra" << QStringList{root + "extra1"}
                                               << "extra1/onlyextra" << false;
    QTest::newRow("not executable is skipped") << "halfexec" << QStringList() << "path2/halfexec" << false;
    QTest::newRow("not executable anywhere") << "data" << QStringList() << "" << false;
    QTest::newRow("directory is skipped") << "adir" << QStringList() << "path2/adir" << false;
    QTest::newRow("exe suffix dropped") << "tf.exe" << QStringList() << "path1/tf" << false;
    QTest::newRow("second exe default") << "tfpt.exe" << QStringList() << "path1/tfpt" << false;
    QTest::newRow("exe found as is first") << "foo.exe" << QStringList() << "path1/foo.exe" << false;
    QTest::newRow("upper-case suffix") << "tf.EXE" << QStringList() << "path1/tf" << false;
    QTest::newRow("absolute path") << root + "path2/tool" << QStringList() << "path2/tool" << false;
    QTest::newRow("absolute path not searched") << root + "extra1/tool" << QStringList{root + "extra2"} << "" << false;
    QTest::newRow("absolute non-executable") << root + "path1/data" << QStringList() << "" << false;
    QTest::newRow("absolute directory") << root + "path1/adir" << QStringList() << "" << false;
    QTest::newRow("absolute with exe suffix") << root + "path1/tf.exe" << QStringList() << "path1/tf" << false;
    QTest::newRow("relative path") << "sub/local" << QStringList() << "rel/sub/local" << false;
    QTest::newRow("dot relative path") << "./sub/local" << QStringList() << "rel/sub/local" << false;
    QTest::newRow("relative path not searched") << "sub/tool" << QStringList{root + "extra2"} << "" << false;
    QTest::newRow("missing") << "nosuchtool" << QStringList{root + "extra1"} << "" << false;
    QTest::newRow("empty name") << "" << QStringList{root + "extra1"} << "" << false;
    QTest::newRow("exe alone") << ".exe" << QStringList() << "" << false;
    QTest::newRow("Windows: PATHEXT extensions") << "winonly" << QStringList() << "path2/winonly.cmd" << true;
    QTest::newRow("Windows: directory before extension")
        << "both" << QStringList() << "path1/both.cmd" << true;
    QTest::newRow("Windows: extension given") << "both.exe" << QStringList() << "path2/both.exe" << true;
    QTest::newRow("Windows: absolute path") << root + "path2/winonly" << QStringList()
                                            << "path2/winonly.cmd" << true;
    QTest::newRow("Windows: exe suffix kept") << "tfpt.exe" << QStringList() << "" << true;
}

void tst_Utils::searchInPath()
{
    QFETCH(QString, name);
    QFETCH(QStringList, additionalDirs);
    QFETCH(QString, found);
    QFETCH(bool, windows);
#ifdef Q_OS_WIN
    if (!windows)
        QSKIP("The files are made executable by their permission bits, which Windows ignores.");
#endif
    QProcessEnvironment env;
    const QDir root(m_tempDir.path());
    if (windows) {
        Utils::HostOsInfo::setOverrideHostOs(Utils::HostOsInfo::HostOsWindows);
        env.insert(QStringLiteral("PATHEXT"), QStringLiteral(".COM;.EXE;.BAT;.CMD"));
    }
    env.insert(QStringLiteral("PATH"), root.filePath(QStringLiteral("path1"))
                                           + Utils::HostOsInfo::pathListSeparator()
                                           + root.filePath(QStringLiteral("path2")));
    const Utils::Environment environment(env);
    const QString result = environment.searchInPath(name, additionalDirs);
    Utils::HostOsInfo::clearOverrideHostOs();
    QCOMPARE(result, found.isEmpty() ? QString() : root.filePath(found));
}

void tst_Utils::softAssertMessage()
{
    QStringList messages;
    const Utils::AssertHandler previous =
        Utils::setAssertHandler([&messages](const QString &message) { messages.append(message); });

    int line = 0;
    const QString text = QStringLiteral("abc");
    QCOMPARE(guardedLength(&text, &line), 3);
    QVERIFY(messages.isEmpty());
    QCOMPARE(guardedLength(nullptr, &line), -1); // the action returned early
    QCOMPARE(messages,
             QStringList{QStringLiteral("\"text && !text->isEmpty()\" in file %1, line %2").arg(QLatin1String(__FILE__)).arg(line)});

    messages.clear();
    QCOMPARE(checkedLength(QStringLiteral("rel"), &line), 3); // a check does not return
    QCOMPARE(messages, QStringList{QStringLiteral("\"text.startsWith(QLatin1Char('/'))\" in file %1, line %2")
                                       .arg(QLatin1String(__FILE__))
                                       .arg(line)});
    Utils::setAssertHandler(previous);
}

void tst_Utils::assertHandlerIsReplaceable()
{
    QStringList first;
    QStringList second;
    const Utils::AssertHandler original = Utils::setAssertHandler([&first](const QString &m) { first << m; });
    Utils::writeAssertLocation("\"one\" in file x.cpp, line 1");
    const Utils::AssertHandler returned = Utils::setAssertHandler([&second](const QString &m) { second << m; });
    Utils::writeAssertLocation("\"two\" in file x.cpp, line 2");
    returned(QStringLiteral("via the returned handler"));
    Utils::setAssertHandler(original);

    QCOMPARE(first, (QStringList{"\"one\" in file x.cpp, line 1", "via the returned handler"}));
    QCOMPARE(second, QStringList{"\"two\" in file x.cpp, line 2"});
}

void tst_Utils::parameterAction_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("parameters"); // set one after another
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enabled");

    const int always = Utils::ParameterAction::AlwaysEnabled;
    const int withParameter = Utils::ParameterAction::EnabledWithParameter;
    QTest::newRow("with parameter: none yet") << withParameter << QStringList() << "Check In" << false;
    QTest::newRow("with parameter: set") << withParameter << QStringList{"main.cpp"} << "Check In \"main.cpp\""
                                         << true;
    QTest::newRow("with parameter: set, then cleared") << withParameter << QStringList{"main.cpp", ""}
                                                       << "Check In" << false;
    QTest::newRow("with parameter: replaced") << withParameter << QStringList{"a.cpp", "b.cpp"}
                                              << "Check In \"b.cpp\"" << true;
    QTest::newRow("with parameter: percent in name") << withParameter << QStringList{"100%2.cpp"}
                                                     << "Check In \"100%2.cpp\"" << true;
    QTest::newRow("always: none yet") << always << QStringList() << "Check In" << true;
    QTest::newRow("always: set, then cleared") << always << QStringList{"main.cpp", ""} << "Check In" << true;
}

void tst_Utils::parameterAction()
{
    QFETCH(int, mode);
    QFETCH(QStringList, parameters);
    QFETCH(QString, text);
    QFETCH(bool, enabled);
    Utils::ParameterAction action(QStringLiteral("Check In"), QStringLiteral("Check In \"%1\""),
                                  Utils::ParameterAction::EnablingMode(mode));
    QCOMPARE(int(Utils::ParameterAction::EnabledWithParameter), 1);
    for (const QString &parameter : parameters)
        action.setParameter(parameter);
    QCOMPARE(action.text(), text);
    QCOMPARE(action.isEnabled(), enabled);
}

QTEST_MAIN(tst_Utils)

#include "tst_utils.moc"
