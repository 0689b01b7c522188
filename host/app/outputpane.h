#pragma once

#include <vcsbase/vcsoutputwindow.h>

#include <QPlainTextEdit>

namespace Workbench {

// The version-control output pane: shows what is appended to the host's output window,
// command lines, errors and warnings each in their own colour. It keeps the newest output:
// at most MaxCharacters characters in MaxBlocks lines, a line longer than MaxLineLength
// continuing on the next, and then begins with a line saying how much it dropped.
class OutputPane : public QPlainTextEdit
{
    Q_OBJECT
public:
    static const int MaxCharacters = 1024 * 1024;
    static const int MaxBlocks = 20000;
    static const int MaxLineLength = 8192;

    explicit OutputPane(QWidget *parent = nullptr);

    qint64 droppedBytes() const { return m_droppedBytes; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void appendText(const QString &text, VcsBase::VcsOutputWindow::Kind kind);
    void trim();

    bool m_newlinePending = false; // the last text ended a line; the next starts a block
    qint64 m_droppedBytes = 0;
};

} // namespace Workbench
