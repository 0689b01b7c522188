#pragma once

#include <QDialog>

QT_BEGIN_NAMESPACE
class QFormLayout;
class QPlainTextEdit;
QT_END_NAMESPACE

namespace TeamFoundation {
namespace Internal {

// Asks for the comment of a check-in, for the client that has no check-in dialog of its own.
// Shows what is checked in above the comment; rows about the changes go into that same form.
class CheckInDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CheckInDialog(const QString &path, QWidget *parent = nullptr);
    ~CheckInDialog() override;

    // As typed: line breaks, quotes and blanks included.
    QString comment() const;

private:
    QFormLayout *m_form;
    QPlainTextEdit *m_commentEdit;
};

} // namespace Internal
} // namespace TeamFoundation
