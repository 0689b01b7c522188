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

    explicit IVersionControl(QObject *parent = nullptr) : QObject(parent) {}
    ~IVersionControl() override = default;

    virtual QString displayName() const = 0;
    virtual Id id() const = 0;
    virtual bool managesDirectory(const QString &directory, QString *topLevel = nullptr) const = 0;
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

signals:
    void repositoryChanged(const QString &repository);
    void filesChanged(const QStringList &files);
    void configurationChanged();
};

} // namespace Core

Q_DECLARE_OPERATORS_FOR_FLAGS(Core::IVersionControl::SettingsFlags)
