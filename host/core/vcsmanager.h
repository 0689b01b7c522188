#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>

namespace Core {

class IVersionControl;

// Answers "which version control manages this directory, and what is its top level" by
// asking the registered version controls, and remembers the answer for the directory and
// for every directory between it and the top level, comparing paths without regard to case
// where the system does (Windows). The memory is dropped when a version control reports a
// repository or configuration change.
class VcsManager : public QObject
{
    Q_OBJECT
public:
    explicit VcsManager(QObject *parent = nullptr);
    ~VcsManager() override;
    static VcsManager *instance();

    static void addVersionControl(IVersionControl *vc);
    static void removeVersionControl(IVersionControl *vc);
    static QList<IVersionControl *> versionControls();

    static IVersionControl *findVersionControlForDirectory(const QString &directory,
                                                           QString *topLevel = nullptr);
    static IVersionControl *findVersionControl(const QString &id);
    static void resetCache();
    // How many answers were computed by asking the version controls (not from memory).
    static int cacheMisses();

signals:
    // A version control reported a change; the host refreshes its state.
    void repositoryChanged(const QString &repository);
    void configurationChanged(Core::IVersionControl *vc);

private:
    struct Entry
    {
        QPointer<IVersionControl> vc;
        QString topLevel;
    };
    QList<QPointer<IVersionControl>> m_versionControls;
    QHash<QString, Entry> m_cache;
    int m_misses = 0;
};

} // namespace Core
