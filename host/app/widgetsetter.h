#pragma once

#include "outcome.h"

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

namespace Workbench {

// Sets the widget named 'name' below 'root' to 'value' as a person filling in a form would:
// line edits and path choosers take the text, spin boxes a number within their range,
// check boxes true/false, combo boxes one of their entries, lists of checkable items the
// comma-separated texts of the items to check (the others are unchecked). Fails, saying why,
// for an unknown name, a disabled widget, a value the widget does not take (an item the list
// does not hold), or a kind of widget that cannot be set.
Outcome setWidgetValue(QWidget *root, const QString &name, const QString &value);

} // namespace Workbench
