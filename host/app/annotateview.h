#pragma once

#include <core/iversionhistory.h>

#include <QPointer>
#include <QWidget>

QT_BEGIN_NAMESPACE
class QLabel;
class QTreeWidget;
QT_END_NAMESPACE

namespace Workbench {

// The annotate view: the text of a file with a margin per line naming the changeset that
// last changed the line, its user and date ("local" for a change not checked in), as the
// version control's Core::IVersionHistory computes it. Clicking a line's changeset asks for
// it in the History view. Reading never holds the window up.
class AnnotateView : public QWidget
{
    Q_OBJECT
public:
    explicit AnnotateView(QWidget *parent = nullptr);
    ~AnnotateView() override;

    // Asks for the annotation of 'file'; false (errorMessage() says why) when no version
    // control offers it.
    bool annotate(const QString &file);
    QString file() const { return m_file; }
    bool isReading() const { return m_request != 0; }
    QString errorMessage() const { return m_error; }
    QList<Core::AnnotatedLine> lines() const { return m_lines; }

signals:
    void readFinished();
    // A line's changeset was clicked: show it in the history of the file.
    void changesetActivated(const QString &file, int changeset);

private:
    void annotationRead(int request, const QList<Core::AnnotatedLine> &lines);
    void requestFailed(int request, const QString &message);
    void fail(const QString &message);
    void showLines();

    QString m_file;
    QPointer<Core::IVersionHistory> m_provider;
    int m_request = 0;
    QString m_error;
    QList<Core::AnnotatedLine> m_lines;
    QLabel *m_message;
    QTreeWidget *m_table;
};

} // namespace Workbench
