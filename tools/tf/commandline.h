#pragma once

#include <QString>
#include <QStringList>

namespace Tf {

// Splits one command line read by `tf @` into its words. Words are separated
// by blanks; a double quote starts or ends a quoted stretch, in which blanks
// belong to the word and a doubled quote stands for one quote, so that
// "say ""hi""" is the word say "hi" and "" is an empty word. Returns false
// when the line ends inside a quoted stretch, whose word then runs to the end
// of the line, as the clients take it.
bool splitCommandLine(const QString &line, QStringList *words);

} // namespace Tf
