#include "blockingwait.h"

#include <QApplication>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

namespace VcsBase {

namespace {
BlockingWait *s_current = nullptr;

bool isPointerInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}
} // namespace

// What the person sees of a wait that lasts: what it waits for, for how long, and Cancel.
class BlockingWait::Window : public QWidget
{
public:
    Window(const QString &description, QWidget *parent)
        : QWidget(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint),
          m_description(description), m_label(new QLabel), m_cancel(new QPushButton(tr("Cancel")))
    {
        setObjectName(QStringLiteral("waitWindow"));
        setWindowTitle(tr("Please Wait"));
        setWindowModality(Qt::ApplicationModal);
        setAttribute(Qt::WA_DeleteOnClose, false);
        m_label->setObjectName(QStringLiteral("waitLabel"));
        m_label->setTextFormat(Qt::PlainText);
        m_label->setWordWrap(true);
        m_label->setMinimumWidth(360);
        m_cancel->setObjectName(QStringLiteral("cancelWaitButton"));
        m_cancel->setToolTip(tr("Stops waiting; what was waited for fails (Escape)"));
        auto busy = new QProgressBar;
        // The client tells nothing of its progress: the bar only moves to and fro.
        busy->setRange(0, 0);
        busy->setTextVisible(false);
        auto buttons = new QHBoxLayout;
        buttons->addStretch(1);
        buttons->addWidget(m_cancel);
        auto layout = new QVBoxLayout(this);
        layout->addWidget(m_label);
        layout->addWidget(busy);
        layout->addLayout(buttons);
    }

    QPushButton *cancelButton() const { return m_cancel; }

    void showElapsed(qint64 ms)
    {
        m_label->setText(tr("Waiting for %1 (%2 s)").arg(m_description).arg(ms / 1000));
    }

private:
    QString m_description;
    QLabel *m_label;
    QPushButton *m_cancel;
};

BlockingWait::BlockingWait(const QString &description, QObject *parent)
    : QObject(parent), m_description(description)
{
}

BlockingWait::~BlockingWait()
{
    delete m_window;
}

BlockingWait *BlockingWait::current()
{
    return s_current;
}

void BlockingWait::finish()
{
    m_finished = true;
    emit ended(QPrivateSignal());
}

void BlockingWait::requestCancel()
{
    if (m_cancelled || m_finished)
        return;
    m_cancelled = true;
    emit cancelRequested();
    emit ended(QPrivateSignal());
}

bool BlockingWait::exec()
{
    if (m_finished || m_cancelled || m_running)
        return !m_cancelled;
    m_running = true;
    const bool widgets = qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr;
    if (widgets)
        m_focus = QApplication::focusWidget();
    m_outer = s_current;
    s_current = this;
    QCoreApplication::instance()->installEventFilter(this);
    m_elapsed.start();

    QEventLoop loop;
    connect(this, &BlockingWait::ended, &loop, &QEventLoop::quit);
    QTimer show;
    show.setSingleShot(true);
    connect(&show, &QTimer::timeout, this, &BlockingWait::showWindow);
    QTimer tick;
    tick.setInterval(1000);
    connect(&tick, &QTimer::timeout, this, [this] {
        if (m_window)
            m_window->showElapsed(m_elapsed.elapsed());
    });
    if (widgets) {
        show.start(ShowAfterMs);
        tick.start();
    }
    if (!m_finished && !m_cancelled)
        loop.exec();

    QCoreApplication::instance()->removeEventFilter(this);
    s_current = m_outer;
    m_running = false;
    if (m_window) {
        m_window->hide();
        m_window->deleteLater();
        m_window = nullptr;
    }
    replayKeys();
    return !m_cancelled;
}

void BlockingWait::showWindow()
{
    if (m_window || m_finished || m_cancelled)
        return;
    m_window = new Window(m_description, QApplication::activeWindow());
    connect(m_window->cancelButton(), &QPushButton::clicked, this, &BlockingWait::requestCancel);
    m_window->showElapsed(m_elapsed.elapsed());
    m_window->show();
    m_window->activateWindow();
    emit shown();
}

bool BlockingWait::isInWindow(QObject *object) const
{
    if (!m_window || !object || !object->isWidgetType())
        return false;
    auto widget = static_cast<QWidget *>(object);
    return widget == m_window || m_window->isAncestorOf(widget);
}

void BlockingWait::replayKeys()
{
    // Posted, so that they come after whatever the waiting caller still does with the key
    // that started the wait.
    for (std::unique_ptr<QEvent> &key : m_keys) {
        if (m_focus)
            QCoreApplication::postEvent(m_focus, key.release());
    }
    m_keys.clear();
}

bool BlockingWait::eventFilter(QObject *watched, QEvent *event)
{
    // Only the innermost wait decides; an outer one sees what the inner one let through.
    if (s_current != this)
        return false;
    const QEvent::Type type = event->type();
    switch (type) {
    case QEvent::ShortcutOverride:
        // Taken as typed text, so that no shortcut fires and the key arrives as a key.
        event->accept();
        return true;
    case QEvent::Shortcut:
        return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        if (!watched->isWidgetType())
            return false;
        auto key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape) {
            if (type == QEvent::KeyPress)
                requestCancel();
            return true;
        }
        if (m_focus) {
            m_keys.push_back(std::make_unique<QKeyEvent>(
                type, key->key(), key->modifiers(), key->nativeScanCode(), key->nativeVirtualKey(),
                key->nativeModifiers(), key->text(), key->isAutoRepeat(), key->count()));
        }
        return true;
    }
    case QEvent::InputMethod:
        if (!watched->isWidgetType())
            return false;
        if (m_focus)
            m_keys.push_back(
                std::make_unique<QInputMethodEvent>(*static_cast<QInputMethodEvent *>(event)));
        return true;
    case QEvent::Close:
        if (!watched->isWidgetType())
            return false;
        if (watched == m_window)
            requestCancel();
        else
            event->ignore();
        return true;
    default:
        if (isPointerInput(type) && watched->isWidgetType())
            return !isInWindow(watched);
        return false;
    }
}

} // namespace VcsBase
