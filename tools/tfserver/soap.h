#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QDomDocument>
#include <QDomElement>
#include <QString>
#include <QVector>
#include <QXmlStreamWriter>

#include <functional>

namespace TfServer {

namespace Namespaces {
constexpr char soapEnvelope[] = "http://www.w3.org/2003/05/soap-envelope";
constexpr char xsi[] = "http://www.w3.org/2001/XMLSchema-instance";
constexpr char registration[] =
    "http://schemas.microsoft.com/TeamFoundation/2005/06/Services/Registration/03";
constexpr char location[] = "http://microsoft.com/webservices/";
constexpr char versionControl[] =
    "http://schemas.microsoft.com/TeamFoundation/2005/06/VersionControl/ClientServices/03";
} // namespace Namespaces

// A refusal of a whole call. The client prints its text after "An error
// occurred: " and exits 100; a Sender fault blames the request, a Receiver
// fault the server.
struct Fault
{
    enum Code { Sender, Receiver };
    Code code;
    QString text;
};

[[noreturn]] void senderFault(const QString &text);
[[noreturn]] void receiverFault(const QString &text);

// One parsed call: the operation is the first element in the envelope's body.
struct SoapCall
{
    QDomDocument document;
    QDomElement operation;
    QString name;
};

// Throws a Sender fault for anything that is not a SOAP 1.2 envelope with an
// operation in its body.
SoapCall parseSoapCall(const QByteArray &body);

// <OpResponse xmlns=NS>...</OpResponse> in an envelope; `writeContent` writes
// what goes inside the response element.
QByteArray soapResponse(const QString &operation, const QString &serviceNamespace,
                        const std::function<void(QXmlStreamWriter &)> &writeContent);

// The client's fault reader looks elements up by their literal "soap:" names
// and needs xml:lang on the text: anything else reaches the person as silence.
QByteArray soapFault(const Fault &fault);

// Reading request elements. The client's own readers compare names without
// regard to case; so do these.
QDomElement childElement(const QDomElement &parent, const QString &name);
QVector<QDomElement> childElements(const QDomElement &parent);
QString childText(const QDomElement &parent, const QString &name);
QString attributeValue(const QDomElement &element, const QString &name);
bool childBool(const QDomElement &parent, const QString &name);
int childInt(const QDomElement &parent, const QString &name, int fallback = 0);
QString typeOf(const QDomElement &element); // xsi:type without a prefix

// Dates as the client reads them: UTC with milliseconds.
QString xmlDate(const QDateTime &date);
QDateTime parseXmlDate(const QString &text);

} // namespace TfServer
