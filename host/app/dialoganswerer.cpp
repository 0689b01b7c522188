#include "dialoganswerer.h"
#include "widgetsetter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>

namespace Workbench {

namespace {
QString nameOf(const QDialog *dialog)
{
    if (!dialog->windowTitle().isEmpty())
        return dialog->windowTitle();
    if (!dialog->objectName().isEmpty())
        return dialog->objectName();
    return QString::fromLatin1(dialog->metaObject()->className());
}

QAbstractButton *buttonWithRole(const QMessageBox *box,
                                std::initializer_list<QMessageBox::ButtonRole> roles)
{
    for (QMessageBox::ButtonRole role : roles) {
        for (QAbstractButton *button : box->buttons()) {
            if (box->buttonRole(button) == role)
                return button;
        }
    }
    return nullptr;
}

void finish(QDialog *dialog, bool accept)
{
    if (auto box = qobject_cast<QMessageBox *>(dialog)) {
        QAbstractButton *button =
            accept ? buttonWithRole(box, {QMessageBox::AcceptRole, QMessageBox::YesRole,
                                          QMessageBox::DestructiveRole})
                   : box->escapeButton();
        if (!button && !accept)
            button = buttonWithRole(box, {QMessageBox::RejectRole, QMessageBox::NoRole});
        if (button) {
            button->click();
            return;
        }
    }
    if (accept)
        dialog->accept();
    else
        dialog->reject();
}
} // namespace

DialogAnswerer::DialogAnswerer(QObject *parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

DialogAnswerer::~DialogAnswerer()
{
    qApp->removeEventFilter(this);
}

void DialogAnswerer::arm(const Answer &answer)
{
    m_answers.append(answer);
}

QString DialogAnswerer::takeFailure()
{
    QString failure;
    failure.swap(m_failure);
    return failure;
}

QImage DialogAnswerer::takePicture()
{
    QImage picture;
    picture.swap(m_picture);
    return picture;
}

void DialogAnswerer::fail(const QString &message)
{
    if (m_failure.isEmpty())
        m_failure = message;
}

bool DialogAnswerer::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show) {
        auto dialog = qobject_cast<QDialog *>(watched);
        if (dialog && dialog->isWindow() && dialog->isModal()) {
            // Answered once its own event loop runs: finishing it while it is being shown
            // would leave that loop waiting for a dialog that is gone.
            QTimer::singleShot(0, dialog, [this, dialog] { answer(dialog); });
        }
    }
    return QObject::eventFilter(watched, event);
}

void DialogAnswerer::answer(QDialog *dialog)
{
    if (!dialog->isVisible())
        return;
    if (m_answers.isEmpty()) {
        fail(tr("the dialog \"%1\" opened with no answer armed; it was cancelled "
                "(arm one with \"dialog\" before this line)")
                 .arg(nameOf(dialog)));
        finish(dialog, false);
        return;
    }
    const Answer armed = m_answers.takeFirst();
    for (const auto &field : armed.fields) {
        const Outcome set = setWidgetValue(dialog, field.first, field.second);
        if (!set.ok) {
            fail(tr("the dialog \"%1\" was cancelled: %2").arg(nameOf(dialog), set.message));
            finish(dialog, false);
            return;
        }
    }
    m_picture = dialog->grab().toImage();
    finish(dialog, armed.accept);
    // A dialog may refuse to be accepted as it is (nothing chosen); left open, nobody would
    // ever close it.
    if (dialog->isVisible()) {
        fail(tr("the dialog \"%1\" did not take the answer as it was (is its OK button "
                "disabled?); it was cancelled")
                 .arg(nameOf(dialog)));
        finish(dialog, false);
    }
}

} // namespace Workbench
