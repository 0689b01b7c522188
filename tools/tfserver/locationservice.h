#pragma once

#include "soap.h"

#include <QString>
#include <QUuid>

namespace TfServer {

// Who is calling, as the services name them.
struct Identity
{
    QString account; // the user's name as the store registers it
};

// The collection's addresses and names the client learns before any version
// control call: the registration service (where the location service is),
// then the location service (where everything else is, and who you are).
class LocationService
{
public:
    // `collectionUrl` is the URL the server announces, without a trailing slash.
    LocationService(const QString &collectionUrl, const QUuid &instanceId);

    QString registrationPath() const { return "Services/v1.0/Registration.asmx"; }
    QString locationPath() const { return "Services/v3.0/LocationService.asmx"; }
    QString repositoryPath() const { return "VersionControl/v1.0/repository.asmx"; }
    QString downloadPath() const { return "VersionControl/v1.0/item.asmx"; }
    QString uploadPath() const { return "VersionControl/v1.0/upload.asmx"; }
    // Work items are not kept here; the client still wants the service to
    // exist before a check-in (which associates none) and asks it for the
    // work items of a changeset for history -format:detailed (WorkItemService).
    QString workItemPath() const { return "WorkItemTracking/v1.0/ClientService.asmx"; }

    QByteArray registration(const SoapCall &call) const;
    QByteArray location(const SoapCall &call, const Identity &identity) const;

private:
    void writeLocationData(QXmlStreamWriter &w, const QString &element) const;
    void writeIdentity(QXmlStreamWriter &w, const QString &element, const Identity &identity) const;

    QString m_collectionUrl;
    QUuid m_instanceId;
};

} // namespace TfServer
