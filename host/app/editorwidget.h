#pragma once

#include "outcome.h"

#include <QPlainTextEdit>

#include <functional>

QT_BEGIN_NAMESPACE
class QFileSystemWatcher;
QT_END_NAMESPACE

namespace Workbench {

// The editor of the current file. A file that is write-protected on disk is shown read-only;
// the first change the user makes to it (a key, a paste, "Open for Editing") first asks the
// edit guard, which may open the file for editing through its version control. Only when the
// guard succeeds does the change go on; otherwise it is refused and nothing in the editor or
// on disk changes. A refusal is not asked again at every key: the keys that follow are
// refused without the guard (editRefused() said why once) until retryEdit(), or until
// allowEditAttempt() says that something changed that may let the guard succeed now (a
// command succeeded, the settings changed). The editor follows the disk: when a command
// changes the file or its protection, a buffer without unsaved changes shows the new
// content, and the protection is looked at again before the first change after every save
// or load.
class EditorWidget : public QPlainTextEdit
{
    Q_OBJECT
public:
    using EditGuard = std::function<Outcome(const QString &file)>;

    explicit EditorWidget(QWidget *parent = nullptr);

    void setEditGuard(EditGuard guard) { m_editGuard = std::move(guard); }

    Outcome openFile(const QString &file);
    // Reads the file again, keeping the cursor's position. Refused while there are unsaved changes.
    Outcome reload();
    // Shows the disk's content again, dropping unsaved changes.
    Outcome revert();
    Outcome save();
    void closeFile();

    QString filePath() const { return m_file; }
    bool hasFile() const { return !m_file.isEmpty(); }
    bool isModified() const;
    int currentLine() const;

    // Types 'text' at the end of the document as a person would, key by key ('\n' as Return),
    // every key even when one was refused. Fails, with the first refusal's message, when a
    // key was refused.
    Outcome typeAtEnd(const QString &text);

    // Asks the guard whether a write-protected file may be changed; true when it may. After
    // a refusal it answers false without asking, until allowEditAttempt() or retryEdit().
    bool prepareEdit();
    // The next change asks the guard again.
    void allowEditAttempt();
    // Asks the guard again now, as "Open for Editing" does; true when the file may be changed.
    bool retryEdit();
    // The guard refused and is not asked again yet.
    bool isEditRefused() const { return m_refusedUntilRetry; }

signals:
    // The guard refused a change, with why; isEditRefused() is true until it may be asked again.
    void editRefused(const QString &message);
    // isEditRefused() changed.
    void editRefusalChanged();
    // The file changed on disk: its content, its protection, or both.
    void changedOnDisk();
    void annotateRequested(int line);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    // A change now would be the first since the file was loaded or saved, or the editor is
    // read-only: the edit guard decides.
    bool isFirstEdit() const;
    bool isEditingKey(QKeyEvent *event) const;
    Outcome load(const QString &file);
    void watch(const QString &file);
    void fileChanged();
    QByteArray contentToSave() const;

    EditGuard m_editGuard;
    QFileSystemWatcher *m_watcher;
    QString m_file;
    bool m_crlf = false;
    bool m_writeProtected = false;
    bool m_undecodable = false;
    Outcome m_lastRefusal;
    Outcome m_refusal; // the guard's, while m_refusedUntilRetry
    bool m_refusedUntilRetry = false;
};

} // namespace Workbench
