#pragma once

#include "id.h"

#include <QIcon>
#include <QObject>
#include <QVariantMap>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

namespace Core {

// An entry of the host's new-project dialog.
class IWizard : public QObject
{
    Q_OBJECT
public:
    enum WizardKind { FileWizard = 0x01, ClassWizard = 0x02, ProjectWizard = 0x04 };

    explicit IWizard(QObject *parent = nullptr) : QObject(parent) {}
    ~IWizard() override = default;

    Id id() const { return m_id; }
    WizardKind kind() const { return m_kind; }
    QIcon icon() const { return m_icon; }
    QString description() const { return m_description; }
    QString displayName() const { return m_displayName; }
    QString category() const { return m_category; }
    QString displayCategory() const { return m_displayCategory; }

    void setId(Id id) { m_id = id; }
    void setWizardKind(WizardKind kind) { m_kind = kind; }
    void setIcon(const QIcon &icon) { m_icon = icon; }
    void setDescription(const QString &description) { m_description = description; }
    void setDisplayName(const QString &name) { m_displayName = name; }
    void setCategory(const QString &category) { m_category = category; }
    void setDisplayCategory(const QString &name) { m_displayCategory = name; }

    virtual void runWizard(const QString &path, QWidget *parent, const QVariantMap &extraValues) = 0;

private:
    Id m_id;
    WizardKind m_kind = ProjectWizard;
    QIcon m_icon;
    QString m_description;
    QString m_displayName;
    QString m_category;
    QString m_displayCategory;
};

} // namespace Core
