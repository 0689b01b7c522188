#include "outputpane.h"
#include "fixedfont.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace Workbench {

OutputPane::OutputPane(QWidget *parent) : QPlainTextEdit(parent)
{
    setObjectName(QStringLiteral("outputPane"));
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    // The output window keeps its own bounded history; the pane need not hold more lines
    // than a person can scroll through.
    setMaximumBlockCount(20000);
    setFont(fixedPitchFont());
    connect(VcsBase::VcsOutputWindow::instance(), &VcsBase::VcsOutputWindow::textAppended, this,
            &OutputPane::appendText);
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
    QScrollBar *bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    QString line = text;
    // The output window ends every text with a newline; the document's last block is the
    // empty one after it, so the newline is written as the block separator.
    if (line.endsWith(QLatin1Char('\n')))
        line.chop(1);
    if (!document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(line, format);
    if (atEnd)
        bar->setValue(bar->maximum());
}

} // namespace Workbench
