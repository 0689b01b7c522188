#include "testhost.h"

#include <core/icore.h>
#include <core/iversioncontrol.h>
#include <extensionsystem/pluginmanager.h>
#include <utils/pathchooser.h>
#include <vcsbase/vcsbaseoptionspage.h>

#include <settingspage.h>
#include <teamfoundationplugin.h>
#include <teamfoundationsettings.h>
#include <vcsbase/vcsoutputwindow.h>

#include "ui_settingspage.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTranslator>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

using namespace TeamFoundation::Internal;

namespace {

const char pageContext[] = "TeamFoundation::Internal::SettingsPage";
const char widgetContext[] = "TeamFoundation::Internal::SettingsPageWidget";

// Marks every text of the page's two contexts, so that a test sees which context a text was
// translated in; the page's own texts get the mnemonic marker a real translation might add.
class MarkingTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *disambiguation,
                      int n) const override
    {
        Q_UNUSED(disambiguation)
        Q_UNUSED(n)
        if (qstrcmp(context, pageContext) == 0)
            return QLatin1Char('&') + QString::fromUtf8(sourceText);
        if (qstrcmp(context, widgetContext) == 0)
            return QLatin1String("<w>") + QString::fromUtf8(sourceText);
        return QString();
    }
};

// A style whose form layouts keep their fields at their size hint unless told otherwise, so
// that a growth policy the form sets differs from one it leaves alone.
class FixedFieldsStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == QStyle::SH_FormLayoutFieldGrowthPolicy)
            return QFormLayout::FieldsStayAtSizeHint;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QSettings *store()
{
    return Core::ICore::settings();
}

QString storeKey(const QString &key)
{
    return QLatin1String("TeamFoundation/") + key;
}

void storeValue(const QString &key, const QVariant &value)
{
    store()->setValue(storeKey(key), value);
}

QVariant storedValue(const QString &key)
{
    return store()->value(storeKey(key));
}

QStringList storedKeys()
{
    store()->beginGroup(QStringLiteral("TeamFoundation"));
    QStringList keys = store()->childKeys();
    store()->endGroup();
    keys.sort();
    return keys;
}

SettingsPage *optionsPage()
{
    return ExtensionSystem::PluginManager::getObject<SettingsPage>();
}

template <typename T> T *field(QWidget *page, const char *name)
{
    return page->findChild<T *>(QLatin1String(name));
}

// Directories written as "$BIN" (the stand-ins), "$EMPTY" (a directory without executables)
// or "$SANDBOX" in the test tables, made absolute for one host.
QString expand(const QString &text, const TestHost &host)
{
    QString rc = text;
    rc.replace(QLatin1String("$BIN"), host.sandbox() + QLatin1String("/bin"));
    rc.replace(QLatin1String("$EMPTY"), host.makeDirectory(QStringLiteral("empty")));
    rc.replace(QLatin1String("$SANDBOX"), host.sandbox());
    return rc;
}

} // namespace

class tst_SettingsPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void pageIdentity();
    void formTree_data();
    void formTree();
    void formStructure();
    void rootObjectName_data();
    void rootObjectName();
    void translationContexts();

    void matches_data();
    void matches();

    void showsResolvedExecutables_data();
    void showsResolvedExecutables();
    void timeOutClamped_data();
    void timeOutClamped();
    void editAndApply();
    void applyUnchanged_data();
    void applyUnchanged();
    void applyWithoutLiveWidget_data();
    void applyWithoutLiveWidget();
    void applyUsesLastWidget();
    void passwordNoteWithoutKeychain_data();
    void passwordNoteWithoutKeychain();

    void screenshot();

private:
    QByteArray m_originalPath;
};

void tst_SettingsPage::initTestCase()
{
    m_originalPath = qgetenv("PATH");
}

void tst_SettingsPage::cleanup()
{
    qputenv("PATH", m_originalPath);
}

void tst_SettingsPage::pageIdentity()
{
    TestHost host;
    TeamFoundationPlugin *plugin = host.loadPlugin();
    QVERIFY(plugin);

    const QList<SettingsPage *> pages = ExtensionSystem::PluginManager::getObjects<SettingsPage>();
    QCOMPARE(pages.size(), 1);
    SettingsPage *page = pages.first();
    QCOMPARE(page->id(), Core::Id("T.TeamFoundation"));
    QCOMPARE(page->displayName(), QStringLiteral("TeamFoundation"));
    QCOMPARE(page->category(), Core::Id(VcsBase::Constants::VCS_SETTINGS_CATEGORY));
    QVERIFY(page->parent() == nullptr);
    QCOMPARE(QByteArray(page->metaObject()->className()), QByteArray(pageContext));
    // The page is handed over before the menu's locator filter.
    QVERIFY(!plugin->autoReleasedObjects().isEmpty());
    QCOMPARE(plugin->autoReleasedObjects().first(), static_cast<QObject *>(page));
}

// Placement: "root" (the layout of the root widget), "group" (the layout of a group box),
// "v<index>" (item of a box layout), "f<row>L"/"f<row>F" (form row, label or field role),
// "g<row>,<column>" (grid cell spanning one row and one column).
void tst_SettingsPage::formTree_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QString>("layoutName");
    QTest::addColumn<QString>("placement");
    QTest::addColumn<QVariantMap>("properties");

    const QString root = QStringLiteral("TeamFoundation__Internal__SettingsPage");
    auto is = [](const char *name, const QVariant &value) {
        return QVariantMap{{QString::fromLatin1(name), value}};
    };
    auto text = [&](const char *t) { return is("text", QString::fromUtf8(t)); };
    auto title = [&](const char *t) { return is("title", QString::fromUtf8(t)); };
    QVariantMap userBox = title("Authentication");
    userBox.insert(QStringLiteral("checkable"), false);
    const QVariantMap spinBox{{QStringLiteral("minimum"), 1},
                              {QStringLiteral("maximum"), 360},
                              {QStringLiteral("suffix"), QStringLiteral("s")}};

    // clang-format off
    QTest::newRow("verticalLayout")   << "QVBoxLayout" << root << root << "root" << QVariantMap();
    QTest::newRow("generalGroupBox")  << "QGroupBox" << root << "verticalLayout" << "v0" << title("Configuration");
    QTest::newRow("formLayout_3")     << "QFormLayout" << "generalGroupBox" << "generalGroupBox" << "group"
                                      << is("fieldGrowthPolicy", int(QFormLayout::AllNonFixedFieldsGrow));
    QTest::newRow("commandLabel")     << "QLabel" << "generalGroupBox" << "formLayout_3" << "f0L"
                                      << text("Team Foundation command (tf.exe):");
    QTest::newRow("pathChooser")      << "Utils::PathChooser" << "generalGroupBox" << "formLayout_3" << "f0F" << QVariantMap();
    QTest::newRow("tfptLabel")        << "QLabel" << "generalGroupBox" << "formLayout_3" << "f1L"
                                      << text("Team Foundation Power Tools command (tfpt.exe):");
    QTest::newRow("tfptPathChooser")  << "Utils::PathChooser" << "generalGroupBox" << "formLayout_3" << "f1F" << QVariantMap();
    QTest::newRow("userGroupBox")     << "QGroupBox" << root << "verticalLayout" << "v1" << userBox;
    // The style's own policy (see formTree()): the form leaves this one at its default.
    QTest::newRow("formLayout")       << "QFormLayout" << "userGroupBox" << "userGroupBox" << "group"
                                      << is("fieldGrowthPolicy", int(QFormLayout::FieldsStayAtSizeHint));
    QTest::newRow("usernameLabel")    << "QLabel" << "userGroupBox" << "formLayout" << "f0L" << text("Username:");
    QTest::newRow("usernameLineEdit") << "QLineEdit" << "userGroupBox" << "formLayout" << "f0F"
                                      << is("echoMode", int(QLineEdit::Normal));
    QTest::newRow("passwordLabel")    << "QLabel" << "userGroupBox" << "formLayout" << "f1L" << text("Password:");
    QTest::newRow("passwordLineEdit") << "QLineEdit" << "userGroupBox" << "formLayout" << "f1F"
                                      << is("echoMode", int(QLineEdit::Password));
    QTest::newRow("miscGroupBox")     << "QGroupBox" << root << "verticalLayout" << "v2" << title("Miscellaneous");
    QTest::newRow("gridLayout")       << "QGridLayout" << "miscGroupBox" << "miscGroupBox" << "group" << QVariantMap();
    QTest::newRow("timeOutLabel")     << "QLabel" << "miscGroupBox" << "gridLayout" << "g0,0" << text("Timeout:");
    QTest::newRow("timeOutSpinBox")   << "QSpinBox" << "miscGroupBox" << "gridLayout" << "g0,1" << spinBox;
    // clang-format on
}

void tst_SettingsPage::formTree()
{
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QString, layoutName);
    QFETCH(QString, placement);
    QFETCH(QVariantMap, properties);
    const QString name = QString::fromLatin1(QTest::currentDataTag());

    FixedFieldsStyle style;
    TestHost host;
    QVERIFY(host.loadPlugin());
    std::unique_ptr<QWidget> page(optionsPage()->createPage(nullptr));
    for (QGroupBox *box : page->findChildren<QGroupBox *>())
        box->setStyle(&style);

    const QList<QObject *> found = page->findChildren<QObject *>(name);
    QCOMPARE(found.size(), 1);
    QObject *object = found.first();
    QCOMPARE(QString::fromLatin1(object->metaObject()->className()), className);

    auto named = [&](const QString &n) -> QObject * {
        return n == page->objectName() ? page.get() : page->findChild<QObject *>(n);
    };
    QWidget *parentWidget = qobject_cast<QWidget *>(named(parentName));
    QVERIFY(parentWidget);
    QObject *container = named(layoutName);
    QVERIFY(container);

    if (auto layout = qobject_cast<QLayout *>(object)) {
        QCOMPARE(layout->parentWidget(), parentWidget);
        QCOMPARE(placement, QString::fromLatin1(parentWidget == page.get() ? "root" : "group"));
        QCOMPARE(parentWidget->layout(), layout);
    } else {
        auto widget = qobject_cast<QWidget *>(object);
        QVERIFY(widget);
        QCOMPARE(widget->parentWidget(), parentWidget);
        if (placement.startsWith(QLatin1Char('v'))) {
            auto box = qobject_cast<QBoxLayout *>(container);
            QVERIFY(box);
            const int index = box->indexOf(widget);
            QCOMPARE(index, placement.mid(1).toInt());
            QCOMPARE(box->stretch(index), 0);
            QCOMPARE(box->itemAt(index)->alignment(), Qt::Alignment());
        } else if (placement.startsWith(QLatin1Char('f'))) {
            auto form = qobject_cast<QFormLayout *>(container);
            QVERIFY(form);
            int row = -1;
            QFormLayout::ItemRole role = QFormLayout::SpanningRole;
            form->getWidgetPosition(widget, &row, &role);
            QCOMPARE(row, placement.mid(1, 1).toInt());
            QCOMPARE(role, placement.endsWith(QLatin1Char('L')) ? QFormLayout::LabelRole
                                                                : QFormLayout::FieldRole);
        } else {
            auto grid = qobject_cast<QGridLayout *>(container);
            QVERIFY(grid);
            int row, column, rowSpan, columnSpan;
            grid->getItemPosition(grid->indexOf(widget), &row, &column, &rowSpan, &columnSpan);
            const QStringList cell = placement.mid(1).split(QLatin1Char(','));
            QCOMPARE(row, cell.at(0).toInt());
            QCOMPARE(column, cell.at(1).toInt());
            QCOMPARE(rowSpan, 1);
            QCOMPARE(columnSpan, 1);
        }
        if (auto label = qobject_cast<QLabel *>(widget)) {
            QVERIFY(!label->buddy());
            QVERIFY(label->toolTip().isEmpty());
        }
    }

    for (auto it = properties.constBegin(); it != properties.constEnd(); ++it) {
        const QVariant actual = object->property(it.key().toLatin1().constData());
        QVERIFY2(actual.isValid(), qPrintable(it.key()));
        if (it.value().type() == QVariant::Int)
            QCOMPARE(actual.toInt(), it.value().toInt());
        else
            QCOMPARE(actual, it.value());
    }
}

// What a row of the tree table cannot show: the root, the order in which the form builds
// the tree, the spacers and how the widget sets up its path choosers.
void tst_SettingsPage::formStructure()
{
    TestHost host;
    QVERIFY(host.loadPlugin());
    std::unique_ptr<QWidget> page(optionsPage()->createPage(nullptr));

    QCOMPARE(page->objectName(), QStringLiteral("TeamFoundation__Internal__SettingsPage"));
    QCOMPARE(QByteArray(page->metaObject()->className()), QByteArray(widgetContext));
    QCOMPARE(page->size(), QSize(665, 359));

    // The form creates each object with its parent, so the depth-first order of the named
    // objects is the order of building.
    const QStringList order = {
        QStringLiteral("verticalLayout"),   QStringLiteral("generalGroupBox"),
        QStringLiteral("formLayout_3"),     QStringLiteral("commandLabel"),
        QStringLiteral("pathChooser"),      QStringLiteral("tfptLabel"),
        QStringLiteral("tfptPathChooser"),  QStringLiteral("userGroupBox"),
        QStringLiteral("formLayout"),       QStringLiteral("usernameLabel"),
        QStringLiteral("usernameLineEdit"), QStringLiteral("passwordLabel"),
        QStringLiteral("passwordLineEdit"), QStringLiteral("miscGroupBox"),
        QStringLiteral("gridLayout"),       QStringLiteral("timeOutLabel"),
        QStringLiteral("timeOutSpinBox")};
    QStringList built;
    for (QObject *o : page->findChildren<QObject *>()) {
        if (order.contains(o->objectName()))
            built.append(o->objectName());
    }
    QCOMPARE(built, order);

    auto vertical = field<QVBoxLayout>(page.get(), "verticalLayout");
    QVERIFY(vertical);
    QCOMPARE(vertical->count(), 4);
    QSpacerItem *vSpacer = vertical->itemAt(3)->spacerItem();
    QVERIFY(vSpacer);
    QCOMPARE(vSpacer->sizeHint(), QSize(20, 40));
    QCOMPARE(vSpacer->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(vSpacer->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);

    auto grid = field<QGridLayout>(page.get(), "gridLayout");
    QVERIFY(grid);
    QCOMPARE(grid->count(), 3);
    QSpacerItem *hSpacer = grid->itemAtPosition(0, 2)->spacerItem();
    QVERIFY(hSpacer);
    QCOMPARE(hSpacer->sizeHint(), QSize(127, 20));
    QCOMPARE(hSpacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(hSpacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);

    auto tf = field<Utils::PathChooser>(page.get(), "pathChooser");
    auto tfpt = field<Utils::PathChooser>(page.get(), "tfptPathChooser");
    QVERIFY(tf && tfpt);
    QCOMPARE(tf->expectedKind(), Utils::PathChooser::ExistingCommand);
    QCOMPARE(tfpt->expectedKind(), Utils::PathChooser::ExistingCommand);
    QCOMPARE(tf->promptDialogTitle(), QStringLiteral("Team Foundation Command"));
    QCOMPARE(tfpt->promptDialogTitle(), QStringLiteral("Team Foundation Power Tools Command"));
}

void tst_SettingsPage::rootObjectName_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");
    QTest::newRow("unnamed root") << QString() << "TeamFoundation__Internal__SettingsPage";
    QTest::newRow("named root") << "kept"
                                << "kept";
}

void tst_SettingsPage::rootObjectName()
{
    QFETCH(QString, given);
    QFETCH(QString, expected);
    QWidget root;
    root.setObjectName(given);
    Ui::SettingsPage ui;
    ui.setupUi(&root);
    QCOMPARE(root.objectName(), expected);
}

// Each text is translated once, with the class that shows it as the context.
void tst_SettingsPage::translationContexts()
{
    MarkingTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));
    TestHost host;
    QVERIFY(host.loadPlugin());
    SettingsPage *page = optionsPage();
    std::unique_ptr<QWidget> widget(page->createPage(nullptr));
    QCoreApplication::removeTranslator(&translator);

    QCOMPARE(page->displayName(), QStringLiteral("&TeamFoundation"));
    QCOMPARE(field<QGroupBox>(widget.get(), "userGroupBox")->title(),
             QStringLiteral("&Authentication"));
    QCOMPARE(field<QLabel>(widget.get(), "tfptLabel")->text(),
             QStringLiteral("&Team Foundation Power Tools command (tfpt.exe):"));
    QCOMPARE(field<QSpinBox>(widget.get(), "timeOutSpinBox")->suffix(), QStringLiteral("&s"));
    QCOMPARE(field<Utils::PathChooser>(widget.get(), "pathChooser")->promptDialogTitle(),
             QStringLiteral("<w>Team Foundation Command"));
    QCOMPARE(field<Utils::PathChooser>(widget.get(), "tfptPathChooser")->promptDialogTitle(),
             QStringLiteral("<w>Team Foundation Power Tools Command"));

    // The mnemonic markers stay out of the filter text, which the words still find.
    QVERIFY(!page->matches(QStringLiteral("&")));
    QVERIFY(page->matches(QStringLiteral("authentication")));
    QVERIFY(page->matches(QStringLiteral("Timeout:")));
    QVERIFY(page->matches(QStringLiteral("Configuration Team")));
}

void tst_SettingsPage::matches_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("matchesOnceCreated");

    QTest::newRow("group title in capitals") << "AUTHENTICATION" << true;
    QTest::newRow("executable from a label") << "tfpt.exe" << true;
    QTest::newRow("first group title") << "configuration" << true;
    QTest::newRow("last label") << "tImEoUt:" << true;
    QTest::newRow("client kind label") << "command-line client" << true;
    QTest::newRow("across two texts") << "Miscellaneous Timeout" << true;
    QTest::newRow("user name value") << "wxyzuser" << false;
    QTest::newRow("password value") << "qpzsecret" << false;
    QTest::newRow("path value") << "stand-ins" << false;
    QTest::newRow("absent word") << "subversion" << false;
}

void tst_SettingsPage::matches()
{
    QFETCH(QString, word);
    QFETCH(bool, matchesOnceCreated);

    TestHost host;
    host.configure(QStringLiteral("wxyzuser"), QStringLiteral("qpzsecret"));
    storeValue(TeamFoundationSettings::binaryPathKey,
               host.sandbox() + QLatin1String("/stand-ins/tf"));
    QVERIFY(host.loadPlugin());
    SettingsPage *page = optionsPage();

    QVERIFY(!page->matches(word));
    std::unique_ptr<QWidget> widget(page->createPage(nullptr));
    // Make sure the values really are on the page, so that a non-match means something.
    QCOMPARE(field<QLineEdit>(widget.get(), "usernameLineEdit")->text(),
             QStringLiteral("wxyzuser"));
    QVERIFY(field<Utils::PathChooser>(widget.get(), "pathChooser")
                ->rawPath()
                .contains(QLatin1String("stand-ins")));
    QCOMPARE(page->matches(word), matchesOnceCreated);
    // Later widgets and their deletion leave the filter text as it was.
    widget.reset(page->createPage(nullptr));
    widget.reset();
    QCOMPARE(page->matches(word), matchesOnceCreated);
}

void tst_SettingsPage::showsResolvedExecutables_data()
{
    QTest::addColumn<QString>("storedTf");   // null: not stored, the default applies
    QTest::addColumn<QString>("storedTfpt"); // null: not stored, the default applies
    QTest::addColumn<QString>("searchPath"); // the Path setting; null: not stored
    QTest::addColumn<QString>("environmentPath");
    QTest::addColumn<QString>("shownTf");
    QTest::addColumn<QString>("shownTfpt");

    QTest::newRow("defaults found through PATH") << QString() << QString() << QString() << "$BIN"
                                                 << "$BIN/tf"
                                                 << "$BIN/tfpt";
    QTest::newRow("defaults found through the Path setting") << QString() << QString() << "$BIN"
                                                             << "$EMPTY"
                                                             << "$BIN/tf"
                                                             << "$BIN/tfpt";
    QTest::newRow("bare names found") << "tf"
                                      << "tfpt" << QString() << "$EMPTY:$BIN"
                                      << "$BIN/tf"
                                      << "$BIN/tfpt";
    QTest::newRow("full paths") << "$BIN/tf"
                                << "$BIN/tfpt" << QString() << "$EMPTY"
                                << "$BIN/tf"
                                << "$BIN/tfpt";
    // What cannot be found is shown, and kept, as the user stored it.
    QTest::newRow("defaults not found")
        << QString() << QString() << QString() << "$EMPTY"
        << TeamFoundationSettings::defaultBinaryPath() << "tfpt.exe";
    QTest::newRow("stored paths missing") << "$SANDBOX/gone/tf"
                                          << "$SANDBOX/gone/tfpt" << QString() << "$BIN"
                                          << "$SANDBOX/gone/tf"
                                          << "$SANDBOX/gone/tfpt";
}

void tst_SettingsPage::showsResolvedExecutables()
{
    QFETCH(QString, storedTf);
    QFETCH(QString, storedTfpt);
    QFETCH(QString, searchPath);
    QFETCH(QString, environmentPath);
    QFETCH(QString, shownTf);
    QFETCH(QString, shownTfpt);

    TestHost host;
    qputenv("PATH", expand(environmentPath, host).toLocal8Bit());
    if (!storedTf.isNull())
        storeValue(TeamFoundationSettings::binaryPathKey, expand(storedTf, host));
    if (!storedTfpt.isNull())
        storeValue(TeamFoundationSettings::powerToolsBinaryPathKey, expand(storedTfpt, host));
    if (!searchPath.isNull())
        storeValue(TeamFoundationSettings::pathKey, expand(searchPath, host));
    QVERIFY(host.loadPlugin());
    SettingsPage *page = optionsPage();
    std::unique_ptr<QWidget> widget(page->createPage(nullptr));

    auto tf = field<Utils::PathChooser>(widget.get(), "pathChooser");
    auto tfpt = field<Utils::PathChooser>(widget.get(), "tfptPathChooser");
    QVERIFY(tf && tfpt);
    QCOMPARE(tf->rawPath(), expand(shownTf, host));
    QCOMPARE(tfpt->rawPath(), expand(shownTfpt, host));

    // Only the user name is edited; the executables are stored as shown.
    QTest::keyClicks(field<QLineEdit>(widget.get(), "usernameLineEdit"), QStringLiteral("me"));
    page->apply();
    QCOMPARE(storedValue(TeamFoundationSettings::userNameKey).toString(), QStringLiteral("me"));
    QCOMPARE(storedValue(TeamFoundationSettings::binaryPathKey).toString(), expand(shownTf, host));
    QCOMPARE(storedValue(TeamFoundationSettings::powerToolsBinaryPathKey).toString(),
             expand(shownTfpt, host));
    QCOMPARE(storedValue(TeamFoundationSettings::pathKey).toString(), QString());
    QCOMPARE(host.plugin()->settings().stringValue(TeamFoundationSettings::powerToolsBinaryPathKey),
             expand(shownTfpt, host));
}

void tst_SettingsPage::timeOutClamped_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("shown");

    QTest::newRow("negative") << -5 << 1;
    QTest::newRow("zero") << 0 << 1;
    QTest::newRow("lowest") << 1 << 1;
    QTest::newRow("highest") << 360 << 360;
    QTest::newRow("just above") << 361 << 360;
    QTest::newRow("far above") << 100000 << 360;
}

void tst_SettingsPage::timeOutClamped()
{
    QFETCH(int, stored);
    QFETCH(int, shown);

    TestHost host;
    host.configure(QString(), QString(), stored);
    QVERIFY(host.loadPlugin());
    QCOMPARE(host.plugin()->settings().intValue(TeamFoundationSettings::timeoutKey), stored);
    SettingsPage *page = optionsPage();
    std::unique_ptr<QWidget> widget(page->createPage(nullptr));
    QCOMPARE(field<QSpinBox>(widget.get(), "timeOutSpinBox")->value(), shown);

    QSignalSpy changed(host.plugin()->versionControl(),
                       &Core::IVersionControl::configurationChanged);
    page->apply();
    QCOMPARE(storedValue(TeamFoundationSettings::timeoutKey).toInt(), shown);
    QCOMPARE(host.plugin()->settings().intValue(TeamFoundationSettings::timeoutKey), shown);
    QCOMPARE(changed.count(), stored == shown ? 0 : 1);
}

void tst_SettingsPage::editAndApply()
{
    TestHost host;
    host.configure(QStringLiteral("alice"), QStringLiteral("old"), 30);
    QVERIFY(host.loadPlugin());
    SettingsPage *page = optionsPage();
    std::unique_ptr<QWidget> widget(page->createPage(nullptr));

    auto tf = field<Utils::PathChooser>(widget.get(), "pathChooser");
    auto tfpt = field<Utils::PathChooser>(widget.get(), "tfptPathChooser");
    auto user = field<QLineEdit>(widget.get(), "usernameLineEdit");
    auto password = field<QLineEdit>(widget.get(), "passwordLineEdit");
    auto timeOut = field<QSpinBox>(widget.get(), "timeOutSpinBox");
    auto kind = field<QComboBox>(widget.get(), "clientKindComboBox");
    QVERIFY(tf && tfpt && user && password && timeOut && kind);
    QCOMPARE(kind->currentText(), QStringLiteral("Visual Studio (tf.exe)"));
    QCOMPARE(tf->rawPath(), host.tfPath());
    QCOMPARE(tfpt->rawPath(), host.tfptPath());
    QCOMPARE(user->text(), QStringLiteral("alice"));
    QCOMPARE(password->text(), QStringLiteral("old"));
    QCOMPARE(timeOut->value(), 30);

    // The choosers store the text as typed, blanks included.
    tf->lineEdit()->setText(QStringLiteral(" /opt/tfs/tf "));
    tfpt->lineEdit()->setText(QStringLiteral("tfpt"));
    user->clear();
    QTest::keyClicks(user, QStringLiteral("bob"));
    password->clear();
    QTest::keyClicks(password, QStringLiteral("n3w,pass"));
    timeOut->setValue(120);
    kind->setCurrentText(QStringLiteral("Team Explorer Everywhere (cross-platform tf)"));

    QSignalSpy configuration(host.plugin()->versionControl(),
                             &Core::IVersionControl::configurationChanged);
    QSignalSpy files(host.plugin()->versionControl(), &Core::IVersionControl::filesChanged);
    QSignalSpy repository(host.plugin()->versionControl(),
                          &Core::IVersionControl::repositoryChanged);
    page->apply();
    QCOMPARE(configuration.count(), 1);
    QCOMPARE(files.count(), 0);
    QCOMPARE(repository.count(), 0);

    QCOMPARE(storedValue(TeamFoundationSettings::binaryPathKey).toString(),
             QStringLiteral(" /opt/tfs/tf "));
    QCOMPARE(storedValue(TeamFoundationSettings::powerToolsBinaryPathKey).toString(),
             QStringLiteral("tfpt"));
    QCOMPARE(storedValue(TeamFoundationSettings::userNameKey).toString(), QStringLiteral("bob"));
    QCOMPARE(storedValue(TeamFoundationSettings::passwordKey).toString(),
             QStringLiteral("n3w,pass"));
    QCOMPARE(storedValue(TeamFoundationSettings::timeoutKey).toInt(), 120);
    QCOMPARE(storedValue(TeamFoundationSettings::clientKindKey).toString(),
             QStringLiteral("CrossPlatform"));
    const TeamFoundationSettings &live = host.plugin()->settings();
    QCOMPARE(live.userName(), QStringLiteral("bob"));
    QCOMPARE(live.password(), QStringLiteral("n3w,pass"));
    QCOMPARE(live.timeOutMs(), 120000);

    // A second apply of the same fields is no change.
    page->apply();
    QCOMPARE(configuration.count(), 1);
}

void tst_SettingsPage::applyUnchanged_data()
{
    QTest::addColumn<QString>("searchPath"); // null: not stored
    QTest::addColumn<bool>("announced");

    QTest::newRow("search path at its default") << QString() << false;
    // The page does not show the search path; applying it puts the default back.
    QTest::newRow("search path set") << "$SANDBOX/extra" << true;
}

void tst_SettingsPage::applyUnchanged()
{
    QFETCH(QString, searchPath);
    QFETCH(bool, announced);

    TestHost host;
    host.configure(QStringLiteral("alice"), QStringLiteral("secret"), 45);
    if (!searchPath.isNull())
        storeValue(TeamFoundationSettings::pathKey, expand(searchPath, host));
    QVERIFY(host.loadPlugin());
    const QStringList keysBefore = storedKeys();
    SettingsPage *page = optionsPage();
    std::unique_ptr<QWidget> widget(page->createPage(nullptr));

    QSignalSpy changed(host.plugin()->versionControl(),
                       &Core::IVersionControl::configurationChanged);
    page->apply();
    QCOMPARE(changed.count(), announced ? 1 : 0);
    if (announced) {
        // A write stores every key of the record.
        QCOMPARE(storedValue(TeamFoundationSettings::pathKey).toString(), QString());
        QCOMPARE(storedKeys().size(), 7);
    } else {
        QCOMPARE(storedKeys(), keysBefore);
        QVERIFY(!storedKeys().contains(TeamFoundationSettings::pathKey));
    }
    QCOMPARE(storedValue(TeamFoundationSettings::passwordKey).toString(), QStringLiteral("secret"));
    QCOMPARE(storedValue(TeamFoundationSettings::timeoutKey).toInt(), 45);
}

void tst_SettingsPage::applyWithoutLiveWidget_data()
{
    QTest::addColumn<bool>("createWidget");
    QTest::newRow("before any widget") << false;
    QTest::newRow("after the dialog deleted the widget") << true;
}

// The options dialog owns the widget; applying after it is gone must neither crash nor
// store the blank form over the user's settings.
void tst_SettingsPage::applyWithoutLiveWidget()
{
    QFETCH(bool, createWidget);

    TestHost host;
    host.configure(QStringLiteral("alice"), QStringLiteral("secret"), 45);
    QVERIFY(host.loadPlugin());
    SettingsPage *page = optionsPage();
    if (createWidget) {
        auto dialog = std::make_unique<QWidget>();
        QWidget *widget = page->createPage(dialog.get());
        QCOMPARE(widget->parentWidget(), dialog.get());
        field<QLineEdit>(widget, "usernameLineEdit")->setText(QStringLiteral("bob"));
    }
    const QStringList keysBefore = storedKeys();

    QSignalSpy changed(host.plugin()->versionControl(),
                       &Core::IVersionControl::configurationChanged);
    page->apply();
    page->finish();
    QCOMPARE(changed.count(), 0);
    QCOMPARE(storedKeys(), keysBefore);
    QCOMPARE(host.plugin()->settings().userName(), QStringLiteral("alice"));
    QCOMPARE(storedValue(TeamFoundationSettings::userNameKey).toString(), QStringLiteral("alice"));
}

void tst_SettingsPage::applyUsesLastWidget()
{
    TestHost host;
    host.configure(QStringLiteral("alice"), QStringLiteral("secret"), 45);
    QVERIFY(host.loadPlugin());
    SettingsPage *page = optionsPage();
    std::unique_ptr<QWidget> first(page->createPage(nullptr));
    std::unique_ptr<QWidget> second(page->createPage(nullptr));
    field<QLineEdit>(first.get(), "usernameLineEdit")->setText(QStringLiteral("first"));
    field<QLineEdit>(second.get(), "usernameLineEdit")->setText(QStringLiteral("second"));
    page->finish();
    page->apply();
    QCOMPARE(storedValue(TeamFoundationSettings::userNameKey).toString(), QStringLiteral("second"));
}

void tst_SettingsPage::passwordNoteWithoutKeychain_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("note"); // empty: hidden
    QTest::newRow("a password to keep")
        << "secret" << "stored in the settings file: no system keychain is running";
    QTest::newRow("none") << "" << "";
}

// The test host has no session bus: the password stays in the file, and the page and the
// pane say so, the pane once however often it is stored.
void tst_SettingsPage::passwordNoteWithoutKeychain()
{
    QFETCH(QString, password);
    QFETCH(QString, note);
    VcsBase::VcsOutputWindow::clearContents();
    TestHost host;
    host.configure(QStringLiteral("alice"), password, 30);
    QVERIFY(host.loadPlugin());
    SettingsPage *page = optionsPage();
    std::unique_ptr<QWidget> widget(page->createPage(nullptr));
    auto label = field<QLabel>(widget.get(), "passwordNoteLabel");
    QVERIFY(label);
    QTRY_COMPARE(label->text(), note);
    QCOMPARE(label->isVisibleTo(widget.get()), !note.isEmpty());

    field<QLineEdit>(widget.get(), "passwordLineEdit")->setText(password + QLatin1String("2"));
    page->apply();
    const QString fallback =
        QStringLiteral("stored in the settings file: no system keychain is running");
    QTRY_COMPARE(label->text(), fallback);
    QCOMPARE(storedValue(TeamFoundationSettings::passwordKey).toString(),
             password + QLatin1String("2"));
    const QString pane = VcsBase::VcsOutputWindow::content();
    QCOMPARE(pane.count(QLatin1String("no system keychain is running")), 1);
}

// Renders the page as the options dialog shows it; the image is kept for the documentation.
void tst_SettingsPage::screenshot()
{
    TestHost host;
    qputenv("PATH", (host.sandbox() + QLatin1String("/bin")).toLocal8Bit());
    host.configure(QStringLiteral("CONTOSO\\alice"), QStringLiteral("s3cret-pa55"), 60);
    storeValue(TeamFoundationSettings::binaryPathKey, QStringLiteral("tf.exe"));
    storeValue(TeamFoundationSettings::powerToolsBinaryPathKey, QStringLiteral("tfpt.exe"));
    QVERIFY(host.loadPlugin());
    std::unique_ptr<QWidget> widget(optionsPage()->createPage(nullptr));
    // About the room the options dialog gives the page.
    widget->resize(720, 420);
    widget->show();
    QVERIFY(QTest::qWaitForWindowExposed(widget.get()));

    // The password is on the page but never readable on screen.
    auto password = field<QLineEdit>(widget.get(), "passwordLineEdit");
    QCOMPARE(password->text(), QStringLiteral("s3cret-pa55"));
    QVERIFY(!password->displayText().contains(QLatin1String("s3cret")));
    QCOMPARE(password->displayText().size(), password->text().size());

    const QPixmap image = widget->grab();
    QCOMPARE(image.size() / image.devicePixelRatio(), widget->size());
    // Beside the other temporary files, not in whatever directory the test was started from.
    const QString file = QDir::temp().absoluteFilePath(QStringLiteral("options-page.png"));
    QVERIFY(image.save(file));
    qInfo("Options page rendered to %s", qPrintable(file));
}

QTEST_MAIN(tst_SettingsPage)

#include "tst_settingspage.moc"
