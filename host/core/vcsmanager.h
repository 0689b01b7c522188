#pragma once

#include "iversioncontrol.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <optional>

namespace Core {

// Answers "which version control manages this directory, what is its top level and its
// repository location" by asking the registered version controls. It is the one record of
// their answers: each version control's answer for a directory is kept, and a managed one
// also for every directory between it and its top level (the others' answers with it),
// comparing paths without regard to case where the system does (Windows). A version control
// reads the record, and adds to it what it found out on its own (a parent directory on the
// way to a top level), instead of keeping a memory of its own. The record is dropped when a
// version control reports a repository or configuration change; when it says that its
// answers changed, what was recorded lasts and only the repository locations are asked anew.
// A version control that cannot tell now (its client refused the login, say) is no answer: it
// is named with why, and asked again at the next question; nor is an answer that says it may
// not last.
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
    // What 'vc' answered for 'directory' as the record keeps it; nothing when it holds none.
    static std::optional<IVersionControl::DirectoryAnswer> recordedAnswer(const IVersionControl *vc,
                                                                          const QString &directory);
    // Keeps what 'vc' answers for 'directory' (a managed one also for the directories up to
    // its top level); one that cannot tell, or does not last, is not kept.
    static void recordAnswer(const IVersionControl *vc, const QString &directory,
                             const IVersionControl::DirectoryAnswer &answer);
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
    using Answers = QHash<const IVersionControl *, IVersionControl::DirectoryAnswer>;
    // Keeps 'answer' for the directory 'key' unless one is kept.
    void keep(const QString &key, const IVersionControl *vc,
              const IVersionControl::DirectoryAnswer &answer);

    QList<QPointer<IVersionControl>> m_versionControls;
    QHash<QString, Answers> m_answers; // by directory
    QHash<QString, QString> m_repositoryUrls;
    int m_misses = 0;
};

} // namespace Core
