#pragma once

#include "id.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace Core {

class ActionContainer;
class ActionManager;

// A registered action as the host shows it: the host's menus and the locator hold the
// command's own action, which forwards triggering to the registered action and follows its
// enabled and visible state (and, with CA_UpdateText, its text).
class Command : public QObject
{
    Q_OBJECT
public:
    enum CommandAttribute { CA_Hide = 1, CA_UpdateText = 2, CA_UpdateIcon = 4, CA_NonConfigurable = 8 };

    Id id() const { return m_id; }
    // The action that menus and the locator show.
    QAction *action() const { return m_action; }
    // The action that the plugin registered.
    QAction *registeredAction() const { return m_registered; }
    Context context() const { return m_context; }

    void setAttribute(CommandAttribute attribute);
    void removeAttribute(CommandAttribute attribute);
    bool hasAttribute(CommandAttribute attribute) const { return m_attributes & attribute; }
    bool isActive() const;

    // The command's shown text.
    QString description() const;

private:
    friend class ActionManager;
    Command(Id id, QAction *registered, const Context &context, QObject *parent);
    void updateFromRegistered();

    Id m_id;
    Context m_context;
    QPointer<QAction> m_registered;
    QAction *m_action;
    int m_attributes = 0;
};

// A menu (or the menu bar) that commands, separators and other menus are appended to.
class ActionContainer : public QObject
{
    Q_OBJECT
public:
    Id id() const { return m_id; }
    QMenu *menu() const { return m_menu; }
    QMenuBar *menuBar() const { return m_menuBar; }

    void addAction(Command *command, Id group = Id());
    void addMenu(ActionContainer *menu, Id group = Id());
    // Appends a separator; returns the separator's action.
    QAction *addSeparator(const Context &context, Id group = Id());

private:
    friend class ActionManager;
    ActionContainer(Id id, QMenu *menu, QMenuBar *menuBar, QObject *parent);
    QWidget *widget() const;

    Id m_id;
    QPointer<QMenu> m_menu;
    QPointer<QMenuBar> m_menuBar;
};

// Registers actions under Ids and builds the menus. The host owns every container and
// command it creates.
class ActionManager : public QObject
{
    Q_OBJECT
public:
    ActionManager(QObject *parent = nullptr);
    ~ActionManager() override;
    static ActionManager *instance();

    static ActionContainer *createMenu(Id id);
    static ActionContainer *createMenuBar(Id id, QMenuBar *menuBar);
    static ActionContainer *actionContainer(Id id);
    static Command *registerAction(QAction *action, Id id, const Context &context,
                                   bool scriptable = false);
    static Command *command(Id id);
    static QList<Command *> commands();

signals:
    void commandAdded(Core::Id id);

private:
    QHash<Id, ActionContainer *> m_containers;
    QHash<Id, Command *> m_commands;
    QList<Command *> m_commandOrder;
};

} // namespace Core
