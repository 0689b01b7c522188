#include "widgetsetter.h"

#include <utils/pathchooser.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>

#include <algorithm>

namespace Workbench {

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("Workbench::WidgetSetter", text);
}

// Replaces the text as typing would, so that the widget's validator and its textEdited()
// followers see a person's edit.
Outcome typeInto(QLineEdit *edit, const QString &name, const QString &value)
{
    if (edit->isReadOnly())
        return Outcome::failure(tr("the field %1 is read-only").arg(name));
    edit->selectAll();
    if (value.isEmpty())
        edit->del();
    else
        edit->insert(value);
    if (edit->text() != value)
        return Outcome::failure(tr("the field %1 does not take \"%2\"").arg(name, value));
    return Outcome::success();
}

// Checks the items of a list whose texts 'value' names, separated by commas, and unchecks the
// others; only checkable items count.
Outcome checkItems(QAbstractItemView *view, const QString &name, const QString &value)
{
    QAbstractItemModel *model = view->model();
    QList<QModelIndex> checkable;
    for (int row = 0; model && row < model->rowCount(view->rootIndex()); ++row) {
        const QModelIndex index = model->index(row, 0, view->rootIndex());
        if (model->flags(index) & Qt::ItemIsUserCheckable)
            checkable << index;
    }
    if (checkable.isEmpty())
        return Outcome::failure(tr("the field %1 has no items to check").arg(name));
    QStringList wanted;
    for (const QString &word : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (!word.trimmed().isEmpty())
            wanted << word.trimmed();
    }
    for (const QString &text : qAsConst(wanted)) {
        const bool known = std::any_of(checkable.cbegin(), checkable.cend(),
                                       [&](const QModelIndex &index) {
                                           return index.data().toString() == text;
                                       });
        if (!known)
            return Outcome::failure(tr("the field %1 has no item \"%2\"").arg(name, text));
    }
    for (const QModelIndex &index : qAsConst(checkable)) {
        const bool on = wanted.contains(index.data().toString());
        model->setData(index, on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    }
    return Outcome::success();
}
} // namespace

Outcome setWidgetValue(QWidget *root, const QString &name, const QString &value)
{
    QWidget *widget = nullptr;
    if (root->objectName() == name)
        widget = root;
    else
        widget = root->findChild<QWidget *>(name);
    if (!widget)
        return Outcome::failure(tr("there is no field named %1").arg(name));
    if (widget != root && !widget->isEnabledTo(root))
        return Outcome::failure(tr("the field %1 is disabled").arg(name));

    if (auto chooser = qobject_cast<Utils::PathChooser *>(widget))
        return typeInto(chooser->lineEdit(), name, value);
    if (auto edit = qobject_cast<QLineEdit *>(widget))
        return typeInto(edit, name, value);
    if (auto spin = qobject_cast<QSpinBox *>(widget)) {
        bool ok = false;
        const int number = value.trimmed().toInt(&ok);
        if (!ok)
            return Outcome::failure(
                tr("the field %1 takes a whole number, not \"%2\"").arg(name, value));
        if (number < spin->minimum() || number > spin->maximum()) {
            return Outcome::failure(tr("the field %1 takes a number from %2 to %3, not %4")
                                        .arg(name)
                                        .arg(spin->minimum())
                                        .arg(spin->maximum())
                                        .arg(number));
        }
        spin->setValue(number);
        return Outcome::success();
    }
    if (auto check = qobject_cast<QCheckBox *>(widget)) {
        const QString v = value.trimmed().toLower();
        if (v == QLatin1String("true") || v == QLatin1String("1") || v == QLatin1String("yes") ||
            v == QLatin1String("on")) {
            check->setChecked(true);
        } else if (v == QLatin1String("false") || v == QLatin1String("0") ||
                   v == QLatin1String("no") || v == QLatin1String("off")) {
            check->setChecked(false);
        } else {
            return Outcome::failure(
                tr("the field %1 takes true or false, not \"%2\"").arg(name, value));
        }
        return Outcome::success();
    }
    if (auto combo = qobject_cast<QComboBox *>(widget)) {
        const int index = combo->findText(value);
        if (index >= 0) {
            combo->setCurrentIndex(index);
        } else if (combo->isEditable()) {
            combo->setEditText(value);
        } else {
            return Outcome::failure(tr("the field %1 has no entry \"%2\"").arg(name, value));
        }
        return Outcome::success();
    }
    if (auto view = qobject_cast<QAbstractItemView *>(widget))
        return checkItems(view, name, value);
    if (auto text = qobject_cast<QPlainTextEdit *>(widget)) {
        if (text->isReadOnly())
            return Outcome::failure(tr("the field %1 is read-only").arg(name));
        text->setPlainText(value);
        return Outcome::success();
    }
    return Outcome::failure(tr("the field %1 is a %2, which cannot be set from a script")
                                .arg(name, QString::fromLatin1(widget->metaObject()->className())));
}

} // namespace Workbench
