#pragma once

#include "ilocatorfilter.h"

namespace Core {
class Command;
}

namespace Locator {

// Offers registered commands in the locator: the enabled commands whose shown text
// contains the typed words; accepting an entry triggers its command.
class CommandLocator : public ILocatorFilter
{
    Q_OBJECT
public:
    CommandLocator(Core::Id id, const QString &displayName, const QString &shortCutString,
                   QObject *parent = nullptr);
    ~CommandLocator() override;

    void appendCommand(Core::Command *cmd);
    QList<Core::Command *> commands() const;

    QList<LocatorFilterEntry> matchesFor(const QString &entry) override;
    void accept(const LocatorFilterEntry &selection) const override;

private:
    QList<Core::Command *> m_commands;
};

} // namespace Locator
