#include "actionmanager.h"

#include <utils/qtcassert.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace Core {

static ActionManager *m_instance = nullptr;

Command::Command(Id id, QAction *registered, const Context &context, QObject *parent)
    : QObject(parent), m_id(id), m_context(context), m_registered(registered),
      m_action(new QAction(registered->text(), this))
{
    m_action->setObjectName(id.toString());
    m_action->setData(QVariant::fromValue(id));
    connect(m_action, &QAction::triggered, this, [this](bool checked) {
        if (m_registered && m_registered->isEnabled())
            m_registered->trigger();
        Q_UNUSED(checked)
    });
    connect(registered, &QAction::changed, this, &Command::updateFromRegistered);
    connect(registered, &QObject::destroyed, this, [this] { m_action->setEnabled(false); });
    updateFromRegistered();
}

void Command::updateFromRegistered()
{
    if (!m_registered)
        return;
    m_action->setEnabled(m_registered->isEnabled());
    m_action->setVisible(m_registered->isVisible());
    m_action->setCheckable(m_registered->isCheckable());
    if (hasAttribute(CA_UpdateText))
        m_action->setText(m_registered->text());
}

void Command::setAttribute(CommandAttribute attribute)
{
    m_attributes |= attribute;
    updateFromRegistered();
}

void Command::removeAttribute(CommandAttribute attribute)
{
    m_attributes &= ~attribute;
    updateFromRegistered();
}

bool Command::isActive() const
{
    return m_registered && m_registered->isEnabled();
}

QString Command::description() const
{
    QString text = m_action->text();
    text.remove(QLatin1Char('&'));
    return text;
}

ActionContainer::ActionContainer(Id id, QMenu *menu, QMenuBar *menuBar, QObject *parent)
    : QObject(parent), m_id(id), m_menu(menu), m_menuBar(menuBar)
{
    if (m_menu)
        m_menu->setObjectName(id.toString());
}

QWidget *ActionContainer::widget() const
{
    if (m_menu)
        return m_menu;
    return m_menuBar;
}

void ActionContainer::addAction(Command *command, Id group)
{
    Q_UNUSED(group)
    QTC_ASSERT(command, return);
    if (QWidget *w = widget())
        w->addAction(command->action());
}

void ActionContainer::addMenu(ActionContainer *menu, Id group)
{
    Q_UNUSED(group)
    QTC_ASSERT(menu && menu->menu(), return);
    if (m_menuBar)
        m_menuBar->addMenu(menu->menu());
    else if (m_menu)
        m_menu->addMenu(menu->menu());
}

QAction *ActionContainer::addSeparator(const Context &context, Id group)
{
    Q_UNUSED(context)
    Q_UNUSED(group)
    auto separator = new QAction(this);
    separator->setSeparator(true);
    if (QWidget *w = widget())
        w->addAction(separator);
    return separator;
}

ActionManager::ActionManager(QObject *parent) : QObject(parent)
{
    m_instance = this;
}

ActionManager::~ActionManager()
{
    // Menus first: they refer to the commands' actions.
    for (ActionContainer *container : qAsConst(m_containers)) {
        if (container->m_menu && !container->m_menu->parent())
            delete container->m_menu;
    }
    qDeleteAll(m_containers);
    qDeleteAll(m_commandOrder);
    if (m_instance == this)
        m_instance = nullptr;
}

ActionManager *ActionManager::instance()
{
    return m_instance;
}

ActionContainer *ActionManager::createMenu(Id id)
{
    QTC_ASSERT(m_instance, return nullptr);
    if (ActionContainer *existing = m_instance->m_containers.value(id))
        return existing;
    auto menu = new QMenu;
    // An entry's tooltip may say why it cannot be chosen; menus hide tooltips by default.
    menu->setToolTipsVisible(true);
    auto container = new ActionContainer(id, menu, nullptr, nullptr);
    m_instance->m_containers.insert(id, container);
    return container;
}

ActionContainer *ActionManager::createMenuBar(Id id, QMenuBar *menuBar)
{
    QTC_ASSERT(m_instance, return nullptr);
    auto container = new ActionContainer(id, nullptr, menuBar, nullptr);
    m_instance->m_containers.insert(id, container);
    return container;
}

ActionContainer *ActionManager::actionContainer(Id id)
{
    QTC_ASSERT(m_instance, return nullptr);
    return m_instance->m_containers.value(id);
}

Command *ActionManager::registerAction(QAction *action, Id id, const Context &context, bool scriptable)
{
    Q_UNUSED(scriptable)
    QTC_ASSERT(m_instance && action && id.isValid(), return nullptr);
    QTC_ASSERT(!m_instance->m_commands.contains(id), return m_instance->m_commands.value(id));
    auto command = new Command(id, action, context, nullptr);
    m_instance->m_commands.insert(id, command);
    m_instance->m_commandOrder.append(command);
    emit m_instance->commandAdded(id);
    return command;
}

Command *ActionManager::command(Id id)
{
    return m_instance ? m_instance->m_commands.value(id) : nullptr;
}

QList<Command *> ActionManager::commands()
{
    return m_instance ? m_instance->m_commandOrder : QList<Command *>();
}

} // namespace Core
