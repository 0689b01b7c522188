#pragma once

#include "id.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace Core {

// What the host asks of a version-control system: whether it manages a directory or a
// file and where its top level is, and the file operations that the IDE's own file
// handling needs.
class IVersionControl : public QObject
{
    Q_OBJECT
public:
    enum SettingsFlag { AutoOpen = 0x1 };
    Q_DECLARE_FLAGS(SettingsFlags, SettingsFlag)

    enum Operation {
        AddOperation,
        DeleteOperation,
        MoveOperation,
        CreateRepositoryOperation,
        SnapshotOperations,
        AnnotateOperation,
        InitialCheckoutOperation
    };
    Q_ENUM(Operation)

    enum OpenSupportMode { NoOpen, OpenOptional, OpenMandatory };

    // What a version control says about a directory: it manages it (with the top level of its
    // tree), it does not, or it cannot tell now (its client refused the login, timed out or
    // could not reach its server), with why. A directory it cannot tell about is no unmanaged
    // one: the host keeps offering the version control there and asks again later.
    class DirectoryAnswer
    {
    public:
        enum Kind { Managed, NotManaged, CannotTell };
        Kind kind = NotManaged;
        QString topLevel; // of a managed directory
        QString reason;   // why it cannot tell
        // False for an answer that holds now but may be otherwise when asked again (a top
        // level that a fault kept from being found higher up): used, never remembered.
        bool lasting = true;
    };

    explicit IVersionControl(QObject *parent = nullptr) : QObject(parent) {}
    ~IVersionControl() override = default;

    virtual QString displayName() const = 0;
    virtual Id id() const = 0;
    virtual bool managesDirectory(const QString &directory, QString *topLevel = nullptr) const = 0;
    // managesDirectory() with its third answer; by default it has none.
    virtual DirectoryAnswer answerForDirectory(const QString &directory) const
    {
        DirectoryAnswer answer;
        if (managesDirectory(directory, &answer.topLevel))
            answer.kind = DirectoryAnswer::Managed;
        else
            answer.topLevel.clear();
        return answer;
    }
    virtual bool managesFile(const QString &workingDirectory, const QString &fileName) const = 0;
    virtual bool isConfigured() const = 0;
    virtual bool supportsOperation(Operation operation) const = 0;
    virtual OpenSupportMode openSupportMode() const { return NoOpen; }
    virtual bool vcsOpen(const QString &fileName) = 0;
    virtual SettingsFlags settingsFlags() const { return SettingsFlags(); }
    virtual bool vcsAdd(const QString &filename) = 0;
    virtual bool vcsDelete(const QString &filename) = 0;
    virtual bool vcsMove(const QString &from, const QString &to) = 0;
    virtual bool vcsCreateRepository(const QString &directory) = 0;
    virtual bool vcsCheckout(const QString &directory, const QByteArray &url) = 0;
    virtual QString vcsGetRepositoryURL(const QString &director) = 0;
    virtual QString vcsTopic(const QString &topLevel) { Q_UNUSED(topLevel) return QString(); }
    virtual bool vcsAnnotate(const QString &file, int line) = 0;
    virtual QString vcsOpenText() const { return tr("&Open for Editing"); }
    virtual QString vcsMakeWritableText() const { return QString(); }
    // Why the last file operation that failed (vcsOpen, vcsAdd, ...) failed, in the words of
    // the version control's client, for the IDE to show beside its own; empty when unknown.
    virtual QString lastFailure() const { return QString(); }

signals:
    void repositoryChanged(const QString &repository);
    void filesChanged(const QStringList &files);
    void configurationChanged();
    // What the version control answers about directories may be different now, although
    // nothing changed on disk (it can tell where it could not, it knows a repository
    // location): the host asks again what it did not record (see VcsManager). Answers that
    // were recorded and are wrong now need a repository or configuration change, or
    // VcsManager::resetCache().
    void answersChanged();
};

} // namespace Core

Q_DECLARE_OPERATORS_FOR_FLAGS(Core::IVersionControl::SettingsFlags)
