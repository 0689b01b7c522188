#include "optionsdialog.h"

#include <core/icore.h>
#include <core/ioptionspage.h>
#include <extensionsystem/pluginmanager.h>

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace Workbench {

namespace {
const int PageRole = Qt::UserRole + 1;

Core::IOptionsPage *pageOf(QTreeWidgetItem *item)
{
    return item ? static_cast<Core::IOptionsPage *>(item->data(0, PageRole).value<void *>())
                : nullptr;
}
} // namespace

OptionsDialog::OptionsDialog(QWidget *parent)
    : QDialog(parent), m_filter(new QLineEdit), m_tree(new QTreeWidget), m_title(new QLabel),
      m_stack(new QStackedWidget)
{
    setObjectName(QStringLiteral("optionsDialog"));
    setWindowTitle(tr("Options"));
    m_filter->setObjectName(QStringLiteral("optionsFilter"));
    m_filter->setPlaceholderText(tr("Filter"));
    m_filter->setClearButtonEnabled(true);
    m_tree->setObjectName(QStringLiteral("optionsPages"));
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(false);
    m_tree->setMinimumWidth(180);
    QFont titleFont = m_title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
    m_title->setFont(titleFont);

    QList<Core::IOptionsPage *> pages =
        ExtensionSystem::PluginManager::getObjects<Core::IOptionsPage>();
    std::stable_sort(pages.begin(), pages.end(), [](Core::IOptionsPage *a, Core::IOptionsPage *b) {
        if (a->category() != b->category())
            return a->category() < b->category();
        return a->id() < b->id();
    });
    QHash<Core::Id, QTreeWidgetItem *> categories;
    for (Core::IOptionsPage *page : qAsConst(pages)) {
        m_pages.append(page);
        QTreeWidgetItem *category = categories.value(page->category());
        if (!category) {
            const QString name = page->displayCategory().isEmpty() ? page->category().toString()
                                                                   : page->displayCategory();
            category = new QTreeWidgetItem(m_tree, QStringList(name));
            category->setFlags(Qt::ItemIsEnabled);
            QFont font = category->font(0);
            font.setBold(true);
            category->setFont(0, font);
            categories.insert(page->category(), category);
        }
        auto item = new QTreeWidgetItem(category, QStringList(page->displayName()));
        item->setData(0, PageRole, QVariant::fromValue(static_cast<void *>(page)));
        m_items.insert(page, item);
    }
    m_tree->expandAll();

    auto left = new QWidget;
    auto leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(m_filter);
    leftLayout->addWidget(m_tree);

    auto right = new QWidget;
    auto rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(m_title);
    rightLayout->addWidget(m_stack, 1);
    auto empty = new QLabel(pages.isEmpty() ? tr("No plugin offers options.")
                                            : tr("Choose a page on the left."));
    empty->setAlignment(Qt::AlignCenter);
    m_stack->addWidget(empty);

    auto splitter = new QSplitter;
    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    // The pages hold long labels and paths; the list of pages needs little room.
    splitter->setSizes({200, 740});

    auto buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Apply |
                                        QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OptionsDialog::reject);
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            &OptionsDialog::apply);

    auto layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addWidget(buttons);

    connect(m_filter, &QLineEdit::textChanged, this, &OptionsDialog::applyFilter);
    connect(m_tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current) { currentItemChanged(current); });
    // Tall enough for a page of three groups with its fields under their labels.
    resize(960, 600);
    if (!pages.isEmpty())
        showPage(pages.first()->category(), pages.first()->id());
}

OptionsDialog::~OptionsDialog()
{
    // A dialog that goes away without being closed still releases its pages.
    finish();
}

bool OptionsDialog::showPage(Core::Id category, Core::Id pageId)
{
    Core::IOptionsPage *found = nullptr;
    for (const QPointer<Core::IOptionsPage> &page : qAsConst(m_pages)) {
        if (!page)
            continue;
        if (pageId.isValid() && page->id() == pageId) {
            found = page;
            break;
        }
        if (!found && category.isValid() && page->category() == category)
            found = page;
    }
    if (!found)
        return false;
    QTreeWidgetItem *item = m_items.value(found);
    if (item->isHidden()) {
        m_filter->clear();
    }
    m_tree->setCurrentItem(item);
    currentItemChanged(item);
    return true;
}

Core::IOptionsPage *OptionsDialog::currentPage() const
{
    return pageOf(m_tree->currentItem());
}

QWidget *OptionsDialog::widgetOf(Core::IOptionsPage *page)
{
    if (!page)
        return nullptr;
    if (QWidget *widget = m_widgets.value(page))
        return widget;
    auto scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    QWidget *widget = page->createPage(scroll);
    if (!widget)
        widget = new QLabel(tr("This page has nothing to show."));
    scroll->setWidget(widget);
    m_stack->addWidget(scroll);
    m_widgets.insert(page, widget);
    m_containers.insert(page, scroll);
    return widget;
}

void OptionsDialog::currentItemChanged(QTreeWidgetItem *item)
{
    Core::IOptionsPage *page = pageOf(item);
    if (!page)
        return;
    widgetOf(page);
    m_title->setText(page->displayName());
    m_stack->setCurrentWidget(m_containers.value(page));
}

void OptionsDialog::setFilterText(const QString &text)
{
    m_filter->setText(text);
}

void OptionsDialog::applyFilter(const QString &input)
{
    const QString text = input.trimmed();
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *category = m_tree->topLevelItem(i);
        bool any = false;
        for (int j = 0; j < category->childCount(); ++j) {
            QTreeWidgetItem *item = category->child(j);
            Core::IOptionsPage *page = pageOf(item);
            const bool visible =
                text.isEmpty() ||
                (page &&
                 (page->matches(text) || page->displayName().contains(text, Qt::CaseInsensitive) ||
                  page->displayCategory().contains(text, Qt::CaseInsensitive)));
            item->setHidden(!visible);
            any = any || visible;
        }
        category->setHidden(!any);
    }
}

QList<Core::IOptionsPage *> OptionsDialog::visiblePages() const
{
    QList<Core::IOptionsPage *> result;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *category = m_tree->topLevelItem(i);
        if (category->isHidden())
            continue;
        for (int j = 0; j < category->childCount(); ++j) {
            if (!category->child(j)->isHidden())
                result.append(pageOf(category->child(j)));
        }
    }
    return result;
}

void OptionsDialog::apply()
{
    for (const QPointer<Core::IOptionsPage> &page : qAsConst(m_pages)) {
        if (page && m_widgets.contains(page))
            page->apply();
    }
    Core::ICore::syncSettings();
}

void OptionsDialog::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    for (const QPointer<Core::IOptionsPage> &page : qAsConst(m_pages)) {
        if (page && m_widgets.contains(page))
            page->finish();
    }
}

void OptionsDialog::accept()
{
    apply();
    finish();
    QDialog::accept();
}

void OptionsDialog::reject()
{
    finish();
    QDialog::reject();
}

} // namespace Workbench
