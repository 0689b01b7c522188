#include "annotateview.h"
#include "fixedfont.h"
#include "historyview.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace Workbench {

namespace {
const int ChangesetColumn = 0;
}

AnnotateView::AnnotateView(QWidget *parent)
    : QWidget(parent), m_message(new QLabel), m_table(new QTreeWidget)
{
    setObjectName(QStringLiteral("annotateView"));
    m_message->setObjectName(QStringLiteral("annotateMessage"));
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_table->setObjectName(QStringLiteral("annotateLines"));
    m_table->setHeaderLabels({tr("Changeset"), tr("User"), tr("Date"), tr("Line"), QString()});
    m_table->setRootIsDecorated(false);
    m_table->setUniformRowHeights(true);
    m_table->setAllColumnsShowFocus(true);
    m_table->setFont(fixedPitchFont());
    m_table->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->header()->setStretchLastSection(true);
    auto layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_message);
    layout->addWidget(m_table, 1);
    connect(m_table, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item, int column) {
        const int row = m_table->indexOfTopLevelItem(item);
        if (column == ChangesetColumn && row >= 0 && row < m_lines.size() &&
            m_lines.at(row).changeset > 0)
            emit changesetActivated(m_file, m_lines.at(row).changeset);
    });
    m_message->setText(tr("Choose Annotate on a file."));
}

AnnotateView::~AnnotateView() = default;

bool AnnotateView::annotate(const QString &file)
{
    m_file = QDir::cleanPath(QFileInfo(file).absoluteFilePath());
    m_lines.clear();
    m_error.clear();
    Core::IVersionHistory *provider = versionHistoryFor(m_file);
    if (provider != m_provider) {
        if (m_provider)
            disconnect(m_provider, nullptr, this, nullptr);
        m_provider = provider;
        if (provider) {
            connect(provider, &Core::IVersionHistory::annotationRead, this,
                    &AnnotateView::annotationRead);
            connect(provider, &Core::IVersionHistory::requestFailed, this,
                    &AnnotateView::requestFailed);
        }
    }
    if (!provider) {
        fail(tr("No version control annotates %1.").arg(QDir::toNativeSeparators(m_file)));
        return false;
    }
    m_message->setText(tr("Annotating %1...").arg(QDir::toNativeSeparators(m_file)));
    showLines();
    m_request = -1; // an answer may come before the number does
    const int request = provider->annotate(m_file);
    if (m_request == -1)
        m_request = request;
    if (request == 0) {
        fail(tr("%1 was not annotated (see the Version Control pane).")
                 .arg(QDir::toNativeSeparators(m_file)));
        return false;
    }
    return true;
}

void AnnotateView::fail(const QString &message)
{
    m_request = 0;
    m_error = message;
    m_lines.clear();
    m_message->setText(message);
    showLines();
    emit readFinished();
}

void AnnotateView::annotationRead(int request, const QList<Core::AnnotatedLine> &lines)
{
    if (m_request == 0 || (m_request != -1 && request != m_request))
        return;
    m_request = 0;
    m_lines = lines;
    m_message->setText(QDir::toNativeSeparators(m_file));
    showLines();
    emit readFinished();
}

void AnnotateView::requestFailed(int request, const QString &message)
{
    if (m_request == 0 || (m_request != -1 && request != m_request))
        return;
    fail(tr("The annotation could not be computed: %1").arg(message.trimmed()));
}

void AnnotateView::showLines()
{
    m_table->clear();
    m_table->setVisible(m_error.isEmpty());
    const QLocale locale;
    QList<QTreeWidgetItem *> items;
    items.reserve(m_lines.size());
    int previous = -1;
    for (int i = 0; i < m_lines.size(); ++i) {
        const Core::AnnotatedLine &line = m_lines.at(i);
        // A run of lines from one changeset names it once, as a margin does.
        const bool first = line.changeset != previous;
        previous = line.changeset;
        const QString changeset = !first               ? QString()
                                  : line.changeset > 0 ? QStringLiteral("C%1").arg(line.changeset)
                                                       : tr("local");
        auto item = new QTreeWidgetItem(
            {changeset, first ? line.user : QString(),
             first && line.date.isValid()
                 ? locale.toString(line.date.toLocalTime().date(), QLocale::ShortFormat)
                 : QString(),
             QString::number(i + 1), line.text});
        item->setTextAlignment(3, Qt::AlignRight);
        if (line.changeset > 0)
            item->setToolTip(ChangesetColumn,
                             tr("Show changeset %1 in the History view").arg(line.changeset));
        items << item;
    }
    m_table->addTopLevelItems(items);
}

} // namespace Workbench
