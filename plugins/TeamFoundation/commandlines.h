#pragma once

#include "teamfoundationsettings.h"

#include <QProcessEnvironment>
#include <QStringList>

QT_BEGIN_NAMESPACE
class QTextCodec;
QT_END_NAMESPACE

namespace TeamFoundation {
namespace Internal {

// The command lines of both kinds of client, in one place: for each command the arguments
// that follow the executable (the runner appends the login after them), the environment a
// run needs and how to read what the client prints. tf.exe takes options with "/" and shows
// dialogs of its own; the cross-platform client takes options only with "-" (a "/x" word is a
// path to it), has no dialogs and no "/prompt" or "/format", and runs TF_DIFF_COMMAND to
// compare. Local paths get the host system's separators; server paths ("$/...") keep "/".
// Every command of the cross-platform client but the licence's carries "-noprompt", so that a
// server that wants an interactive sign-in fails with a message instead of waiting for a
// browser or a console nobody sees.
namespace CommandLines {

QStringList add(ClientKind kind, const QString &file);
QStringList remove(ClientKind kind, const QString &file);
QStringList rename(ClientKind kind, const QString &from, const QString &to);
QStringList checkout(ClientKind kind, const QString &file);
QStringList annotate(ClientKind kind, const QString &file);
// 'comment' is used where the plugin asks for it (asksForCheckInComment()); a blank one
// is left out.
QStringList checkIn(ClientKind kind, const QString &path, bool recursive,
                    const QString &comment = QString());
// A check-in of exactly 'items' (local paths, or server paths of items without one).
QStringList checkInItems(ClientKind kind, const QStringList &items, const QString &comment);
QStringList difference(ClientKind kind, const QString &path, bool recursive);
QStringList get(ClientKind kind, const QString &path, bool recursive);
QStringList history(ClientKind kind, const QString &path, bool recursive);
QStringList undo(ClientKind kind, const QString &path, bool recursive);
QStringList undoItems(ClientKind kind, const QStringList &items);
QStringList info(ClientKind kind, const QString &path);
// The pending changes at and below 'path', candidates included, as XML.
QStringList status(ClientKind kind, const QString &path);

// The jobs of a checkout. An empty collection or workspace is left out.
QStringList newWorkspace(ClientKind kind, const QString &name, const QString &collection);
QStringList mapFolder(ClientKind kind, const QString &serverPath, const QString &localPath,
                      const QString &collection, const QString &workspace);
QStringList getFolder(ClientKind kind, const QString &directory);
// The person's workspaces on this computer in 'collection', as XML.
QStringList workspaces(ClientKind kind, const QString &collection);
// Whether what workspaces() printed (XML, maybe after a line of text) holds the workspace
// 'name' of 'computer'; names are compared as the server does, ignoring case.
bool listsWorkspace(const QString &output, const QString &name, const QString &computer);
// The name of the workspace a checkout makes when none is given: the computer's, as tf.exe
// names its own default workspace.
QString defaultWorkspaceName();
// This computer's name as the clients record it with a workspace: the host name without its
// domain.
QString computerName();

// The client's licence. Only the cross-platform client asks for it to be accepted before it
// contacts a server.
bool needsLicence(ClientKind kind);
// Prints the licence text, pages it and asks whether it is accepted; an empty input answers no.
QStringList licence(ClientKind kind);
QStringList acceptLicence(ClientKind kind);
// The licence text in what licence() printed without a terminal: without the pager's prompts
// and the closing question.
QString licenceText(const QString &output);
// Whether a run of acceptLicence() left the licence accepted (also when it was already).
bool licenceAccepted(int exitCode, const QString &stdErr);
// Whether the client's own record, in the profile folder it runs with in 'environment'
// (TEE_PROFILE_DIRECTORY, else the user's), says that its licence was not accepted, nor is
// it accepted by a Java option. False when it cannot tell.
bool licenceRecordedAsNotAccepted(ClientKind kind, const QProcessEnvironment &environment);
// Whether a run of 'command' (its first argument) carries the login: not the licence's, which
// contacts no server.
bool sendsLogin(const QString &command);

// What a run that did not succeed says about why, from its exit code and standard error, in
// the words of the real clients: that the path is in no workspace (an answer, not a fault),
// that the client's licence was not accepted yet, or anything else.
enum class Failure { None, NotInWorkspace, LicenceNotAccepted, Other };
Failure failureOf(int exitCode, const QString &stdErr);
// Whether 'command' (its first argument) may partly succeed: exit code 1 when it changed some
// files and listed on its standard error those it could not change.
bool mayPartlySucceed(const QString &command);

// The login argument, in one substitution so that a "%2" in the user name stays as it is;
// empty unless both the user name and the password are set.
QString login(ClientKind kind, const QString &userName, const QString &password);

// Whether 'command' (the first argument) can change what is pending in a workspace: history,
// difference, annotate and the reads only look.
bool changesPendingChanges(const QString &command);

// tf.exe asks for the check-in comment in its own dialog; for the other the plugin asks.
bool asksForCheckInComment(ClientKind kind);
// tf.exe shows differences in a window of its own; the other prints them.
bool printsDifferences(ClientKind kind);
// Whether the command opens a dialog of the client's own that a person answers (tf.exe with
// "/prompt", the Power Tools' annotation window): it takes as long as the person does, and it
// must be started with its command line, since commands read through "@" show no dialog.
bool asksInItsOwnDialog(ClientKind kind, const QStringList &arguments);

// The environment of a run of 'command' (its first argument), built on 'system': empty,
// meaning the host's own unchanged, for tf.exe; for the cross-platform client the Java
// options that make it answer in English and UTF-8, and for "difference" a compare tool that
// prints a unified diff unless the user chose one.
QProcessEnvironment environment(ClientKind kind, const QString &command,
                                const QProcessEnvironment &system);

// How to decode what the client prints: tf.exe on Windows writes in the console's code page
// when its output is redirected; everything else writes UTF-8.
QTextCodec *outputCodec(ClientKind kind, bool windowsHost, int consoleCodePage);
// The code page of the IDE's console, or the system's OEM code page when it has none;
// 0 on other systems.
int consoleCodePage();

// The reads of the History, diff and annotate views. They run without a person answering:
// the cross-platform client's history as XML, tf.exe's as its detailed text (it has no XML
// history), each newest first, at most 'count' changesets older than 'olderThan' (0: from
// the newest; a count of 0: all). 'followRenames' follows a file across renames (item mode),
// naming it in each changeset as it was named then.
QStringList historyRead(ClientKind kind, const QString &path, bool recursive, int olderThan,
                        int count, bool followRenames);
// A line of a command file that reads the content of 'serverItem' at 'changeset': printed
// (cross-platform) or written to 'outputFile' (tf.exe, which cannot separate the outputs of
// the lines of a command file).
QStringList printVersion(ClientKind kind, const QString &serverItem, int changeset,
                         const QString &outputFile);
// Gets the version of 'changeset' of a file or, with 'recursive', a folder.
QStringList getVersion(ClientKind kind, const QString &path, bool recursive, int changeset);

} // namespace CommandLines
} // namespace Internal
} // namespace TeamFoundation
