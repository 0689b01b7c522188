#pragma once

#include <core/iversionhistory.h>

#include <utils/textdiff.h>

#include <QPointer>
#include <QWidget>

QT_BEGIN_NAMESPACE
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QToolButton;
QT_END_NAMESPACE

namespace Workbench {

// The diff view: two versions of a file compared, side by side or as a unified diff, changed
// lines and the changed words in them highlighted, with buttons to the next and previous
// change. The versions come from the version control's Core::IVersionHistory as bytes and
// are read as the IDE reads files (UTF-8 unless a byte-order mark says otherwise); a binary
// file is said to be one instead of compared.
class DiffView : public QWidget
{
    Q_OBJECT
public:
    explicit DiffView(QWidget *parent = nullptr);
    ~DiffView() override;

    // Asks for the versions 'older' and 'newer' of 'file' (changesets or
    // Core::IVersionHistory::Version values) and compares them when they come; false
    // (errorMessage() says why) when no version control offers them.
    bool compare(const QString &file, int older, int newer);
    // Compares two versions at hand.
    void showVersions(const Core::FileVersion &older, const Core::FileVersion &newer);

    bool isReading() const { return m_request != 0; }
    QString errorMessage() const { return m_error; }
    // The comparison as a unified diff, three lines of context; empty when equal.
    QString unifiedText() const;
    int changeCount() const { return m_hunks.size(); }

    void setSideBySide(bool sideBySide);
    // Moves to the next (previous) change, wrapping around.
    void nextChange();
    void previousChange();

signals:
    void readFinished();

private:
    void versionsRead(int request, const Core::FileVersion &older, const Core::FileVersion &newer);
    void requestFailed(int request, const QString &message);
    void fail(const QString &message);
    void render();
    void goToChange(int index);

    QPointer<Core::IVersionHistory> m_provider;
    int m_request = 0;
    QString m_error;
    QString m_olderLabel;
    QString m_newerLabel;
    QStringList m_olderLines;
    QStringList m_newerLines;
    QVector<Utils::DiffEdit> m_edits;
    QVector<Utils::DiffHunk> m_hunks;
    QVector<int> m_changeRows; // for each hunk, the first changed row of the shown text
    int m_current = -1;
    bool m_sideBySide = true;
    QLabel *m_message;
    QCheckBox *m_sideBySideBox;
    QToolButton *m_previous;
    QToolButton *m_next;
    QPlainTextEdit *m_left;
    QPlainTextEdit *m_right;
};

} // namespace Workbench
