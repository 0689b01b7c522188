#include "locationservice.h"

namespace TfServer {

namespace {

struct ServiceDefinition
{
    const char *type;
    const char *identifier;
    QString (LocationService::*path)() const;
};

// Only the oldest version-control interface is offered: with it the client
// sends every call to one endpoint in one namespace, for server workspaces.
const ServiceDefinition services[] = {
    {"LocationService", "bf9cf1d0-24ac-4d35-aeca-6cd18c69c1fe", &LocationService::locationPath},
    {"ISCCProvider", "b2b178f5-bef9-460d-a5cf-35bcc0281cc4", &LocationService::repositoryPath},
    {"Download", "29b91065-1314-41d5-ab70-0bfa9896a51d", &LocationService::downloadPath},
    {"Upload", "1c04c122-7ad1-4f02-87ba-979b9d278bee", &LocationService::uploadPath},
    {"WorkitemService", "179b6a0b-a5be-43fc-879f-cfa2a43cd3d8", &LocationService::workItemPath},
};

const char accessMapping[] = "PublicAccessMapping";

} // namespace

LocationService::LocationService(const QString &collectionUrl, const QUuid &instanceId)
    : m_collectionUrl(collectionUrl), m_instanceId(instanceId)
{
}

QByteArray LocationService::registration(const SoapCall &call) const
{
    if (call.name != "GetRegistrationEntries")
        senderFault(QString("The registration service has no operation %1.").arg(call.name));
    const QString instance = m_instanceId.toString(QUuid::WithoutBraces);
    return soapResponse(call.name, Namespaces::registration, [&](QXmlStreamWriter &w) {
        w.writeStartElement("GetRegistrationEntriesResult");
        w.writeStartElement("RegistrationEntry");
        w.writeTextElement("Type", "Framework");
        w.writeStartElement("ServiceInterfaces");
        w.writeStartElement("ServiceInterface");
        w.writeTextElement("Name", "LocationService");
        w.writeTextElement("Url", m_collectionUrl + '/' + locationPath());
        w.writeEndElement();
        w.writeEndElement();
        w.writeEndElement();
        // With the instance the client keeps the registration on disk and
        // does not ask for it again on every command.
        w.writeStartElement("RegistrationEntry");
        w.writeTextElement("Type", "vstfs");
        w.writeEmptyElement("ServiceInterfaces");
        w.writeStartElement("RegistrationExtendedAttributes");
        w.writeStartElement("RegistrationExtendedAttribute2");
        w.writeTextElement("Name", "InstanceId");
        w.writeTextElement("Value", instance);
        w.writeEndElement();
        w.writeEndElement();
        w.writeEndElement();
        w.writeEndElement();
    });
}

QByteArray LocationService::location(const SoapCall &call, const Identity &identity) const
{
    if (call.name == "Connect") {
        return soapResponse(call.name, Namespaces::location, [&](QXmlStreamWriter &w) {
            w.writeStartElement("ConnectResult");
            w.writeAttribute("InstanceId", m_instanceId.toString(QUuid::WithoutBraces));
            w.writeAttribute("CatalogResourceId", QUuid().toString(QUuid::WithoutBraces));
            w.writeAttribute("ServerCapabilities", "0");
            writeIdentity(w, "AuthenticatedUser", identity);
            writeIdentity(w, "AuthorizedUser", identity);
            writeLocationData(w, "LocationServiceData");
            w.writeEndElement();
        });
    }
    if (call.name == "QueryServices") {
        return soapResponse(call.name, Namespaces::location, [&](QXmlStreamWriter &w) {
            writeLocationData(w, "QueryServicesResult");
        });
    }
    senderFault(QString("The location service has no operation %1.").arg(call.name));
}

void LocationService::writeLocationData(QXmlStreamWriter &w, const QString &element) const
{
    w.writeStartElement(element);
    // The client replaces its stored moniker with whatever comes back, and
    // needs at least one access mapping to place itself.
    w.writeAttribute("DefaultAccessMappingMoniker", accessMapping);
    w.writeAttribute("LastChangeId", "1");
    w.writeAttribute("ClientCacheFresh", "false");
    w.writeAttribute("AccessPointsDoNotIncludeWebAppRelativeDirectory", "true");
    w.writeStartElement("ServiceDefinitions");
    for (const ServiceDefinition &s : services) {
        w.writeStartElement("ServiceDefinition");
        w.writeAttribute("serviceType", s.type);
        w.writeAttribute("identifier", s.identifier);
        w.writeAttribute("displayName", s.type);
        w.writeAttribute("relativeToSetting", "3"); // fully qualified
        w.writeAttribute("relativePath", '/' + (this->*s.path)());
        w.writeAttribute("toolId", "vstfs");
        w.writeStartElement("LocationMappings");
        w.writeEmptyElement("LocationMapping");
        w.writeAttribute("accessMappingMoniker", accessMapping);
        w.writeAttribute("location", m_collectionUrl + '/' + (this->*s.path)());
        w.writeEndElement();
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeStartElement("AccessMappings");
    w.writeEmptyElement("AccessMapping");
    w.writeAttribute("DisplayName", "Public");
    w.writeAttribute("Moniker", accessMapping);
    w.writeAttribute("AccessPoint", m_collectionUrl);
    w.writeEndElement();
    w.writeEndElement();
}

void LocationService::writeIdentity(QXmlStreamWriter &w, const QString &element,
                                    const Identity &identity) const
{
    // The client names the owner of everything it does "Domain\Account";
    // without a domain it is the account alone, as the store knows the user.
    const QUuid id = QUuid::createUuidV5(m_instanceId, identity.account.toLower());
    w.writeStartElement(element);
    w.writeAttribute("DisplayName", identity.account);
    w.writeAttribute("IsContainer", "false");
    w.writeAttribute("IsActive", "true");
    w.writeAttribute("TeamFoundationId", id.toString(QUuid::WithoutBraces));
    w.writeAttribute("UniqueName", identity.account);
    w.writeAttribute("UniqueUserId", "0");
    w.writeStartElement("Attributes");
    w.writeStartElement("KeyValueOfStringString");
    w.writeTextElement("Key", "Account");
    w.writeTextElement("Value", identity.account);
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndElement();
}

} // namespace TfServer
