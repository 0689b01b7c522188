#include "commandlocator.h"

#include <core/actionmanager.h>

#include <QAction>

namespace Locator {

CommandLocator::CommandLocator(Core::Id id, const QString &displayName,
                               const QString &shortCutString, QObject *parent)
    : ILocatorFilter(parent)
{
    setId(id);
    setDisplayName(displayName);
    setShortcutString(shortCutString);
}

CommandLocator::~CommandLocator() = default;

void CommandLocator::appendCommand(Core::Command *cmd)
{
    if (cmd)
        m_commands.append(cmd);
}

QList<Core::Command *> CommandLocator::commands() const
{
    return m_commands;
}

QList<LocatorFilterEntry> CommandLocator::matchesFor(const QString &entry)
{
    QList<LocatorFilterEntry> result;
    const QStringList words = entry.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (int i = 0; i < m_commands.size(); ++i) {
        Core::Command *command = m_commands.at(i);
        if (!command->isActive())
            continue;
        const QString text = command->description();
        bool all = true;
        for (const QString &word : words) {
            if (!text.contains(word, Qt::CaseInsensitive)) {
                all = false;
                break;
            }
        }
        if (all)
            result.append(LocatorFilterEntry{this, text, QVariant(i)});
    }
    return result;
}

void CommandLocator::accept(const LocatorFilterEntry &selection) const
{
    const int index = selection.internalData.toInt();
    if (index < 0 || index >= m_commands.size())
        return;
    QAction *action = m_commands.at(index)->action();
    if (action->isEnabled())
        action->trigger();
}

} // namespace Locator
