#pragma once

#include <vcsbase/vcsoutputwindow.h>

#include <QPlainTextEdit>

QT_BEGIN_NAMESPACE
class QToolButton;
QT_END_NAMESPACE

namespace Workbench {

// The version-control output pane: shows what is appended to the host's output window,
// command lines, errors and warnings each in their own colour, long lines wrapped at its
// width. It keeps the newest output: at most MaxCharacters characters in MaxBlocks lines, a
// line longer than MaxLineLength continuing on the next, and then begins with a line saying
// how much it dropped. While it shows its end it follows new output; scrolled up, it stays
// where the person reads and shows a "new output below" marker that jumps to the end.
class OutputPane : public QPlainTextEdit
{
    Q_OBJECT
public:
    static const int MaxCharacters = 1024 * 1024;
    static const int MaxBlocks = 20000;
    static const int MaxLineLength = 8192;

    explicit OutputPane(QWidget *parent = nullptr);

    qint64 droppedBytes() const { return m_droppedBytes; }
    // Whether the end of the output is in view.
    bool isAtEnd() const;
    void scrollToEnd();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void appendText(const QString &text, VcsBase::VcsOutputWindow::Kind kind);
    // Drops the oldest lines when over the limits; returns how many of the pane's lines went
    // (less the line that says so).
    int trim();
    void placeMarker();

    QToolButton *m_newOutputMarker;
    bool m_newlinePending = false; // the last text ended a line; the next starts a block
    qint64 m_droppedBytes = 0;
};

} // namespace Workbench
