#pragma once

#include <core/iversioncontrol.h>

namespace TeamFoundation {
namespace Internal {

class TeamFoundationPlugin;

// Answers the host's version-control questions for Team Foundation; file operations and
// repository questions go to the command client.
class TeamFoundationControl : public Core::IVersionControl
{
    Q_OBJECT
public:
    explicit TeamFoundationControl(TeamFoundationPlugin *plugin);
    ~TeamFoundationControl() override;

    QString displayName() const override;
    Core::Id id() const override;
    bool managesDirectory(const QString &directory, QString *topLevel = nullptr) const override;
    bool managesFile(const QString &workingDirectory, const QString &fileName) const override;
    bool isConfigured() const override;
    bool supportsOperation(Operation operation) const override;
    OpenSupportMode openSupportMode() const override;
    bool vcsOpen(const QString &fileName) override;
    bool vcsAdd(const QString &fileName) override;
    bool vcsDelete(const QString &fileName) override;
    bool vcsMove(const QString &from, const QString &to) override;
    bool vcsCreateRepository(const QString &directory) override;
    bool vcsCheckout(const QString &directory, const QByteArray &url) override;
    QString vcsGetRepositoryURL(const QString &directory) override;
    bool vcsAnnotate(const QString &file, int line) override;

private:
    TeamFoundationPlugin *m_plugin;
};

} // namespace Internal
} // namespace TeamFoundation
