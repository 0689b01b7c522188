#include "documentmanager.h"

namespace Core {

static DocumentManager *m_instance = nullptr;

DocumentManager::DocumentManager(QObject *parent) : QObject(parent)
{
    m_instance = this;
}

DocumentManager::~DocumentManager()
{
    if (m_instance == this)
        m_instance = nullptr;
}

DocumentManager *DocumentManager::instance()
{
    return m_instance;
}

void DocumentManager::setSaveHandler(SaveHandler handler)
{
    if (m_instance)
        m_instance->m_saveHandler = std::move(handler);
}

void DocumentManager::setDiscardHandler(DiscardHandler handler)
{
    if (m_instance)
        m_instance->m_discardHandler = std::move(handler);
}

bool DocumentManager::saveModifiedDocuments(const QString &path, QString *errorMessage)
{
    if (!m_instance || !m_instance->m_saveHandler)
        return true;
    QString error;
    const bool ok = m_instance->m_saveHandler(path, &error);
    if (errorMessage)
        *errorMessage = error;
    return ok;
}

bool DocumentManager::discardModifiedDocuments(const QString &path)
{
    if (!m_instance || !m_instance->m_discardHandler)
        return true;
    return m_instance->m_discardHandler(path);
}

} // namespace Core
