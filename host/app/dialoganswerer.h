#pragma once

#include <QImage>
#include <QObject>
#include <QPair>
#include <QString>

QT_BEGIN_NAMESPACE
class QDialog;
QT_END_NAMESPACE

namespace Workbench {

// Answers the modal dialogs that open while a script runs, since nobody else will: each
// answer armed with arm() is used, in order, by the next dialog that opens. An answer fills
// the dialog's fields by object name and accepts it, or cancels it. A dialog that opens with
// no answer armed, or that refuses to be accepted, is cancelled, and takeFailure() says so,
// so that the script line that opened it fails instead of waiting forever. Dialogs that are
// not modal (those the script drives itself) are left alone.
//
// A message box has no fields; accepting it presses its button with the accept role, else
// the one with the yes role, else the destructive one ("Discard"); cancelling presses its
// escape button.
class DialogAnswerer : public QObject
{
    Q_OBJECT
public:
    struct Answer
    {
        bool accept = true;
        QList<QPair<QString, QString>> fields; // object name, value
        int line = 0;                          // the script line that armed it
    };

    explicit DialogAnswerer(QObject *parent = nullptr);
    ~DialogAnswerer() override;

    void arm(const Answer &answer);
    const QList<Answer> &armed() const { return m_answers; }
    // What went wrong with the dialogs since the last call; empty when nothing did.
    QString takeFailure();
    // The last dialog answered since the last call, as it looked when it was answered.
    QImage takePicture();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void answer(QDialog *dialog);
    void fail(const QString &message);

    QList<Answer> m_answers;
    QString m_failure;
    QImage m_picture;
};

} // namespace Workbench
