#pragma once

#include "id.h"

#include <QIcon>
#include <QObject>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

namespace Core {

// A page of the host's options dialog. The dialog lists the pages by category, creates
// a page's widget with createPage(), and calls apply() and finish() when it closes.
class IOptionsPage : public QObject
{
    Q_OBJECT
public:
    explicit IOptionsPage(QObject *parent = nullptr) : QObject(parent) {}
    ~IOptionsPage() override = default;

    Id id() const { return m_id; }
    QString displayName() const { return m_displayName; }
    Id category() const { return m_category; }
    QString displayCategory() const { return m_displayCategory; }

    void setId(Id id) { m_id = id; }
    void setDisplayName(const QString &name) { m_displayName = name; }
    void setCategory(Id category) { m_category = category; }
    void setDisplayCategory(const QString &name) { m_displayCategory = name; }

    // Whether the filter word 'searchKeyWord' finds this page.
    virtual bool matches(const QString &searchKeyWord) const
    {
        return m_displayName.contains(searchKeyWord, Qt::CaseInsensitive);
    }
    virtual QWidget *createPage(QWidget *parent) = 0;
    virtual void apply() = 0;
    virtual void finish() = 0;

private:
    Id m_id;
    Id m_category;
    QString m_displayName;
    QString m_displayCategory;
};

} // namespace Core
