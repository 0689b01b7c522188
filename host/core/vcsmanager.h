#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>

namespace Core {

class IVersionControl;

// Answers "which version control manages this directory, what is its top level and its
// repository location" by asking the registered version controls, and remembers the answer
// for the directory and (but for the location) for every directory between it and the top
// level, comparing paths without regard to case where the system does (Windows). The memory
// is dropped when a version control reports a repository or configuration change, or that
// its answers changed. A version control that cannot tell now (its client refused the login,
// say) is no answer: it is named with why, and asked again at the next question.
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
    // As above; when no version control manages the directory but one cannot tell, that one,
    // with why in 'unavailable' (else emptied) and no top level.
    static IVersionControl *findVersionControlForDirectory(const QString &directory,
                                                           QString *topLevel, QString *unavailable);
    static IVersionControl *findVersionControl(const QString &id);
    // The repository location (a server path or URL) of 'directory' as the version control
    // managing it says, or an empty string; asked once per directory and remembered until
    // the memory is dropped.
    static QString repositoryUrl(const QString &directory);
    static void resetCache();
    // How many answers were computed by asking the version controls (not from memory).
    static int cacheMisses();

signals:
    // A version control reported a change; the host refreshes its state.
    void repositoryChanged(const QString &repository);
    void configurationChanged(Core::IVersionControl *vc);
    // A version control answers differently now; nothing changed on disk.
    void answersChanged(Core::IVersionControl *vc);

private:
    struct Entry
    {
        QPointer<IVersionControl> vc;
        QString topLevel;
    };
    QList<QPointer<IVersionControl>> m_versionControls;
    QHash<QString, Entry> m_cache;
    QHash<QString, QString> m_repositoryUrls;
    int m_misses = 0;
};

} // namespace Core
