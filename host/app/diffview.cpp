#include "diffview.h"
#include "fixedfont.h"
#include "historyview.h"

#include <QCheckBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QTextBlock>
#include <QToolButton>
#include <QVBoxLayout>

namespace Workbench {

namespace {
const QColor DeletedLine(0xff, 0xe0, 0xe0);
const QColor DeletedWords(0xf0, 0xa0, 0xa0);
const QColor InsertedLine(0xe0, 0xf8, 0xe0);
const QColor InsertedWords(0x9c, 0xe0, 0x9c);
const QColor FillerLine(0xee, 0xee, 0xee);
const QColor HunkLine(0xe0, 0xe8, 0xff);

QTextEdit::ExtraSelection lineSelection(QPlainTextEdit *edit, int row, const QColor &color)
{
    QTextEdit::ExtraSelection selection;
    selection.cursor = QTextCursor(edit->document()->findBlockByNumber(row));
    selection.format.setBackground(color);
    selection.format.setProperty(QTextFormat::FullWidthSelection, true);
    return selection;
}

QTextEdit::ExtraSelection wordSelection(QPlainTextEdit *edit, int row, const QPair<int, int> &range,
                                        const QColor &color)
{
    QTextEdit::ExtraSelection selection;
    const QTextBlock block = edit->document()->findBlockByNumber(row);
    selection.cursor = QTextCursor(block);
    selection.cursor.setPosition(block.position() + range.first);
    selection.cursor.setPosition(block.position() + range.first + range.second,
                                 QTextCursor::KeepAnchor);
    selection.format.setBackground(color);
    return selection;
}

QPlainTextEdit *textSide(const QString &name)
{
    auto edit = new QPlainTextEdit;
    edit->setObjectName(name);
    edit->setReadOnly(true);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit->setFont(fixedPitchFont());
    return edit;
}
} // namespace

DiffView::DiffView(QWidget *parent)
    : QWidget(parent), m_message(new QLabel), m_sideBySideBox(new QCheckBox(tr("Side by side"))),
      m_previous(new QToolButton), m_next(new QToolButton), m_left(textSide("diffOlder")),
      m_right(textSide("diffNewer"))
{
    setObjectName(QStringLiteral("diffView"));
    m_message->setObjectName(QStringLiteral("diffMessage"));
    m_message->setTextFormat(Qt::PlainText);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_sideBySideBox->setObjectName(QStringLiteral("diffSideBySide"));
    m_sideBySideBox->setChecked(true);
    m_previous->setObjectName(QStringLiteral("diffPrevious"));
    m_previous->setArrowType(Qt::UpArrow);
    m_previous->setToolTip(tr("Previous change"));
    m_next->setObjectName(QStringLiteral("diffNext"));
    m_next->setArrowType(Qt::DownArrow);
    m_next->setToolTip(tr("Next change"));

    auto top = new QHBoxLayout;
    top->setContentsMargins(4, 2, 4, 2);
    top->addWidget(m_message, 1);
    top->addWidget(m_sideBySideBox);
    top->addWidget(m_previous);
    top->addWidget(m_next);
    auto sides = new QSplitter(Qt::Horizontal);
    sides->addWidget(m_left);
    sides->addWidget(m_right);
    auto layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(top);
    layout->addWidget(sides, 1);

    connect(m_sideBySideBox, &QCheckBox::toggled, this, &DiffView::setSideBySide);
    connect(m_previous, &QToolButton::clicked, this, &DiffView::previousChange);
    connect(m_next, &QToolButton::clicked, this, &DiffView::nextChange);
    // The two sides scroll together, row for row.
    connect(m_left->verticalScrollBar(), &QScrollBar::valueChanged, m_right->verticalScrollBar(),
            &QScrollBar::setValue);
    connect(m_right->verticalScrollBar(), &QScrollBar::valueChanged, m_left->verticalScrollBar(),
            &QScrollBar::setValue);
    showViewMessage(m_message, tr("Choose Compare on a file or a changeset."), false);
    render();
}

DiffView::~DiffView() = default;

bool DiffView::compare(const QString &file, int older, int newer)
{
    Core::IVersionHistory *provider = versionHistoryFor(file);
    if (provider != m_provider) {
        if (m_provider)
            disconnect(m_provider, nullptr, this, nullptr);
        m_provider = provider;
        if (provider) {
            connect(provider, &Core::IVersionHistory::versionsRead, this, &DiffView::versionsRead);
            connect(provider, &Core::IVersionHistory::requestFailed, this,
                    &DiffView::requestFailed);
        }
    }
    m_olderLines.clear();
    m_newerLines.clear();
    m_edits.clear();
    m_hunks.clear();
    if (!provider) {
        fail(tr("No version control offers the versions of %1.")
                 .arg(QDir::toNativeSeparators(file)));
        return false;
    }
    m_error.clear();
    showViewMessage(m_message,
                    tr("Reading the versions of %1...").arg(QDir::toNativeSeparators(file)), false);
    render();
    m_request = -1; // an answer may come before the number does
    const int request = provider->readVersions(file, older, newer);
    if (m_request == -1)
        m_request = request;
    if (request == 0) {
        fail(tr("The versions of %1 were not read (see the Version Control pane).")
                 .arg(QDir::toNativeSeparators(file)));
        return false;
    }
    return true;
}

void DiffView::fail(const QString &message)
{
    m_request = 0;
    m_error = message;
    m_olderLines.clear();
    m_newerLines.clear();
    m_edits.clear();
    m_hunks.clear();
    showViewMessage(m_message, message, true);
    render();
    emit readFinished();
}

void DiffView::versionsRead(int request, const Core::FileVersion &older,
                            const Core::FileVersion &newer)
{
    if (m_request == 0 || (m_request != -1 && request != m_request))
        return;
    m_request = 0;
    showVersions(older, newer);
    emit readFinished();
}

void DiffView::requestFailed(int request, const QString &message)
{
    if (m_request == 0 || (m_request != -1 && request != m_request))
        return;
    fail(tr("The versions could not be read: %1").arg(message.trimmed()));
}

void DiffView::showVersions(const Core::FileVersion &older, const Core::FileVersion &newer)
{
    const Utils::DecodedText olderText = Utils::DecodedText::decode(older.content);
    const Utils::DecodedText newerText = Utils::DecodedText::decode(newer.content);
    m_olderLabel = older.label;
    m_newerLabel = newer.label;
    if (olderText.binary || newerText.binary) {
        m_error = tr("%1 is a binary file: it is not compared line by line.")
                      .arg(olderText.binary ? older.label : newer.label);
        m_olderLines.clear();
        m_newerLines.clear();
        m_edits.clear();
        m_hunks.clear();
        showViewMessage(m_message, m_error, false);
        render();
        return;
    }
    m_error.clear();
    m_olderLines = olderText.lines;
    m_newerLines = newerText.lines;
    m_edits = Utils::TextDiff::diffLines(m_olderLines, m_newerLines);
    m_hunks = Utils::TextDiff::hunks(m_edits);
    showViewMessage(m_message,
                    m_hunks.isEmpty() ? tr("%1 and %2 are the same.").arg(older.label, newer.label)
                                      : (m_hunks.size() == 1 ? tr("%1 against %2: %3 change")
                                                             : tr("%1 against %2: %3 changes"))
                                            .arg(older.label, newer.label)
                                            .arg(m_hunks.size()),
                    false);
    render();
    m_current = -1;
    if (!m_hunks.isEmpty())
        goToChange(0);
}

QString DiffView::unifiedText() const
{
    return Utils::TextDiff::unified(m_olderLabel, m_olderLines, m_newerLabel, m_newerLines);
}

void DiffView::setSideBySide(bool sideBySide)
{
    if (m_sideBySideBox->isChecked() != sideBySide)
        m_sideBySideBox->setChecked(sideBySide);
    if (m_sideBySide == sideBySide)
        return;
    m_sideBySide = sideBySide;
    render();
    if (m_current >= 0)
        goToChange(m_current);
}

void DiffView::render()
{
    m_right->setVisible(m_sideBySide);
    m_changeRows.clear();
    m_previous->setEnabled(m_hunks.size() > 0);
    m_next->setEnabled(m_hunks.size() > 0);
    if (!m_sideBySide) {
        const QString text = unifiedText();
        m_left->setPlainText(text);
        QList<QTextEdit::ExtraSelection> marks;
        const QStringList lines = text.split(QLatin1Char('\n'));
        for (int row = 0; row < lines.size(); ++row) {
            const QString &line = lines.at(row);
            if (line.startsWith(QLatin1String("@@"))) {
                m_changeRows << row;
                marks << lineSelection(m_left, row, HunkLine);
            } else if (row >= 2 && line.startsWith(QLatin1Char('-'))) {
                marks << lineSelection(m_left, row, DeletedLine);
            } else if (row >= 2 && line.startsWith(QLatin1Char('+'))) {
                marks << lineSelection(m_left, row, InsertedLine);
            }
        }
        m_left->setExtraSelections(marks);
        return;
    }
    // Side by side: equal lines face each other; a changed stretch shows its old lines
    // beside its new ones, the shorter side filled with empty rows.
    QStringList left;
    QStringList right;
    QList<QTextEdit::ExtraSelection> leftMarks;
    QList<QTextEdit::ExtraSelection> rightMarks;
    struct Pair
    {
        int row;
        int oldLine;
        int newLine;
    };
    QVector<Pair> pairs;
    QVector<QPair<int, QColor>> leftRows;
    QVector<QPair<int, QColor>> rightRows;
    int hunk = 0;
    for (int i = 0; i < m_edits.size();) {
        if (hunk < m_hunks.size() && i >= m_hunks.at(hunk).firstEdit &&
            m_edits.at(i).kind != Utils::DiffEdit::Equal) {
            m_changeRows << left.size();
            ++hunk;
        }
        if (m_edits.at(i).kind == Utils::DiffEdit::Equal) {
            left << m_olderLines.at(m_edits.at(i).oldLine);
            right << m_newerLines.at(m_edits.at(i).newLine);
            ++i;
            continue;
        }
        QVector<int> deleted;
        QVector<int> inserted;
        for (; i < m_edits.size() && m_edits.at(i).kind != Utils::DiffEdit::Equal; ++i) {
            if (m_edits.at(i).kind == Utils::DiffEdit::Deleted)
                deleted << m_edits.at(i).oldLine;
            else
                inserted << m_edits.at(i).newLine;
        }
        for (int k = 0; k < std::max(deleted.size(), inserted.size()); ++k) {
            const int row = left.size();
            if (k < deleted.size()) {
                left << m_olderLines.at(deleted.at(k));
                leftRows.append({row, DeletedLine});
            } else {
                left << QString();
                leftRows.append({row, FillerLine});
            }
            if (k < inserted.size()) {
                right << m_newerLines.at(inserted.at(k));
                rightRows.append({row, InsertedLine});
            } else {
                right << QString();
                rightRows.append({row, FillerLine});
            }
            if (k < deleted.size() && k < inserted.size())
                pairs.append({row, deleted.at(k), inserted.at(k)});
        }
    }
    m_left->setPlainText(left.join(QLatin1Char('\n')));
    m_right->setPlainText(right.join(QLatin1Char('\n')));
    for (const auto &row : qAsConst(leftRows))
        leftMarks << lineSelection(m_left, row.first, row.second);
    for (const auto &row : qAsConst(rightRows))
        rightMarks << lineSelection(m_right, row.first, row.second);
    for (const Pair &pair : qAsConst(pairs)) {
        QVector<QPair<int, int>> oldWords;
        QVector<QPair<int, int>> newWords;
        Utils::TextDiff::changedWords(m_olderLines.at(pair.oldLine), m_newerLines.at(pair.newLine),
                                      &oldWords, &newWords);
        for (const auto &range : qAsConst(oldWords))
            leftMarks << wordSelection(m_left, pair.row, range, DeletedWords);
        for (const auto &range : qAsConst(newWords))
            rightMarks << wordSelection(m_right, pair.row, range, InsertedWords);
    }
    m_left->setExtraSelections(leftMarks);
    m_right->setExtraSelections(rightMarks);
}

void DiffView::goToChange(int index)
{
    if (m_changeRows.isEmpty())
        return;
    m_current = (index + m_changeRows.size()) % m_changeRows.size();
    for (QPlainTextEdit *edit : {m_left, m_right}) {
        QTextCursor cursor(edit->document()->findBlockByNumber(m_changeRows.at(m_current)));
        edit->setTextCursor(cursor);
        edit->centerCursor();
    }
}

void DiffView::nextChange()
{
    goToChange(m_current + 1);
}

void DiffView::previousChange()
{
    goToChange(m_current < 0 ? -1 : m_current - 1);
}

} // namespace Workbench
