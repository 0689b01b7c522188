#include "editorwidget.h"
#include "fileoperations.h"
#include "fixedfont.h"

#include <utils/lineends.h>

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QKeyEvent>
#include <QMenu>
#include <QSaveFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCodec>

namespace Workbench {

namespace {
// Larger files are not text a person edits here; reading them would only stall the window.
const qint64 maximumFileSize = 32 * 1024 * 1024;
} // namespace

EditorWidget::EditorWidget(QWidget *parent)
    : QPlainTextEdit(parent), m_watcher(new QFileSystemWatcher(this))
{
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &EditorWidget::fileChanged);
    setObjectName(QStringLiteral("editor"));
    setFont(fixedPitchFont());
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setReadOnly(true);
}

bool EditorWidget::isModified() const
{
    return hasFile() && document()->isModified();
}

int EditorWidget::currentLine() const
{
    return textCursor().blockNumber() + 1;
}

Outcome EditorWidget::load(const QString &file)
{
    QFile in(file);
    const QFileInfo info(file);
    if (!info.isFile())
        return Outcome::failure(
            tr("%1 is not an existing file.").arg(QDir::toNativeSeparators(file)));
    if (info.size() > maximumFileSize) {
        return Outcome::failure(tr("%1 is larger than %2 MB and is not opened.")
                                    .arg(QDir::toNativeSeparators(file))
                                    .arg(maximumFileSize / (1024 * 1024)));
    }
    if (!in.open(QIODevice::ReadOnly)) {
        return Outcome::failure(
            tr("%1 could not be read: %2").arg(QDir::toNativeSeparators(file), in.errorString()));
    }
    const QByteArray bytes = in.readAll();
    QTextCodec::ConverterState state;
    QString text =
        QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    // Saving text that did not decode would corrupt the file, so such a file is only shown.
    m_undecodable = state.invalidChars > 0 || bytes.contains('\0');
    m_crlf = text.contains(QLatin1String("\r\n"));
    if (m_crlf)
        Utils::dropCarriageReturns(&text);
    // A refusal was about the file it was shown for.
    if (m_file != info.absoluteFilePath())
        allowEditAttempt();
    m_file = info.absoluteFilePath();
    watch(m_file);
    m_writeProtected = !FileOperations::isWritableFile(m_file);
    setPlainText(text);
    document()->setModified(false);
    setReadOnly(m_writeProtected || m_undecodable);
    return Outcome::success();
}

Outcome EditorWidget::openFile(const QString &file)
{
    return load(file);
}

Outcome EditorWidget::reload()
{
    if (!hasFile())
        return Outcome::success();
    if (isModified()) {
        return Outcome::failure(tr("%1 changed on disk; your unsaved changes are kept.")
                                    .arg(QDir::toNativeSeparators(m_file)));
    }
    const int position = textCursor().position();
    const int scroll = verticalScrollBar()->value();
    const QString file = m_file;
    const Outcome outcome = load(file);
    if (!outcome.ok)
        return outcome;
    QTextCursor cursor(document());
    cursor.setPosition(qBound(0, position, document()->characterCount() - 1));
    setTextCursor(cursor);
    verticalScrollBar()->setValue(scroll);
    return Outcome::success();
}

Outcome EditorWidget::revert()
{
    document()->setModified(false);
    return reload();
}

void EditorWidget::watch(const QString &file)
{
    // Watched anew each time: replacing the file (as saving does) ends the watch on it.
    if (!m_watcher->files().isEmpty())
        m_watcher->removePaths(m_watcher->files());
    if (!file.isEmpty() && QFileInfo::exists(file))
        m_watcher->addPath(file);
}

void EditorWidget::fileChanged()
{
    if (!hasFile())
        return;
    watch(m_file);
    // A file that is gone leaves the buffer as it is, to be saved again or dropped.
    if (!QFileInfo(m_file).isFile())
        return;
    if (!isModified()) {
        // Reloading after our own save would only lose the undo history.
        QFile in(m_file);
        if (!in.open(QIODevice::ReadOnly) || in.readAll() != contentToSave()) {
            reload();
            emit changedOnDisk();
            return;
        }
    }
    m_writeProtected = !FileOperations::isWritableFile(m_file);
    setReadOnly(m_writeProtected || m_undecodable);
    emit changedOnDisk();
}

QByteArray EditorWidget::contentToSave() const
{
    QString text = toPlainText();
    if (m_crlf)
        text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text.toUtf8();
}

Outcome EditorWidget::save()
{
    if (!hasFile())
        return Outcome::failure(tr("No file is open."));
    if (m_undecodable) {
        return Outcome::failure(tr("%1 is not UTF-8 text and is not saved from here.")
                                    .arg(QDir::toNativeSeparators(m_file)));
    }
    // Replacing the file by a new one would get around its write protection.
    if (QFileInfo::exists(m_file) && !FileOperations::isWritableFile(m_file)) {
        return Outcome::failure(tr("%1 is read-only; your changes are kept in the editor.")
                                    .arg(QDir::toNativeSeparators(m_file)));
    }
    QSaveFile out(m_file);
    if (!out.open(QIODevice::WriteOnly)) {
        return Outcome::failure(
            tr("%1 could not be saved: %2; your changes are kept in the editor.")
                .arg(QDir::toNativeSeparators(m_file), out.errorString()));
    }
    out.write(contentToSave());
    if (!out.commit()) {
        return Outcome::failure(
            tr("%1 could not be saved: %2; your changes are kept in the editor.")
                .arg(QDir::toNativeSeparators(m_file), out.errorString()));
    }
    document()->setModified(false);
    return Outcome::success();
}

void EditorWidget::closeFile()
{
    allowEditAttempt();
    m_file.clear();
    watch(QString());
    m_writeProtected = false;
    m_undecodable = false;
    m_crlf = false;
    clear();
    document()->setModified(false);
    setReadOnly(true);
}

void EditorWidget::allowEditAttempt()
{
    if (!m_refusedUntilRetry)
        return;
    m_refusedUntilRetry = false;
    emit editRefusalChanged();
}

bool EditorWidget::retryEdit()
{
    allowEditAttempt();
    return prepareEdit();
}

bool EditorWidget::prepareEdit()
{
    m_lastRefusal = Outcome::success();
    if (m_refusedUntilRetry && hasFile() && QFileInfo::exists(m_file) &&
        !FileOperations::isWritableFile(m_file)) {
        // Said once already; asking again at every key would only start the same failure.
        m_lastRefusal = m_refusal;
        return false;
    }
    if (!hasFile()) {
        m_lastRefusal = Outcome::failure(tr("No file is open."));
    } else if (m_undecodable) {
        m_lastRefusal = Outcome::failure(tr("%1 is not UTF-8 text and cannot be edited here.")
                                             .arg(QDir::toNativeSeparators(m_file)));
    } else {
        // What the disk says now, not what it said on load: a check-in or an undo protects
        // the file again.
        m_writeProtected = QFileInfo::exists(m_file) && !FileOperations::isWritableFile(m_file);
        if (m_writeProtected) {
            const Outcome guard =
                m_editGuard ? m_editGuard(m_file)
                            : Outcome::failure(
                                  tr("%1 is read-only.").arg(QDir::toNativeSeparators(m_file)));
            if (guard.ok) {
                // Opening for editing may have brought a newer version; edit that one.
                if (!isModified())
                    reload();
                m_writeProtected = false;
            } else {
                m_lastRefusal = guard;
                m_refusal = guard;
                if (!m_refusedUntilRetry) {
                    m_refusedUntilRetry = true;
                    emit editRefusalChanged();
                }
            }
        }
        setReadOnly(m_writeProtected);
    }
    if (!m_lastRefusal.ok) {
        emit editRefused(m_lastRefusal.message);
        return false;
    }
    return true;
}

bool EditorWidget::isFirstEdit() const
{
    return hasFile() && (isReadOnly() || !document()->isModified());
}

bool EditorWidget::isEditingKey(QKeyEvent *event) const
{
    static const QKeySequence::StandardKey editing[] = {QKeySequence::Paste,
                                                        QKeySequence::Cut,
                                                        QKeySequence::Undo,
                                                        QKeySequence::Redo,
                                                        QKeySequence::Delete,
                                                        QKeySequence::Backspace,
                                                        QKeySequence::DeleteEndOfWord,
                                                        QKeySequence::DeleteStartOfWord,
                                                        QKeySequence::DeleteEndOfLine,
                                                        QKeySequence::InsertParagraphSeparator,
                                                        QKeySequence::InsertLineSeparator};
    for (QKeySequence::StandardKey key : editing) {
        if (event->matches(key))
            return true;
    }
    switch (event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
        return true;
    default:
        break;
    }
    if (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
        return false;
    const QString text = event->text();
    return !text.isEmpty() && text.at(0).isPrint();
}

void EditorWidget::keyPressEvent(QKeyEvent *event)
{
    if (isFirstEdit() && isEditingKey(event)) {
        if (!prepareEdit()) {
            event->accept();
            return;
        }
    }
    m_lastRefusal = Outcome::success();
    QPlainTextEdit::keyPressEvent(event);
}

void EditorWidget::inputMethodEvent(QInputMethodEvent *event)
{
    if (isFirstEdit() && !event->commitString().isEmpty() && !prepareEdit()) {
        event->accept();
        return;
    }
    QPlainTextEdit::inputMethodEvent(event);
}

void EditorWidget::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu(event->pos());
    if (hasFile()) {
        menu->addSeparator();
        if (m_writeProtected && !m_undecodable) {
            QAction *open = menu->addAction(tr("Open for Editing"));
            connect(open, &QAction::triggered, this, [this] { retryEdit(); });
        }
        const int line = cursorForPosition(event->pos()).blockNumber() + 1;
        QAction *annotate = menu->addAction(tr("Annotate Line %1").arg(line));
        connect(annotate, &QAction::triggered, this,
                [this, line] { emit annotateRequested(line); });
    }
    menu->exec(event->globalPos());
    delete menu;
}

Outcome EditorWidget::typeAtEnd(const QString &text)
{
    moveCursor(QTextCursor::End);
    // Every key is typed, as a person's burst of keys arrives whatever became of the first.
    Outcome refusal;
    for (const QChar c : text) {
        int key = c.unicode();
        QString keyText(c);
        if (c == QLatin1Char('\n')) {
            key = Qt::Key_Return;
            keyText = QStringLiteral("\r");
        } else if (c == QLatin1Char('\t')) {
            key = Qt::Key_Tab;
        } else if (c.isLetter()) {
            key = c.toUpper().unicode();
        }
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, keyText);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, keyText);
        QCoreApplication::sendEvent(this, &press);
        QCoreApplication::sendEvent(this, &release);
        if (!m_lastRefusal.ok && refusal.ok)
            refusal = m_lastRefusal;
    }
    return refusal;
}

} // namespace Workbench
