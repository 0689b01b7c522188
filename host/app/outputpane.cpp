#include "outputpane.h"
#include "fixedfont.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>

namespace Workbench {

OutputPane::OutputPane(QWidget *parent)
    : QPlainTextEdit(parent), m_newOutputMarker(new QToolButton(this))
{
    setObjectName(QStringLiteral("outputPane"));
    setReadOnly(true);
    setUndoRedoEnabled(false);
    // Messages are read whole: a long one (a refused login with its command line) would
    // otherwise end at the pane's right edge.
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setFont(fixedPitchFont());
    m_newOutputMarker->setObjectName(QStringLiteral("newOutputMarker"));
    m_newOutputMarker->setText(tr("New output below"));
    m_newOutputMarker->setToolTip(tr("Scrolls to the end of the output"));
    m_newOutputMarker->setArrowType(Qt::DownArrow);
    m_newOutputMarker->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_newOutputMarker->setCursor(Qt::PointingHandCursor);
    m_newOutputMarker->hide();
    connect(m_newOutputMarker, &QToolButton::clicked, this, &OutputPane::scrollToEnd);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (isAtEnd())
            m_newOutputMarker->hide();
    });
    connect(VcsBase::VcsOutputWindow::instance(), &VcsBase::VcsOutputWindow::textAppended, this,
            &OutputPane::appendText);
}

bool OutputPane::isAtEnd() const
{
    const QScrollBar *bar = verticalScrollBar();
    return bar->value() >= bar->maximum();
}

void OutputPane::scrollToEnd()
{
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    m_newOutputMarker->hide();
}

void OutputPane::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    placeMarker();
}

void OutputPane::placeMarker()
{
    // At the bottom of the text, in the middle, where the new output is.
    m_newOutputMarker->adjustSize();
    const QRect area = viewport()->geometry();
    m_newOutputMarker->move(area.center().x() - m_newOutputMarker->width() / 2,
                            area.bottom() - m_newOutputMarker->height() - 4);
}

void OutputPane::appendText(const QString &text, VcsBase::VcsOutputWindow::Kind kind)
{
    using Kind = VcsBase::VcsOutputWindow::Kind;
    QTextCharFormat format;
    switch (kind) {
    case Kind::Error:
        format.setForeground(QColor(0xb0, 0x00, 0x20));
        break;
    case Kind::Warning:
        format.setForeground(QColor(0x9a, 0x60, 0x00));
        break;
    case Kind::Message:
        format.setForeground(QColor(0x20, 0x50, 0xa0));
        break;
    case Kind::CommandLine:
        format.setForeground(QColor(0x30, 0x30, 0x30));
        format.setFontWeight(QFont::Bold);
        break;
    case Kind::Normal:
        break;
    }
    const bool atEnd = isAtEnd();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    // A text that ends a line leaves the block open until more comes, so that the document
    // does not end in an empty line.
    if (m_newlinePending) {
        cursor.insertBlock();
        m_newlinePending = false;
    }
    QString rest = text;
    if (rest.endsWith(QLatin1Char('\n'))) {
        rest.chop(1);
        m_newlinePending = true;
    }
    int lineLength = cursor.block().length() - 1;
    int from = 0;
    while (from < rest.size()) {
        const int newline = rest.indexOf(QLatin1Char('\n'), from);
        const int lineEnd = newline < 0 ? rest.size() : newline;
        // A very long line continues in the next block: a block of megabytes would make
        // every repaint lay it out whole.
        int end = qMin(lineEnd, from + MaxLineLength - lineLength);
        if (end < lineEnd && end > from && rest.at(end - 1).isHighSurrogate())
            --end;
        if (end > from)
            cursor.insertText(rest.mid(from, end - from), format);
        if (end < lineEnd || newline >= 0) {
            cursor.insertBlock();
            lineLength = 0;
            from = end == lineEnd ? lineEnd + 1 : end;
        } else {
            from = end;
        }
    }
    cursor.endEditBlock();
    const int linesBefore = verticalScrollBar()->value();
    const int dropped = trim();
    if (!atEnd && dropped > 0) {
        // What the person reads stays in view while the oldest lines go.
        verticalScrollBar()->setValue(qMax(0, linesBefore - dropped));
    }
    if (atEnd) {
        scrollToEnd();
    } else if (m_newOutputMarker->isHidden()) {
        placeMarker();
        m_newOutputMarker->show();
        m_newOutputMarker->raise();
    }
}

int OutputPane::trim()
{
    QTextDocument *doc = document();
    if (doc->characterCount() <= MaxCharacters && doc->blockCount() <= MaxBlocks)
        return 0;
    // Down to three quarters of the limits, so that trimming happens in batches and
    // appending stays linear in the amount of output. Whole lines go: none is longer than
    // MaxLineLength.
    const int markerBlocks = m_droppedBytes > 0 ? 1 : 0;
    const QTextBlock first = doc->findBlockByNumber(markerBlocks);
    const int excessCharacters = doc->characterCount() - MaxCharacters * 3 / 4;
    QTextBlock cut = doc->findBlock(first.position() + qMax(0, excessCharacters));
    if (cut.next().isValid())
        cut = cut.next();
    const int excessBlocks = doc->blockCount() - MaxBlocks * 3 / 4;
    if (cut.blockNumber() < markerBlocks + excessBlocks)
        cut = doc->findBlockByNumber(markerBlocks + excessBlocks);
    if (cut.position() <= first.position())
        return 0;
    const int droppedLines =
        cut.firstLineNumber() - first.firstLineNumber() - (markerBlocks ? 0 : 1);

    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    cursor.setPosition(first.position());
    cursor.setPosition(cut.position(), QTextCursor::KeepAnchor);
    // The block separators count as the newlines they stand for.
    const QString dropped =
        cursor.selectedText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    m_droppedBytes += VcsBase::VcsOutputWindow::utf8Size(dropped);
    cursor.removeSelectedText();
    cursor.movePosition(QTextCursor::Start);
    if (markerBlocks)
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    QTextCharFormat format;
    format.setForeground(QColor(0x70, 0x70, 0x70));
    format.setFontItalic(true);
    cursor.insertText(VcsBase::VcsOutputWindow::droppedLine(m_droppedBytes), format);
    if (!markerBlocks)
        cursor.insertBlock();
    cursor.endEditBlock();
    return droppedLines;
}

} // namespace Workbench
