#pragma once

#include <QWidget>

QT_BEGIN_NAMESPACE
class QLineEdit;
class QPushButton;
QT_END_NAMESPACE

namespace Utils {

// A line edit for a path with a browse button; it tells whether the path is valid for
// the kind of path expected.
class PathChooser : public QWidget
{
    Q_OBJECT
public:
    enum Kind { ExistingDirectory, Directory, File, SaveFile, ExistingCommand, Command, Any };

    explicit PathChooser(QWidget *parent = nullptr);

    void setExpectedKind(Kind kind);
    Kind expectedKind() const { return m_kind; }
    void setPromptDialogTitle(const QString &title);
    QString promptDialogTitle() const { return m_promptDialogTitle; }

    // The path as entered, with leading and trailing blanks removed and '~' expanded.
    QString path() const;
    // The text exactly as entered.
    QString rawPath() const;
    bool isValid() const;
    QString errorMessage() const;
    QLineEdit *lineEdit() const { return m_lineEdit; }

public slots:
    void setPath(const QString &path);

signals:
    void changed(const QString &text);
    void validChanged(bool valid);

private:
    void browse();
    void updateValidity();

    QLineEdit *m_lineEdit;
    QPushButton *m_browseButton;
    Kind m_kind = ExistingDirectory;
    QString m_promptDialogTitle;
    bool m_valid = false;
};

} // namespace Utils
