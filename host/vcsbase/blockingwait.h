#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <vector>

QT_BEGIN_NAMESPACE
class QEvent;
class QWidget;
QT_END_NAMESPACE

namespace VcsBase {

// How the host waits on its GUI thread for what the IDE must know before it goes on (a
// version-control client checking a file out before the first edit, adding, deleting,
// renaming, answering a probe; the keychain handing out a password): the window keeps
// painting, and once the wait has lasted a moment a small window says what it waits for and
// offers Cancel (Escape does the same). Nothing that a person types or clicks meanwhile
// reaches anything else: the keys go, in their order, to the widget that had the focus when
// the wait began, once it is over (the editor gets what was typed into it); other input is
// dropped, and no command, shortcut or menu runs while the wait lasts.
class BlockingWait : public QObject
{
    Q_OBJECT
public:
    // How long a wait goes unseen: shorter ones would only flicker.
    static const int ShowAfterMs = 500;

    // 'description' names what is waited for, as the status bar names a job ("tf checkout
    // main.cpp").
    explicit BlockingWait(const QString &description, QObject *parent = nullptr);
    ~BlockingWait() override;

    // Ends the wait: what was waited for is there. Before exec(), exec() returns at once.
    void finish();
    // Runs until finish() or a cancel; false when the person cancelled. Returns at once when
    // the wait was finished or cancelled already.
    bool exec();
    bool isCancelled() const { return m_cancelled; }

    // The wait that runs now on this thread, the innermost one when they nest; null when none.
    static BlockingWait *current();

signals:
    // The person cancelled: exec() returns false, and what was waited for is to be ended.
    void cancelRequested();
    // The window saying what is waited for was shown.
    void shown();
    void ended(QPrivateSignal);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    class Window;
    void showWindow();
    void requestCancel();
    bool isInWindow(QObject *object) const;
    void replayKeys();

    QString m_description;
    bool m_finished = false;
    bool m_cancelled = false;
    bool m_running = false;
    QPointer<QWidget> m_focus;
    QPointer<Window> m_window;
    std::vector<std::unique_ptr<QEvent>> m_keys; // typed meanwhile, for m_focus
    QElapsedTimer m_elapsed;
    BlockingWait *m_outer = nullptr;
};

} // namespace VcsBase
