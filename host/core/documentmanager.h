#pragma once

#include <QObject>

#include <functional>

namespace Core {

// The IDE's open documents as seen by commands that work on files: before a command reads
// the files at or below a path, the unsaved changes there are saved; before one replaces
// them, the user is asked whether the unsaved changes there may be thrown away. The host
// does the work through handlers; where it sets none, nothing is unsaved. One object, made
// by the host before the plugins load, holds the handlers.
class DocumentManager : public QObject
{
    Q_OBJECT
public:
    explicit DocumentManager(QObject *parent = nullptr);
    ~DocumentManager() override;
    static DocumentManager *instance();

    // 'path' is a file or a directory. A save handler returns false, with the reason in
    // 'errorMessage', when a document could not be saved.
    using SaveHandler = std::function<bool(const QString &path, QString *errorMessage)>;
    // A discard handler returns false when the user keeps the changes; otherwise the
    // documents show the disk's content again.
    using DiscardHandler = std::function<bool(const QString &path)>;
    static void setSaveHandler(SaveHandler handler);
    static void setDiscardHandler(DiscardHandler handler);

    // Saves the unsaved changes of the documents at or below 'path'; false, saying why in
    // 'errorMessage', when one of them could not be saved.
    static bool saveModifiedDocuments(const QString &path, QString *errorMessage = nullptr);
    // True when nothing at or below 'path' has unsaved changes, or the user agreed to throw
    // them away (the documents then show the disk's content); false when the user declined.
    static bool discardModifiedDocuments(const QString &path);

private:
    SaveHandler m_saveHandler;
    DiscardHandler m_discardHandler;
};

} // namespace Core
