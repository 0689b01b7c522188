#include "locatorwidget.h"

#include <extensionsystem/pluginmanager.h>

#include <QKeyEvent>
#include <QListWidget>

namespace Workbench {

LocatorWidget::LocatorWidget(QWidget *overlayParent)
    : QLineEdit(overlayParent), m_overlayParent(overlayParent),
      m_list(new QListWidget(overlayParent))
{
    setObjectName(QStringLiteral("locator"));
    setPlaceholderText(tr("Type to locate (Ctrl+K)"));
    setClearButtonEnabled(true);
    m_list->setObjectName(QStringLiteral("locatorMatches"));
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->hide();
    connect(this, &QLineEdit::textChanged, this, &LocatorWidget::updateMatches);
    connect(m_list, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { acceptMatch(m_list->row(item)); });
    connect(m_list, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { acceptMatch(m_list->row(item)); });
}

QList<Locator::LocatorFilterEntry> LocatorWidget::matchesFor(const QString &input)
{
    const QString text = input.trimmed();
    QList<Locator::LocatorFilterEntry> result;
    if (text.isEmpty())
        return result;
    const QList<Locator::ILocatorFilter *> filters =
        ExtensionSystem::PluginManager::getObjects<Locator::ILocatorFilter>();

    const int blank = text.indexOf(QLatin1Char(' '));
    const QString prefix = blank < 0 ? text : text.left(blank);
    const QString rest = blank < 0 ? QString() : text.mid(blank + 1).trimmed();
    bool prefixed = false;
    for (Locator::ILocatorFilter *filter : filters) {
        if (filter->shortcutString().isEmpty() ||
            filter->shortcutString().compare(prefix, Qt::CaseInsensitive) != 0)
            continue;
        prefixed = true;
        if (filter->isEnabled())
            result += filter->matchesFor(rest);
    }
    if (prefixed)
        return result;
    for (Locator::ILocatorFilter *filter : filters) {
        if (filter->isEnabled())
            result += filter->matchesFor(text);
    }
    return result;
}

void LocatorWidget::updateMatches()
{
    m_entries = matchesFor(text());
    m_list->clear();
    for (const Locator::LocatorFilterEntry &entry : qAsConst(m_entries)) {
        const QString filterName = entry.filter ? entry.filter->displayName() : QString();
        m_list->addItem(filterName.isEmpty()
                            ? entry.displayName
                            : entry.displayName + QLatin1String("    ") + filterName);
    }
    if (m_entries.isEmpty()) {
        m_list->hide();
        return;
    }
    m_list->setCurrentRow(0);
    placeList();
    m_list->show();
    m_list->raise();
}

void LocatorWidget::placeList()
{
    if (!m_overlayParent)
        return;
    const int rowHeight = qMax(m_list->sizeHintForRow(0), fontMetrics().height() + 4);
    const int height = qMin(m_list->count(), 10) * rowHeight + 2 * m_list->frameWidth() + 2;
    const int width = qMax(this->width(), 360);
    const QPoint topLeft = mapTo(m_overlayParent, QPoint(0, 0));
    // Above the field when it sits low in the window (the status bar), else below it.
    int y = topLeft.y() + this->height();
    if (y + height > m_overlayParent->height())
        y = topLeft.y() - height;
    m_list->setGeometry(topLeft.x(), qMax(0, y), width, height);
}

bool LocatorWidget::acceptMatch(int row)
{
    if (row < 0 || row >= m_entries.size())
        return false;
    const Locator::LocatorFilterEntry entry = m_entries.at(row);
    clear();
    m_list->hide();
    if (!entry.filter)
        return false;
    entry.filter->accept(entry);
    return true;
}

void LocatorWidget::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (m_list->count() > 0) {
            const int step = event->key() == Qt::Key_Up ? -1 : 1;
            const int row = qBound(0, m_list->currentRow() + step, m_list->count() - 1);
            m_list->setCurrentRow(row);
        }
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        acceptMatch(qMax(0, m_list->currentRow()));
        return;
    case Qt::Key_Escape:
        clear();
        m_list->hide();
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}

void LocatorWidget::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason)
        m_list->hide();
}

void LocatorWidget::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    if (m_list->isVisible())
        placeList();
}

} // namespace Workbench
