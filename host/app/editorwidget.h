#pragma once

#include "outcome.h"

#include <QPlainTextEdit>

#include <functional>

namespace Workbench {

// The editor of the current file. A file that is write-protected on disk is shown read-only;
// the first change the user makes to it (a key, a paste, "Open for Editing") first asks the
// edit guard, which may open the file for editing through its version control. Only when the
// guard succeeds does the change go on; otherwise it is refused and nothing in the editor or
// on disk changes.
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
    Outcome save();
    void closeFile();

    QString filePath() const { return m_file; }
    bool hasFile() const { return !m_file.isEmpty(); }
    bool isModified() const;
    int currentLine() const;

    // Types 'text' at the end of the document as a person would, key by key ('\n' as Return).
    // Fails, with the refusal's message, when the first key was refused.
    Outcome typeAtEnd(const QString &text);

    // Asks the guard whether a write-protected file may be changed; true when it may.
    bool prepareEdit();

signals:
    void editRefused(const QString &message);
    void annotateRequested(int line);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    bool isEditingKey(QKeyEvent *event) const;
    Outcome load(const QString &file);

    EditGuard m_editGuard;
    QString m_file;
    bool m_crlf = false;
    bool m_writeProtected = false;
    bool m_undecodable = false;
    Outcome m_lastRefusal;
};

} // namespace Workbench
