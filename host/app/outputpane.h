#pragma once

#include <vcsbase/vcsoutputwindow.h>

#include <QPlainTextEdit>

namespace Workbench {

// The version-control output pane: shows what is appended to the host's output window,
// command lines, errors and warnings each in their own colour.
class OutputPane : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit OutputPane(QWidget *parent = nullptr);

private:
    void appendText(const QString &text, VcsBase::VcsOutputWindow::Kind kind);
};

} // namespace Workbench
