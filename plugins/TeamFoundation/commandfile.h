#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace TeamFoundation {
namespace Internal {

// Several commands for the start-up of one client: both real clients run every line of a
// command file ("tf @", the lines on its standard input) in one process, and no line shows
// on a command line that other users can read. The cross-platform client prints the text
// given as -outputSeparator:TEXT on the outer command line after each line's output, on both
// streams, as a line of its own but without a line break before it; tf.exe has no such
// separator, so its lines write what they read to files.
namespace CommandFile {

// A separator no file content is likely to hold: made anew for each run.
QByteArray newSeparator();

// The outer option that makes the cross-platform client print 'separator' after each line.
QString separatorOption(const QByteArray &separator);

// The outputs of the lines, in order: what stands before each separator (found anywhere, not
// only at a line start) and after the line end that follows the previous one. False when
// 'output' does not hold exactly 'expected' separators, each followed by a line end, with
// nothing after the last: the output of some line is missing or cut off.
bool split(const QByteArray &output, const QByteArray &separator, int expected,
           QList<QByteArray> *parts);

} // namespace CommandFile
} // namespace Internal
} // namespace TeamFoundation
