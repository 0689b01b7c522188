#pragma once

#include <QProcessEnvironment>
#include <QStringList>

namespace Workbench {

// Splits one line of a workbench script into words.
//
// Blanks separate words; double quotes group (a quoted part may sit inside a word, as in
// name="John Doe"), and "" is an empty word. Inside double quotes the escapes \" \\ \n \t
// and \$ stand for their characters; any other backslash is kept as it is, so that Windows
// paths outside and inside quotes survive. ${NAME} is replaced by the environment variable
// NAME everywhere, so a script can name the directories a calling script prepared.
// A blank line or one whose first non-blank character is '#' has no words.
//
// Returns false, with 'error' set, for an unterminated quote, an unterminated ${, a bad
// variable name or an unset variable.
bool splitScriptLine(const QString &line, QStringList *words, QString *error,
                     const QProcessEnvironment &environment);

} // namespace Workbench
