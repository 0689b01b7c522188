// The settings record that version-control plugins derive from, and the host's settings
// store it is read from and written to.

#include <core/icore.h>
#include <vcsbase/vcsbaseclientsettings.h>

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using VcsBase::VcsBaseClientSettings;

namespace {
const QString passwordKey = QStringLiteral("Password");

// A plugin's record: the base keys plus one of its own, in its own group.
class TestSettings : public VcsBaseClientSettings
{
public:
    TestSettings()
    {
        setSettingsGroup(QStringLiteral("TestVcs"));
        declareKey(passwordKey, QString());
    }
};

#ifdef Q_OS_UNIX
int fileMode(const QString &fileName)
{
    struct stat st;
    if (::stat(QFile::encodeName(fileName).constData(), &st) != 0)
        return -1;
    return st.st_mode & 07777;
}
#endif

bool writeFile(const QString &fileName, const QByteArray &data)
{
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

bool makeExecutable(const QString &fileName)
{
    return writeFile(fileName, "never run\n")
           && QFile::setPermissions(fileName, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

#ifdef Q_OS_UNIX
// Sets the process umask for the lifetime of the object.
class UmaskGuard
{
public:
    explicit UmaskGuard(mode_t mask) : m_previous(::umask(mask)) {}
    ~UmaskGuard() { ::umask(m_previous); }

private:
    mode_t m_previous;
};
#endif
} // namespace

class tst_HostSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void defaults();
    void readKeepsDefaultsForMissingKeys_data();
    void readKeepsDefaultsForMissingKeys();
    void unreadableTimeoutKeepsDefault_data();
    void unreadableTimeoutKeepsDefault();
    void roundTripThroughIniFile_data();
    void roundTripThroughIniFile();
    void equalsCopyAndAssign();
    void undeclaredKeysAreIgnored();
    void binaryPathResolution_data();
    void binaryPathResolution();

    void storeIsOwnerOnly_data();
    void storeIsOwnerOnly();
    void storeKeepsValuesAcrossReopen();
    void corruptStoreGivesDefaults_data();
    void corruptStoreGivesDefaults();
    void unwritableStoreIsReported();

private:
    QString iniFile() const { return m_tempDir.filePath(QStringLiteral("record.ini")); }
    QTemporaryDir m_tempDir;
    QString m_savedPath;
};

void tst_HostSettings::init()
{
    QVERIFY(m_tempDir.isValid());
    QFile::remove(iniFile());
    m_savedPath = QString::fromLocal8Bit(qgetenv("PATH"));
}

void tst_HostSettings::cleanup()
{
    Core::ICore::resetSettings();
    qputenv("PATH", m_savedPath.toLocal8Bit());
}

void tst_HostSettings::defaults()
{
    const TestSettings settings;
    QCOMPARE(settings.value(VcsBaseClientSettings::binaryPathKey), QVariant(QString()));
    QCOMPARE(settings.stringValue(VcsBaseClientSettings::userNameKey), QString());
    QCOMPARE(settings.intValue(VcsBaseClientSettings::timeoutKey), 30);
    QCOMPARE(settings.stringValue(VcsBaseClientSettings::pathKey), QString());
    QCOMPARE(settings.stringValue(passwordKey), QString());
    QCOMPARE(settings.binaryPath(), QString());
    QCOMPARE(QString(VcsBaseClientSettings::binaryPathKey), QStringLiteral("BinaryPath"));
    QCOMPARE(QString(VcsBaseClientSettings::userNameKey), QStringLiteral("Username"));
    QCOMPARE(QString(VcsBaseClientSettings::timeoutKey), QStringLiteral("Timeout"));
    QCOMPARE(QString(VcsBaseClientSettings::pathKey), QStringLiteral("Path"));
}

void tst_HostSettings::readKeepsDefaultsForMissingKeys_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("userName");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<QString>("binary");

    QTest::newRow("empty file") << QByteArray() << QString() << 30 << QString();
    QTest::newRow("other group only") << QByteArray("[Other]\nUsername=eve\nTimeout=5\n") << QString() << 30
                                      << QString();
    QTest::newRow("user name only") << QByteArray("[TestVcs]\nUsername=bob\n") << "bob" << 30 << QString();
    QTest::newRow("timeout only") << QByteArray("[TestVcs]\nTimeout=120\n") << QString() << 120 << QString();
    QTest::newRow("all") << QByteArray("[TestVcs]\nUsername=bob\nTimeout=7\nBinaryPath=/opt/tf\n") << "bob" << 7
                         << "/opt/tf";
}

void tst_HostSettings::readKeepsDefaultsForMissingKeys()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, userName);
    QFETCH(int, timeout);
    QFETCH(QString, binary);
    QVERIFY(writeFile(iniFile(), ini));
    const QSettings store(iniFile(), QSettings::IniFormat);

    TestSettings settings;
    settings.readSettings(&store);
    QCOMPARE(settings.stringValue(VcsBaseClientSettings::userNameKey), userName);
    QCOMPARE(settings.intValue(VcsBaseClientSettings::timeoutKey), timeout);
    QCOMPARE(settings.stringValue(VcsBaseClientSettings::binaryPathKey), binary);
    QCOMPARE(settings.stringValue(passwordKey), QString());
    QCOMPARE(settings.stringValue(VcsBaseClientSettings::pathKey), QString());
}

void tst_HostSettings::unreadableTimeoutKeepsDefault_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("timeout");
    QTest::newRow("word") << QByteArray("soon") << 30;
    QTest::newRow("number then text") << QByteArray("12abc") << 30;
    QTest::newRow("empty") << QByteArray("") << 30;
    QTest::newRow("fraction") << QByteArray("2.5") << 30;
    QTest::newRow("list") << QByteArray("1, 2") << 30;
    QTest::newRow("number") << QByteArray("45") << 45;
}

void tst_HostSettings::unreadableTimeoutKeepsDefault()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, timeout);
    QVERIFY(writeFile(iniFile(), "[TestVcs]\nTimeout=" + stored + "\nUsername=bob\n"));
    const QSettings store(iniFile(), QSettings::IniFormat);
    TestSettings settings;
    settings.readSettings(&store);
    QCOMPARE(settings.intValue(VcsBaseClientSettings::timeoutKey, -1), timeout);
    QCOMPARE(settings.value(VcsBaseClientSettings::timeoutKey).toInt(), timeout);
    // One bad value does not spoil the others.
    QCOMPARE(settings.stringValue(VcsBaseClientSettings::userNameKey), QStringLiteral("bob"));
}

void tst_HostSettings::roundTripThroughIniFile_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("timeout");
    QTest::newRow("plain") << "alice" << 60;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("ini syntax") << "a,b;c=d [e] #f" << 1;
    QTest::newRow("quotes and backslashes") << "\"q\" 'r' C:\\tf\\tf.exe \\\\srv" << 30;
    QTest::newRow("blanks") << "  padded  " << 30;
    QTest::newRow("unicode") << QString::fromUtf8("Grüße 日本 \xF0\x9F\x98\x80") << 30;
    QTest::newRow("line break") << "two\nlines\r\n" << 30;
    QTest::newRow("looks like a number") << "0042" << 30;
    QTest::newRow("looks like a variant") << "@Variant(x)" << 30;
}

void tst_HostSettings::roundTripThroughIniFile()
{
    QFETCH(QString, text);
    QFETCH(int, timeout);
    TestSettings written;
    written.setValue(VcsBaseClientSettings::binaryPathKey, text + QStringLiteral("/tf"));
    written.setValue(VcsBaseClientSettings::userNameKey, text);
    written.setValue(VcsBaseClientSettings::timeoutKey, timeout);
    written.setValue(VcsBaseClientSettings::pathKey, text);
    written.setValue(passwordKey, text);
    {
        QSettings store(iniFile(), QSettings::IniFormat);
        written.writeSettings(&store);
        store.sync();
        QCOMPARE(store.status(), QSettings::NoError);
    }
    const QSettings store(iniFile(), QSettings::IniFormat);
    QCOMPARE(store.childGroups(), QStringList{"TestVcs"});
    TestSettings read;
    read.readSettings(&store);
    QCOMPARE(read.stringValue(passwordKey), text);
    QCOMPARE(read.stringValue(VcsBaseClientSettings::userNameKey), text);
    QCOMPARE(read.stringValue(VcsBaseClientSettings::pathKey), text);
    QCOMPARE(read.stringValue(VcsBaseClientSettings::binaryPathKey), text + QStringLiteral("/tf"));
    QCOMPARE(read.intValue(VcsBaseClientSettings::timeoutKey, -1), timeout);
    QVERIFY(read.equals(written));
}

void tst_HostSettings::equalsCopyAndAssign()
{
    TestSettings a;
    TestSettings b;
    QVERIFY(a.equals(b));
    for (const QString &key : a.keys()) {
        TestSettings changed;
        changed.setValue(key, key == VcsBaseClientSettings::timeoutKey ? QVariant(31) : QVariant(QStringLiteral("x")));
        QVERIFY2(!changed.equals(a), qPrintable(key));
        QVERIFY(changed != a);
    }

    a.setValue(passwordKey, QStringLiteral("secret"));
    TestSettings copy(a);
    QVERIFY(copy.equals(a));
    QCOMPARE(copy.settingsGroup(), QStringLiteral("TestVcs"));
    copy.setValue(passwordKey, QStringLiteral("other"));
    QCOMPARE(a.stringValue(passwordKey), QStringLiteral("secret"));
    QVERIFY(!copy.equals(a));

    b = a;
    QVERIFY(b.equals(a));
    QCOMPARE(b.stringValue(passwordKey), QStringLiteral("secret"));
    a.setValue(passwordKey, QString());
    QCOMPARE(b.stringValue(passwordKey), QStringLiteral("secret"));
}

void tst_HostSettings::undeclaredKeysAreIgnored()
{
    TestSettings settings;
    settings.setValue(QStringLiteral("Undeclared"), 5);
    QVERIFY(!settings.hasKey(QStringLiteral("Undeclared")));
    QVERIFY(settings.equals(TestSettings()));
    QSettings store(iniFile(), QSettings::IniFormat);
    settings.writeSettings(&store);
    QVERIFY(!store.contains(QStringLiteral("TestVcs/Undeclared")));
}

void tst_HostSettings::binaryPathResolution_data()
{
    // Directories: "first" and "second" go under the Path key, "onpath" on PATH.
    QTest::addColumn<QString>("binary");
    QTest::addColumn<QString>("pathKey");
    QTest::addColumn<QString>("found"); // relative to the temporary directory, or empty

    QTest::newRow("in the second Path directory") << "tool" << "first:second" << "second/tool";
    QTest::newRow("first Path directory wins") << "both" << "first:second" << "first/both";
    QTest::newRow("Path before PATH") << "shadow" << "first:second" << "first/shadow";
    QTest::newRow("on PATH") << "pathonly" << "first" << "onpath/pathonly";
    QTest::newRow("not executable") << "plain" << "first" << "";
    QTest::newRow("missing") << "nothing" << "first:second" << "";
    QTest::newRow("windows suffix") << "tool.exe" << "second" << "second/tool";
    QTest::newRow("empty Path key") << "tool" << "" << "";
    QTest::newRow("empty binary") << "" << "first:second" << "";
}

void tst_HostSettings::binaryPathResolution()
{
    QFETCH(QString, binary);
    QFETCH(QString, pathKey);
    QFETCH(QString, found);
#ifndef Q_OS_UNIX
    QSKIP("The files are made executable by permission bits, which only POSIX systems have.");
#endif
    const QDir root(m_tempDir.path());
    for (const char *dir : {"first", "second", "onpath"})
        QVERIFY(root.mkpath(QLatin1String(dir)));
    for (const char *file : {"second/tool", "first/both", "second/both", "first/shadow", "onpath/shadow",
                             "onpath/pathonly"})
        QVERIFY(makeExecutable(root.filePath(QLatin1String(file))));
    QVERIFY(writeFile(root.filePath(QStringLiteral("first/plain")), "data"));
    qputenv("PATH", root.filePath(QStringLiteral("onpath")).toLocal8Bit());

    QStringList pathDirs;
    for (const QString &dir : pathKey.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        pathDirs << root.filePath(dir);
    TestSettings settings;
    settings.setValue(VcsBaseClientSettings::binaryPathKey, binary);
    settings.setValue(VcsBaseClientSettings::pathKey, pathDirs.join(QLatin1Char(':')));
    QCOMPARE(settings.binaryPath(), found.isEmpty() ? QString() : root.filePath(found));
}

void tst_HostSettings::storeIsOwnerOnly_data()
{
    QTest::addColumn<int>("existingMode"); // -1: no file yet
    QTest::addColumn<int>("umask");
    QTest::newRow("new file") << -1 << 022;
    QTest::newRow("new file, permissive umask") << -1 << 0;
    QTest::newRow("world-readable file") << 0644 << 022;
    QTest::newRow("world-writable file, permissive umask") << 0666 << 0;
}

void tst_HostSettings::storeIsOwnerOnly()
{
    QFETCH(int, existingMode);
    QFETCH(int, umask);
#ifndef Q_OS_UNIX
    Q_UNUSED(existingMode)
    Q_UNUSED(umask)
    QSKIP("File modes and the umask are POSIX's.");
#else
    const UmaskGuard guard(static_cast<mode_t>(umask));
    const QString dir = m_tempDir.filePath(QStringLiteral("config/workbench"));
    const QString file = dir + QStringLiteral("/workbench.ini");
    if (existingMode >= 0) {
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(writeFile(file, "[General]\nkept=1\n"));
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), static_cast<mode_t>(existingMode)), 0);
    }

    Core::ICore::setSettingsPath(dir);
    QSettings *store = Core::ICore::settings();
    QVERIFY(store);
    QCOMPARE(QFileInfo(store->fileName()).canonicalFilePath(), QFileInfo(file).canonicalFilePath());
    QCOMPARE(fileMode(file), 0600);

    // QSettings writes through a temporary file that replaces the store; the mode must survive.
    store->setValue(QStringLiteral("TestVcs/Password"), QStringLiteral("secret"));
    QVERIFY(Core::ICore::syncSettings());
    QCOMPARE(fileMode(file), 0600);
    store->setValue(QStringLiteral("TestVcs/Password"), QStringLiteral("changed"));
    Core::ICore::resetSettings();
    QCOMPARE(fileMode(file), 0600);
    QCOMPARE(Core::ICore::settingsError(), QString());
#endif
}

void tst_HostSettings::storeKeepsValuesAcrossReopen()
{
    Core::ICore::setSettingsPath(m_tempDir.path());
    TestSettings written;
    written.setValue(VcsBaseClientSettings::userNameKey, QStringLiteral("carol"));
    written.setValue(VcsBaseClientSettings::timeoutKey, 90);
    written.writeSettings(Core::ICore::settings());
    Core::ICore::resetSettings();

    Core::ICore::setSettingsPath(m_tempDir.path());
    TestSettings read;
    read.readSettings(Core::ICore::settings());
    QVERIFY(read.equals(written));
    // It is a plain INI file that any QSettings reads.
    const QSettings plain(Core::ICore::settings()->fileName(), QSettings::IniFormat);
    QCOMPARE(plain.value(QStringLiteral("TestVcs/Username")).toString(), QStringLiteral("carol"));
}

void tst_HostSettings::corruptStoreGivesDefaults()
{
    QFETCH(QByteArray, corrupt);
    const QString file = m_tempDir.filePath(QStringLiteral("workbench.ini"));
    QVERIFY(writeFile(file, corrupt));
    Core::ICore::setSettingsPath(m_tempDir.path());
    TestSettings settings;
    settings.readSettings(Core::ICore::settings());
    QVERIFY(settings.equals(TestSettings()));
    QVERIFY2(Core::ICore::settingsError().contains(file), qPrintable(Core::ICore::settingsError()));

    // The user's file is kept aside untouched; the store itself starts afresh.
    QFile backup(file + QStringLiteral(".corrupt"));
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QCOMPARE(backup.readAll(), corrupt);
    QCOMPARE(fileMode(backup.fileName()), 0600);
    settings.setValue(VcsBaseClientSettings::userNameKey, QStringLiteral("alice"));
    settings.writeSettings(Core::ICore::settings());
    QVERIFY(Core::ICore::syncSettings());
    QCOMPARE(fileMode(file), 0600);
    const QSettings reread(file, QSettings::IniFormat);
    QCOMPARE(reread.status(), QSettings::NoError);
    QCOMPARE(reread.value(QStringLiteral("TestVcs/Username")).toString(), QStringLiteral("alice"));
    QCOMPARE(reread.value(QStringLiteral("TestVcs/Timeout")).toInt(), 30);
}

void tst_HostSettings::corruptStoreGivesDefaults_data()
{
    QTest::addColumn<QByteArray>("corrupt");
    QTest::newRow("unterminated group") << QByteArray("[TestVcs\nUsername=mallory\nTimeout=5\n");
    QTest::newRow("broken group after good keys")
        << QByteArray("[TestVcs]\nUsername=mallory\nTimeout=5\n[Other\nx=1\n");
}

void tst_HostSettings::unwritableStoreIsReported()
{
    // A regular file where the store's directory should be defeats even root.
    const QString blocker = m_tempDir.filePath(QStringLiteral("blocker"));
    QVERIFY(writeFile(blocker, "not a directory"));
    Core::ICore::setSettingsPath(blocker + QStringLiteral("/config"));
    QSettings *store = Core::ICore::settings();
    QVERIFY(store);
    store->setValue(QStringLiteral("TestVcs/Username"), QStringLiteral("dave"));
    QVERIFY(!Core::ICore::syncSettings());
    QVERIFY2(Core::ICore::settingsError().contains(QLatin1String("blocker/config")),
             qPrintable(Core::ICore::settingsError()));
}

QTEST_GUILESS_MAIN(tst_HostSettings)

#include "tst_hostsettings.moc"
