#include "licence.h"
#include "clientprofile.h"
#include "filelock.h"
#include "tferror.h"

#include <QDir>
#include <QFile>
#include <QPair>
#include <QTemporaryFile>
#include <QVector>
#include <QXmlStreamReader>

#include <cstdio>
#include <cstring>

namespace Tf {
namespace {

const char mementoName[] = "com.microsoft.tfs.client.productid.xml";
const char rootElement[] = "ProductIdData";
// The element of this version's acceptance; other versions' stay as they are.
const char acceptanceElement[] = "eula-14.0";
const char acceptedProperty[] = "-Dcom.microsoft.tfs.client.eulaAccepted=";

struct Element
{
    QString name;
    QVector<QPair<QString, QString>> attributes;
};

// The memento's children, or nothing when it is missing or unreadable (which
// the client, too, takes for "not accepted").
QVector<Element> readMemento()
{
    QFile file(Licence::mementoFile());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&file);
    QVector<Element> children;
    int depth = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            ++depth;
            if (depth == 1 && xml.name() != QLatin1String(rootElement))
                return {};
            if (depth == 2) {
                Element element{xml.name().toString(), {}};
                for (const QXmlStreamAttribute &a : xml.attributes())
                    element.attributes.append({a.name().toString(), a.value().toString()});
                children.append(element);
            }
        } else if (xml.isEndElement()) {
            --depth;
        }
    }
    return xml.hasError() ? QVector<Element>() : children;
}

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

// The layout the client writes: no declaration, no indentation, and each
// element with a start and an end tag.
QByteArray mementoText(const QVector<Element> &children)
{
    QString text = QString("<%1>").arg(rootElement);
    for (const Element &child : children) {
        text += '<' + child.name;
        for (const auto &a : child.attributes)
            text += QString(" %1=\"%2\"").arg(a.first, escaped(a.second));
        text += QString("></%1>").arg(child.name);
    }
    return (text + QString("</%1>").arg(rootElement)).toUtf8();
}

} // namespace

QString Licence::mementoFile()
{
    return ClientProfile::mementoDirectory() + '/' + mementoName;
}

bool Licence::isAccepted()
{
    for (const Element &child : readMemento()) {
        if (child.name != QLatin1String(acceptanceElement))
            continue;
        for (const auto &a : child.attributes) {
            if (a.first == "value" && a.second.compare("true", Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    // The launcher hands these words to the JVM unquoted; the last setting of
    // a property is the one the JVM keeps.
    bool accepted = false;
    const QStringList words =
        qEnvironmentVariable("TF_ADDITIONAL_JAVA_ARGS").split(QRegExp("\\s+"));
    for (const QString &word : words) {
        if (word.startsWith(acceptedProperty))
            accepted =
                word.mid(int(strlen(acceptedProperty))).compare("true", Qt::CaseInsensitive) == 0;
    }
    return accepted;
}

void Licence::accept()
{
    const QString dir = ClientProfile::mementoDirectory();
    if (!QDir().mkpath(dir))
        fail(QString("An error occurred: Cannot create the directory %1.").arg(dir));
    FileLock lock;
    if (!lock.lock(dir + "/.lock-" + mementoName, 10 * 1000))
        fail(QString("An error occurred: Cannot lock %1.").arg(mementoFile()));
    QVector<Element> children = readMemento();
    for (int i = children.size() - 1; i >= 0; --i) {
        if (children[i].name == QLatin1String(acceptanceElement))
            children.remove(i);
    }
    children.append({acceptanceElement, {{"value", "true"}}});
    // A new file renamed over the old one: a reader never sees half a memento.
    QTemporaryFile file(dir + "/vvfpsXXXXXX.tmp");
    file.setAutoRemove(true);
    const QByteArray content = mementoText(children);
    if (!file.open() || file.write(content) != content.size() || !file.flush())
        fail(QString("An error occurred: Cannot write %1: %2")
                 .arg(mementoFile(), file.errorString()));
    file.close();
    if (std::rename(QFile::encodeName(file.fileName()).constData(),
                    QFile::encodeName(mementoFile()).constData()) != 0)
        fail(QString("An error occurred: Cannot write %1.").arg(mementoFile()));
    file.setAutoRemove(false);
}

QStringList Licence::text()
{
    return QStringLiteral(
               "TERMS OF USE OF THE STAND-IN TEAM FOUNDATION CLIENT\n"
               "\n"
               "This program stands in for a Team Foundation version control client so that\n"
               "a version-control plugin and the IDE that loads it can be built, run and\n"
               "tested on a computer without a Team Foundation server. It keeps its server\n"
               "in a directory of your choosing and answers the command lines that the real\n"
               "client answers, with the same exit codes.\n"
               "\n"
               "1. WHAT YOU MAY DO. You may run, copy and change this program for building,\n"
               "running and testing software. You may keep as many copies as you need.\n"
               "\n"
               "2. WHAT IT IS NOT. It is not the real client and it is not a server. It\n"
               "talks to no network and sends nothing anywhere. It does not protect what\n"
               "it keeps: the server directory and the workspaces are ordinary files that\n"
               "every program you run may read and change.\n"
               "\n"
               "3. YOUR DATA. Whatever you check in stays in the server directory you named,\n"
               "and in your workspaces, until you delete them. Keep copies of what matters\n"
               "to you elsewhere as well.\n"
               "\n"
               "4. ACCEPTANCE. Like the real client, this program asks for acceptance once\n"
               "for each profile folder (TEE_PROFILE_DIRECTORY, or a folder in your home\n"
               "directory) and keeps the answer in that folder, where the real client keeps\n"
               "its own. Until these terms are accepted, every command that would reach a\n"
               "server refuses to run. Commands that only read the workspace cache, and the\n"
               "help, run without acceptance.\n"
               "\n"
               "5. NO WARRANTY. The program is given as it is, without any warranty. Its\n"
               "authors are not liable for any loss that comes from using it, to the extent\n"
               "that the law allows.\n"
               "\n"
               "6. ENDING. You may stop using the program at any time; deleting the profile\n"
               "folder withdraws your acceptance for it.\n"
               "\n"
               "7. WHOLE AGREEMENT. These terms are the whole agreement about the stand-in.\n"
               "The real client, should you use it, comes with terms of its own, which you\n"
               "accept with it and which these terms do not change.\n"
               "\n"
               "8. WHERE THE ANSWER IS KEPT. The acceptance is a small file below the profile\n"
               "folder, in Configuration/TEE-Mementos, in the layout the real client writes,\n"
               "so that either client finds it there. A profile folder prepared for tests\n"
               "with one client serves the other as well; deleting that file, or the whole\n"
               "folder, makes both clients ask again.\n"
               "\n"
               "Read these terms through before you answer. If you do not agree with them,\n"
               "answer no, and do not use the program.")
        .split('\n');
}

} // namespace Tf
