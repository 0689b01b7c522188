#pragma once

// The rows of the workbench's Pending Changes view as a person sees them, for both suites that
// check the view: "change|folder/file", candidates marked "?"; nothing while the list is hidden
// (a failed read shows its message instead).

#include <QStringList>
#include <QTreeWidget>

namespace E2e {

inline QStringList shownPendingRows(const QWidget *view)
{
    // Read off the list the person sees, not the view's own record of it.
    auto list = view->findChild<QTreeWidget *>(QStringLiteral("pendingChangesList"));
    QStringList rows;
    if (!list->isVisible())
        return rows;
    for (int g = 0; g < list->topLevelItemCount(); ++g) {
        QTreeWidgetItem *group = list->topLevelItem(g);
        for (int c = 0; c < group->childCount(); ++c) {
            QTreeWidgetItem *item = group->child(c);
            const QString folder = item->text(2);
            rows << QLatin1String(g == 0 ? "" : "?") + item->text(0) + QLatin1Char('|') +
                        (folder.isEmpty() ? QString() : folder + QLatin1Char('/')) + item->text(1);
        }
    }
    return rows;
}

} // namespace E2e
