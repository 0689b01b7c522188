#include "testhost.h"

#include <checkoutwizard.h>
#include <checkoutwizardpage.h>
#include <commandlines.h>
#include <teamfoundationplugin.h>

#include <core/icore.h>
#include <extensionsystem/pluginmanager.h>
#include <vcsbase/command.h>
#include <vcsbase/vcsconfigurationpage.h>
#include <vcsbase/vcsoutputwindow.h>

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QTranslator>
#include <QWizard>
#include <QtTest>

#include <memory>

using namespace TeamFoundation::Internal;

using JobList = QList<QStringList>;

namespace {

// Marks every text of the wizard's classes with the context it was looked up in, so that a
// text translated in the wrong context (or not at all) shows.
class MarkingTranslator : public QTranslator
{
public:
    QString translate(const char *context, const char *sourceText, const char *disambiguation,
                      int n) const override
    {
        Q_UNUSED(disambiguation)
        Q_UNUSED(n)
        if (!QByteArray(context).startsWith("TeamFoundation::Internal::Checkout"))
            return QString();
        return QStringLiteral("<%1>%2").arg(QLatin1String(context), QString::fromUtf8(sourceText));
    }
    bool isEmpty() const override { return false; }
};

CheckoutWizard *registeredWizard()
{
    const QList<CheckoutWizard *> wizards =
        ExtensionSystem::PluginManager::getObjects<CheckoutWizard>();
    return wizards.size() == 1 ? wizards.first() : nullptr;
}

CheckoutWizardPage *checkoutPage(const QList<QWizardPage *> &pages)
{
    return pages.isEmpty() ? nullptr : qobject_cast<CheckoutWizardPage *>(pages.last());
}

QLineEdit *lineEdit(const QWidget *page, const char *name)
{
    return page->findChild<QLineEdit *>(QLatin1String(name));
}

// The text of the label in front of 'field' in its form layout.
QString labelOf(QWidget *field)
{
    auto form = field && field->parentWidget()
                    ? qobject_cast<QFormLayout *>(field->parentWidget()->layout())
                    : nullptr;
    auto label = form ? qobject_cast<QLabel *>(form->labelForField(field)) : nullptr;
    return label ? label->text() : QStringLiteral("<no label>");
}

int formRow(QWidget *field)
{
    auto form = qobject_cast<QFormLayout *>(field->parentWidget()->layout());
    int row = -1;
    QFormLayout::ItemRole role;
    form->getWidgetPosition(field, &row, &role);
    return row;
}

void fillPage(CheckoutWizardPage *page, const QString &serverPath, const QString &directory,
              const QString &collection, const QString &workspace)
{
    page->setRepository(serverPath);
    if (!directory.isNull())
        page->setDirectory(directory);
    lineEdit(page, "collectionEdit")->setText(collection);
    lineEdit(page, "workspaceEdit")->setText(workspace);
}

QStringList jobArguments(const VcsBase::Command &command, int index)
{
    return command.jobs().value(index).arguments;
}

} // namespace

class tst_CheckoutWizard : public QObject
{
    Q_OBJECT

private slots:
    void identity_data();
    void identity();
    void releasedWithPlugin();
    void parameterPages_data();
    void parameterPages();
    void pageConstruction();
    void directoryProposal_data();
    void directoryProposal();
    void command_data();
    void command();
    void commandWithoutCheckoutPage_data();
    void commandWithoutCheckoutPage();
    void settingsReadWhenFinishing();
    void withoutPlugin();
    void jobsRun_data();
    void jobsRun();
    void checkoutThroughHostDialog();
};

void tst_CheckoutWizard::identity_data()
{
    QTest::addColumn<bool>("translate");
    QTest::addColumn<QString>("wizardPrefix");
    QTest::addColumn<QString>("pagePrefix");

    QTest::newRow("untranslated") << false << QString() << QString();
    QTest::newRow("translated") << true
                                << QStringLiteral("<TeamFoundation::Internal::CheckoutWizard>")
                                << QStringLiteral("<TeamFoundation::Internal::CheckoutWizardPage>");
}

void tst_CheckoutWizard::identity()
{
    QFETCH(bool, translate);
    QFETCH(QString, wizardPrefix);
    QFETCH(QString, pagePrefix);

    MarkingTranslator translator;
    if (translate)
        QCoreApplication::installTranslator(&translator);
    TestHost host;
    host.configure();
    host.loadPlugin();
    CheckoutWizard *wizard = registeredWizard();
    QVERIFY(wizard);

    QCOMPARE(wizard->id().toString(), QStringLiteral("T.TeamFoundation"));
    QCOMPARE(wizard->displayName(), wizardPrefix + QStringLiteral("Team Foundation Checkout"));
    QCOMPARE(wizard->description(),
             wizardPrefix +
                 QStringLiteral("Maps a Team Foundation Server folder and tries to load the "
                                "contained project."));
    // What the base wizard decides stays its own.
    QCOMPARE(wizard->kind(), Core::IWizard::ProjectWizard);
    QCOMPARE(wizard->category(), QStringLiteral("T.Import"));

    const QImage resource(QStringLiteral(":/teamfoundation/images/teamfoundation.png"));
    QCOMPARE(resource.size(), QSize(36, 36));
    QVERIFY(!wizard->icon().isNull());
    QCOMPARE(wizard->icon().availableSizes(), QList<QSize>{QSize(36, 36)});
    QCOMPARE(wizard->icon().pixmap(36, 36).toImage().convertToFormat(QImage::Format_RGB32),
             resource.convertToFormat(QImage::Format_RGB32));

    const QList<QWizardPage *> pages = wizard->createParameterPages(host.sandbox());
    std::unique_ptr<CheckoutWizardPage> page(checkoutPage(pages));
    QVERIFY(page);
    QCOMPARE(page->title(), pagePrefix + QStringLiteral("Location"));
    QCOMPARE(page->subTitle(),
             pagePrefix + QStringLiteral("Specify server path, checkout directory and path."));
    QCOMPARE(labelOf(lineEdit(page.get(), "repositoryLineEdit")),
             pagePrefix + QStringLiteral("Server path:"));
    QCOMPARE(labelOf(lineEdit(page.get(), "collectionEdit")),
             pagePrefix + QStringLiteral("Collection: (leave empty for default)"));
    QCOMPARE(labelOf(lineEdit(page.get(), "workspaceEdit")),
             pagePrefix + QStringLiteral("Workspace: (leave empty for default)"));

    QCoreApplication::removeTranslator(&translator);
}

void tst_CheckoutWizard::releasedWithPlugin()
{
    QPointer<CheckoutWizard> wizard;
    {
        TestHost host;
        host.loadPlugin();
        wizard = registeredWizard();
        QVERIFY(wizard);
        QVERIFY(!wizard->parent());
    }
    QVERIFY(wizard.isNull());
}

void tst_CheckoutWizard::parameterPages_data()
{
    QTest::addColumn<QString>("binaryPath"); // "tf" is the sandbox's stand-in
    QTest::addColumn<bool>("expectConfigurationPage");

    QTest::newRow("configured") << QStringLiteral("tf") << false;
    QTest::newRow("missing executable") << QStringLiteral("missing/tf.exe") << true;
    QTest::newRow("not executable") << QStringLiteral("plain") << true;
    QTest::newRow("a directory") << QStringLiteral("bin") << true;
}

void tst_CheckoutWizard::parameterPages()
{
    QFETCH(QString, binaryPath);
    QFETCH(bool, expectConfigurationPage);

    TestHost host;
    host.configure();
    host.makeFile(QStringLiteral("plain"));
    const QString binary = binaryPath == QLatin1String("tf")
                               ? host.tfPath()
                               : host.sandbox() + QLatin1Char('/') + binaryPath;
    QSettings *store = Core::ICore::settings();
    store->setValue(QStringLiteral("TeamFoundation/BinaryPath"), binary);
    TeamFoundationPlugin *plugin = host.loadPlugin();
    CheckoutWizard *wizard = registeredWizard();
    QVERIFY(wizard);

    const QString proposed = host.makeDirectory(QStringLiteral("projects"));
    const QList<QWizardPage *> pages = wizard->createParameterPages(proposed);
    std::vector<std::unique_ptr<QWizardPage>> owned(pages.begin(), pages.end());

    QCOMPARE(pages.size(), expectConfigurationPage ? 2 : 1);
    for (QWizardPage *page : pages)
        QVERIFY(!page->parent());
    if (expectConfigurationPage) {
        auto configuration = qobject_cast<VcsBase::VcsConfigurationPage *>(pages.first());
        QVERIFY(configuration);
        QVERIFY(!configuration->isComplete());
        auto texts = [configuration] {
            QString all = configuration->subTitle();
            for (const QLabel *label : configuration->findChildren<QLabel *>())
                all += QLatin1Char('\n') + label->text();
            return all;
        };
        QVERIFY2(texts().contains(QLatin1String("not configured")), qPrintable(texts()));
        // The page answers for our version control: configuring it completes the page, and
        // the page stops asking for it.
        QSignalSpy completeChanged(configuration, &QWizardPage::completeChanged);
        host.configure();
        QVERIFY(plugin->versionControl()->isConfigured());
        QVERIFY(!completeChanged.isEmpty());
        QVERIFY(configuration->isComplete());
        QVERIFY2(!texts().contains(QLatin1String("not configured"))
                     && !texts().contains(QLatin1String("Please configure")),
                 qPrintable(texts()));
    }
    CheckoutWizardPage *page = qobject_cast<CheckoutWizardPage *>(pages.last());
    QVERIFY(page);
    QCOMPARE(page->path(), proposed);
}

void tst_CheckoutWizard::pageConstruction()
{
    CheckoutWizardPage page;

    QCOMPARE(page.repository(), QStringLiteral("$/"));
    QCOMPARE(page.directory(), QString()); // what "$/" proposes
    QCOMPARE(page.collection(), QString());
    QCOMPARE(page.workspace(), QString());

    auto branches = page.findChild<QComboBox *>(QStringLiteral("branchComboBox"));
    QVERIFY(branches);
    QVERIFY(branches->isHidden());

    // The two rows of the page's own sit in the repository section, collection first.
    QLineEdit *repository = lineEdit(&page, "repositoryLineEdit");
    QLineEdit *collection = lineEdit(&page, "collectionEdit");
    QLineEdit *workspace = lineEdit(&page, "workspaceEdit");
    QVERIFY(repository && collection && workspace);
    QCOMPARE(collection->parentWidget(), repository->parentWidget());
    QCOMPARE(workspace->parentWidget(), repository->parentWidget());
    QVERIFY(formRow(repository) < formRow(collection));
    QCOMPARE(formRow(workspace), formRow(collection) + 1);

    // Typed text comes back as it stands, blanks included.
    QTest::keyClicks(collection, QStringLiteral(" http://tfs:8080/tfs/Coll "));
    QTest::keyClicks(workspace, QStringLiteral("  "));
    QCOMPARE(page.collection(), QStringLiteral(" http://tfs:8080/tfs/Coll "));
    QCOMPARE(page.workspace(), QStringLiteral("  "));
}

void tst_CheckoutWizard::directoryProposal_data()
{
    QTest::addColumn<QString>("serverPath");
    QTest::addColumn<QString>("directory");

    QTest::newRow("folder") << QStringLiteral("$/Team/App") << QStringLiteral("App");
    QTest::newRow("server root") << QStringLiteral("$/") << QString();
    QTest::newRow("blanks around") << QStringLiteral("  $/Team/App  ") << QStringLiteral("App");
    QTest::newRow("trailing slash") << QStringLiteral("$/Team/App/") << QString();
    QTest::newRow("dollar without slash") << QStringLiteral("$App") << QStringLiteral("App");
    QTest::newRow("plain name") << QStringLiteral("App") << QStringLiteral("App");
    QTest::newRow("backslashes do not separate")
        << QStringLiteral("$\\Team\\App") << QStringLiteral("\\Team\\App");
    QTest::newRow("dollar inside a name") << QStringLiteral("$/Team/A$pp") << QStringLiteral("App");
}

void tst_CheckoutWizard::directoryProposal()
{
    QFETCH(QString, serverPath);
    QFETCH(QString, directory);

    // The base page proposes the directory through the page's hook as the user types.
    CheckoutWizardPage page;
    lineEdit(&page, "repositoryLineEdit")->clear();
    QTest::keyClicks(lineEdit(&page, "repositoryLineEdit"), serverPath);
    QCOMPARE(page.repository(), serverPath);
    QCOMPARE(page.directory(), directory);
}

void tst_CheckoutWizard::command_data()
{
    QTest::addColumn<QString>("serverPath");
    QTest::addColumn<QString>("directory"); // null: keep the page's proposal
    QTest::addColumn<QString>("collection");
    QTest::addColumn<QString>("workspace");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("checkoutPath");
    QTest::addColumn<JobList>("jobs");      // tf.exe's
    // The cross-platform client's: the workspaces of the collection, a new workspace unless
    // they hold it, the mapping into it, the get. Empty: the page is not complete.
    QTest::addColumn<JobList>("crossJobs");

    const QString app = QStringLiteral("$/Team/App");
    const QString checkout = QStringLiteral("D:/src/App");
    const QString coll = QStringLiteral("http://tfs:8080/tfs/Coll");
    const QString login = QStringLiteral("/login:jane,s3cret");
    const QStringList map{QStringLiteral("workfold"), QStringLiteral("/map"), app, checkout};
    const QStringList get{QStringLiteral("get"), QStringLiteral("App"),
                          QStringLiteral("/recursive")};
    const QString computer = CommandLines::defaultWorkspaceName();
    const QString noprompt = QStringLiteral("-noprompt");
    const auto cross = [&](const QString &workspace, const QString &credentials) {
        const QStringList extra = credentials.isEmpty()
                                      ? QStringList{noprompt}
                                      : QStringList{noprompt, QLatin1Char('-') + credentials.mid(1)};
        return JobList{
            QStringList{"workspaces", "-format:xml", "-collection:" + coll} + extra,
            QStringList{"workspace", "-new", workspace, "-collection:" + coll} + extra,
            QStringList{"workfold", "-map", app, checkout, "-collection:" + coll,
                        "-workspace:" + workspace} + extra,
            QStringList{"get", "App", "-recursive"} + extra};
    };

    QTest::newRow("collection and workspace empty")
        << app << QString() << QString() << QString() << QString() << QString() << checkout
        << JobList{map, get} << JobList();
    QTest::newRow("collection only: the computer's workspace")
        << app << QString() << coll << QString() << QString() << QString() << checkout
        << JobList{map + QStringList{QLatin1String("/collection:") + coll}, get}
        << cross(computer, QString());
    QTest::newRow("workspace and collection")
        << app << QString() << coll << QStringLiteral("ws1") << QString() << QString() << checkout
        << JobList{{QStringLiteral("workspace"), QStringLiteral("/new"), QStringLiteral("ws1"),
                    QLatin1String("/collection:") + coll},
                   map + QStringList{QLatin1String("/collection:") + coll,
                                     QStringLiteral("/workspace:ws1")},
                   get}
        << cross(QStringLiteral("ws1"), QString());
    QTest::newRow("workspace only: no empty collection option")
        << app << QString() << QString() << QStringLiteral("ws1") << QString() << QString()
        << checkout
        << JobList{{QStringLiteral("workspace"), QStringLiteral("/new"), QStringLiteral("ws1")},
                   map + QStringList{QStringLiteral("/workspace:ws1")},
                   get}
        << JobList();
    QTest::newRow("blanks-only fields count as given")
        << app << QString() << QStringLiteral(" ") << QStringLiteral("  ") << QString() << QString()
        << checkout
        << JobList{
               {QStringLiteral("workspace"), QStringLiteral("/new"), QStringLiteral("  "),
                QStringLiteral("/collection: ")},
               map + QStringList{QStringLiteral("/collection: "), QStringLiteral("/workspace:  ")},
               get}
        << JobList();
    QTest::newRow("credentials set, two jobs")
        << app << QString() << QString() << QString() << QStringLiteral("jane")
        << QStringLiteral("s3cret") << checkout
        << JobList{map + QStringList{login}, get + QStringList{login}} << JobList();
    QTest::newRow("credentials set, three jobs: login always last")
        << app << QString() << coll << QStringLiteral("ws1") << QStringLiteral("jane")
        << QStringLiteral("s3cret") << checkout
        << JobList{{QStringLiteral("workspace"), QStringLiteral("/new"), QStringLiteral("ws1"),
                    QLatin1String("/collection:") + coll, login},
                   map + QStringList{QLatin1String("/collection:") + coll,
                                     QStringLiteral("/workspace:ws1"), login},
                   get + QStringList{login}}
        << cross(QStringLiteral("ws1"), login);
    QTest::newRow("user name without password")
        << app << QString() << QString() << QStringLiteral("ws1") << QStringLiteral("jane")
        << QString() << checkout
        << JobList{{QStringLiteral("workspace"), QStringLiteral("/new"), QStringLiteral("ws1")},
                   map + QStringList{QStringLiteral("/workspace:ws1")},
                   get}
        << JobList();
    QTest::newRow("password without user name")
        << app << QString() << QString() << QString() << QString() << QStringLiteral("s3cret")
        << checkout << JobList{map, get} << JobList();
    QTest::newRow("server path keeps its blanks")
        << QStringLiteral(" $/Team/App ") << QString() << QString() << QString() << QString()
        << QString() << checkout
        << JobList{{QStringLiteral("workfold"), QStringLiteral("/map"),
                    QStringLiteral(" $/Team/App "), checkout},
                   get}
        << JobList();
    QTest::newRow("directory chosen by the user")
        << app << QStringLiteral("Mine") << QString() << QString() << QString() << QString()
        << QStringLiteral("D:/src/Mine")
        << JobList{{QStringLiteral("workfold"), QStringLiteral("/map"), app,
                    QStringLiteral("D:/src/Mine")},
                   {QStringLiteral("get"), QStringLiteral("Mine"), QStringLiteral("/recursive")}}
        << JobList();
}

void tst_CheckoutWizard::command()
{
    QFETCH(QString, serverPath);
    QFETCH(QString, directory);
    QFETCH(QString, collection);
    QFETCH(QString, workspace);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, checkoutPath);
    QFETCH(JobList, jobs);
    QFETCH(JobList, crossJobs);

    for (ClientKind kind : {ClientKind::VisualStudio, ClientKind::CrossPlatform}) {
        const bool crossPlatform = kind == ClientKind::CrossPlatform;
        TestHost host;
        host.loadPlugin();
        host.configure(user, password, 30, kind);
        CheckoutWizard *wizard = registeredWizard();
        QVERIFY(wizard);

        const QList<QWizardPage *> pages = wizard->createParameterPages(QStringLiteral("D:/src"));
        std::vector<std::unique_ptr<QWizardPage>> owned(pages.begin(), pages.end());
        CheckoutWizardPage *page = checkoutPage(pages);
        QVERIFY(page);
        // With the cross-platform client the collection is no longer optional.
        QCOMPARE(labelOf(lineEdit(page, "collectionEdit")),
                 crossPlatform ? QStringLiteral("Collection:")
                               : QStringLiteral("Collection: (leave empty for default)"));
        QSignalSpy completeChanged(page, &QWizardPage::completeChanged);
        lineEdit(page, "collectionEdit")->setText(QStringLiteral("x"));
        QCOMPARE(completeChanged.isEmpty(), !crossPlatform);
        fillPage(page, serverPath, directory, collection, workspace);
        // Without a collection the cross-platform client has nothing to map into; the rest
        // of the page's rules are the host's (the path must exist).
        const JobList expected = crossPlatform ? crossJobs : jobs;
        page->setPath(host.sandbox());
        QCOMPARE(page->isComplete(), !expected.isEmpty());
        if (expected.isEmpty())
            continue;
        page->setPath(QStringLiteral("D:/src"));

        QString actualCheckoutPath = QStringLiteral("untouched");
        std::unique_ptr<VcsBase::Command> command(wizard->createCommand(pages, &actualCheckoutPath));
        QVERIFY(command);
        QVERIFY(host.takeAsserts().isEmpty());

        QCOMPARE(actualCheckoutPath, checkoutPath);
        QCOMPARE(command->binaryPath(), host.tfPath());
        QCOMPARE(command->workingDirectory(), QStringLiteral("D:/src"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (crossPlatform) {
            const QString java = environment.value(QStringLiteral("TF_ADDITIONAL_JAVA_ARGS"));
            environment.insert(QStringLiteral("TF_ADDITIONAL_JAVA_ARGS"),
                               (java.isEmpty() ? QString() : java + QLatin1Char(' '))
                                   + QStringLiteral("-Duser.language=en -Duser.country=US "
                                                    "-Dfile.encoding=UTF-8"));
        }
        QCOMPARE(command->processEnvironment(), environment);
        QCOMPARE(command->jobs().size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(jobArguments(*command, i), expected.at(i));
            QCOMPARE(command->jobs().at(i).timeout, -1);
            QVERIFY(!command->jobs().at(i).exitCodeInterpreter);
            // Only the new workspace depends on what ran before it.
            const bool conditional = crossPlatform && i == 1;
            QCOMPARE(bool(command->jobs().at(i).condition), conditional);
        }
        // Building the command runs nothing.
        QVERIFY(host.takeRuns().isEmpty());
        if (!crossPlatform)
            continue;
        // The workspace is made unless the listing before it names it, for this computer.
        const std::function<bool()> makeWorkspace = command->jobs().at(1).condition;
        const QString name = expected.at(1).at(2);
        QVERIFY(makeWorkspace());
        emit command->output(QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"utf-8\"?><workspaces>\n  <workspace name=\"%1\" "
            "owner=\"jane\" computer=\"elsewhere\"/>\n").arg(name));
        QVERIFY(makeWorkspace());
        emit command->output(QStringLiteral("  <workspace name=\"%1\" owner=\"jane\" "
                                            "computer=\"%2\" comment=\"\"/>\n</workspaces>\n")
                                 .arg(name.toUpper(), CommandLines::computerName()));
        QVERIFY(!makeWorkspace());
    }
}

void tst_CheckoutWizard::commandWithoutCheckoutPage_data()
{
    QTest::addColumn<int>("pageKinds"); // 0: none, 1: configuration page, 2: foreign pages

    QTest::newRow("no pages") << 0;
    QTest::newRow("configuration page only") << 1;
    QTest::newRow("pages of another wizard") << 2;
}

void tst_CheckoutWizard::commandWithoutCheckoutPage()
{
    QFETCH(int, pageKinds);

    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    CheckoutWizard *wizard = registeredWizard();
    QVERIFY(wizard);

    std::vector<std::unique_ptr<QWizardPage>> owned;
    if (pageKinds == 1)
        owned.emplace_back(new VcsBase::VcsConfigurationPage(plugin->versionControl()));
    if (pageKinds == 2) {
        owned.emplace_back(new QWizardPage);
        owned.emplace_back(new VcsBase::BaseCheckoutWizardPage);
    }
    QList<QWizardPage *> pages;
    for (const auto &page : owned)
        pages.append(page.get());

    QString checkoutPath = QStringLiteral("untouched");
    QCOMPARE(wizard->createCommand(pages, &checkoutPath), nullptr);
    QCOMPARE(checkoutPath, QStringLiteral("untouched"));
    const QStringList asserts = host.takeAsserts();
    QCOMPARE(asserts.size(), 1);
    QVERIFY2(
        QRegularExpression(QStringLiteral("^\"cwp\" in file .*checkoutwizard\\.cpp, line \\d+$"))
            .match(asserts.first())
            .hasMatch(),
        qPrintable(asserts.first()));
}

void tst_CheckoutWizard::settingsReadWhenFinishing()
{
    // tf is not configured when the wizard starts; the user configures it, with credentials,
    // through the configuration page of the same run.
    TestHost host;
    host.loadPlugin();
    CheckoutWizard *wizard = registeredWizard();
    QVERIFY(wizard);
    const QList<QWizardPage *> pages = wizard->createParameterPages(QStringLiteral("D:/src"));
    std::vector<std::unique_ptr<QWizardPage>> owned(pages.begin(), pages.end());
    QCOMPARE(pages.size(), 2);
    fillPage(checkoutPage(pages), QStringLiteral("$/Team/App"), QString(), QString(), QString());

    host.configure(QStringLiteral("jane"), QStringLiteral("s3cret"));

    QString checkoutPath;
    std::unique_ptr<VcsBase::Command> command(wizard->createCommand(pages, &checkoutPath));
    QVERIFY(command);
    QCOMPARE(checkoutPath, QStringLiteral("D:/src/App"));
    QCOMPARE(command->binaryPath(), host.tfPath());
    QCOMPARE(command->jobs().size(), 2);
    QCOMPARE(jobArguments(*command, 0).last(), QStringLiteral("/login:jane,s3cret"));
    QCOMPARE(jobArguments(*command, 1).last(), QStringLiteral("/login:jane,s3cret"));
}

void tst_CheckoutWizard::withoutPlugin()
{
    // A wizard whose plugin is gone must neither crash nor build a command.
    TestHost host;
    CheckoutWizard wizard;
    const QList<QWizardPage *> pages = wizard.createParameterPages(QStringLiteral("D:/src"));
    std::vector<std::unique_ptr<QWizardPage>> owned(pages.begin(), pages.end());
    QCOMPARE(pages.size(), 2);
    // Without a version control to configure the run cannot get past the first page.
    QVERIFY(!pages.first()->isComplete());
    fillPage(checkoutPage(pages), QStringLiteral("$/Team/App"), QString(), QString(), QString());

    QString checkoutPath = QStringLiteral("untouched");
    QCOMPARE(wizard.createCommand(pages, &checkoutPath), nullptr);
    QCOMPARE(checkoutPath, QStringLiteral("untouched"));
    // Both calls report that there is no plugin to reach.
    const QStringList asserts = host.takeAsserts();
    QCOMPARE(asserts.size(), 2);
    for (const QString &message : asserts)
        QVERIFY2(message.startsWith(QLatin1String("\"m_teamFoundationPluginInstance\" in file ")),
                 qPrintable(message));
}

void tst_CheckoutWizard::jobsRun_data()
{
    QTest::addColumn<QByteArray>("failWord");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("ran");

    const QStringList all{QStringLiteral("workspace"), QStringLiteral("workfold"),
                          QStringLiteral("get")};
    QTest::newRow("all succeed") << QByteArray() << true << all;
    QTest::newRow("workspace fails")
        << QByteArray("workspace") << false << QStringList(all.mid(0, 1));
    QTest::newRow("mapping fails") << QByteArray("workfold") << false << QStringList(all.mid(0, 2));
    QTest::newRow("get fails") << QByteArray("get") << false << all;
}

void tst_CheckoutWizard::jobsRun()
{
    QFETCH(QByteArray, failWord);
    QFETCH(bool, ok);
    QFETCH(QStringList, ran);

    TestHost host;
    host.loadPlugin();
    host.configure(QStringLiteral("jane"), QStringLiteral("s3cret"));
    if (!failWord.isEmpty())
        host.setResponse("TFREC_FAIL_WORD", failWord);
    CheckoutWizard *wizard = registeredWizard();
    QVERIFY(wizard);
    const QString path = host.makeDirectory(QStringLiteral("src"));

    const QList<QWizardPage *> pages = wizard->createParameterPages(path);
    std::vector<std::unique_ptr<QWizardPage>> owned(pages.begin(), pages.end());
    fillPage(checkoutPage(pages), QStringLiteral("$/Team/App"), QString(), QString(),
             QStringLiteral("ws1"));
    QString checkoutPath;
    std::unique_ptr<VcsBase::Command> command(wizard->createCommand(pages, &checkoutPath));
    QVERIFY(command);
    VcsBase::VcsOutputWindow::clearContents();

    QCOMPARE(command->run(), ok);

    const QList<Recorded> runs = host.takeRuns();
    QCOMPARE(runs.size(), ran.size());
    for (int i = 0; i < runs.size(); ++i) {
        QCOMPARE(runs.at(i).name, QStringLiteral("tf"));
        QCOMPARE(runs.at(i).workingDirectory, path);
        QCOMPARE(runs.at(i).arguments.value(0), ran.at(i));
        QCOMPARE(runs.at(i).arguments, jobArguments(*command, i));
    }
    // The password reaches tf, on its standard input: on no command line, and not in the
    // output pane.
    QVERIFY(runs.first().arguments.contains(QStringLiteral("/login:jane,s3cret")));
    for (const Recorded &run : runs)
        QCOMPARE(run.via, QStringLiteral("stdin"));
    for (const Started &start : host.takeStarts())
        QCOMPARE(start.argv, QStringList(QStringLiteral("@")));
    const QString pane = VcsBase::VcsOutputWindow::content();
    QVERIFY(pane.contains(QStringLiteral("workspace")));
    QVERIFY(!pane.contains(QStringLiteral("s3cret")));
}

void tst_CheckoutWizard::checkoutThroughHostDialog()
{
    // The host's own flow: the dialog with the pages, then the checkout of what was filled in.
    TestHost host;
    host.loadPlugin();
    CheckoutWizard *wizard = registeredWizard();
    QVERIFY(wizard);
    const QString path = host.makeDirectory(QStringLiteral("src"));

    std::unique_ptr<QWizard> dialog(wizard->createWizardDialog(path, nullptr));
    QCOMPARE(dialog->pageIds().size(), 2); // not configured yet
    host.configure();
    auto page = qobject_cast<CheckoutWizardPage *>(dialog->page(dialog->pageIds().last()));
    QVERIFY(page);
    QCOMPARE(page->path(), path);
    fillPage(page, QStringLiteral("$/Team/App"), QString(), QStringLiteral("Coll"), QString());
    QVERIFY(page->isComplete());

    QString error;
    QCOMPARE(wizard->checkout(dialog.get(), &error), path + QStringLiteral("/App"));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QList<Recorded> runs = host.takeRuns();
    QCOMPARE(runs.size(), 2);
    QCOMPARE(runs.at(0).arguments,
             (QStringList{QStringLiteral("workfold"), QStringLiteral("/map"),
                          QStringLiteral("$/Team/App"), path + QStringLiteral("/App"),
                          QStringLiteral("/collection:Coll")}));
    QCOMPARE(runs.at(1).arguments, (QStringList{QStringLiteral("get"), QStringLiteral("App"),
                                                QStringLiteral("/recursive")}));
}

QTEST_MAIN(tst_CheckoutWizard)

#include "tst_checkoutwizard.moc"
