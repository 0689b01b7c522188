#pragma once

#include <core/id.h>

#include <QDialog>
#include <QHash>
#include <QPointer>

QT_BEGIN_NAMESPACE
class QLabel;
class QLineEdit;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;
QT_END_NAMESPACE

namespace Core {
class IOptionsPage;
}

namespace Workbench {

// The options dialog: the options pages of the object pool by category, a filter field that
// asks each page whether it matches the typed word, and the chosen page's widget, created
// when the page is first shown. OK and Apply apply the pages whose widget exists; closing
// the dialog (OK or Cancel) finishes them.
class OptionsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit OptionsDialog(QWidget *parent = nullptr);
    ~OptionsDialog() override;

    // Shows the page 'page' (the first page of 'category' when 'page' is not given or not
    // found there); false when there is no such page.
    bool showPage(Core::Id category, Core::Id page);
    Core::IOptionsPage *currentPage() const;
    // The widget of 'page', created on first use.
    QWidget *widgetOf(Core::IOptionsPage *page);

    void setFilterText(const QString &text);
    // The pages left visible by the filter, in the dialog's order.
    QList<Core::IOptionsPage *> visiblePages() const;

    void apply();
    void accept() override;
    void reject() override;

private:
    void applyFilter(const QString &text);
    void currentItemChanged(QTreeWidgetItem *item);
    void finish();

    QLineEdit *m_filter;
    QTreeWidget *m_tree;
    QLabel *m_title;
    QStackedWidget *m_stack;
    QList<QPointer<Core::IOptionsPage>> m_pages;
    QHash<Core::IOptionsPage *, QWidget *> m_widgets;
    QHash<Core::IOptionsPage *, QWidget *> m_containers;
    QHash<Core::IOptionsPage *, QTreeWidgetItem *> m_items;
    bool m_finished = false;
};

} // namespace Workbench
