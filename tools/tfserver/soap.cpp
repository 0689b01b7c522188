#include "soap.h"

#include <QXmlStreamReader>

namespace TfServer {

namespace {
const int maxDepth = 64;
}

void senderFault(const QString &text)
{
    throw Fault{Fault::Sender, text};
}

void receiverFault(const QString &text)
{
    throw Fault{Fault::Receiver, text};
}

SoapCall parseSoapCall(const QByteArray &body)
{
    // A first reading without building anything: it refuses document type
    // declarations (a SOAP message may not have one, and refusing them keeps
    // entity expansion out) and nesting deeper than any call needs, before
    // the document is built recursively.
    QXmlStreamReader reader(body);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::DTD || token == QXmlStreamReader::EntityReference)
            senderFault("The request carries a document type declaration, which a SOAP message "
                        "may not.");
        if (token == QXmlStreamReader::StartElement && ++depth > maxDepth)
            senderFault(QString("The request nests elements deeper than %1 levels.").arg(maxDepth));
        if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    if (reader.hasError())
        senderFault(QString("The request is not well-formed XML (line %1, column %2: %3).")
                        .arg(reader.lineNumber())
                        .arg(reader.columnNumber())
                        .arg(reader.errorString()));
    SoapCall call;
    if (!call.document.setContent(body, true))
        senderFault("The request is not well-formed XML.");
    const QDomElement envelope = call.document.documentElement();
    if (envelope.localName() != "Envelope" || envelope.namespaceURI() != Namespaces::soapEnvelope)
        senderFault("The request is not a SOAP 1.2 envelope.");
    QDomElement body12;
    for (QDomElement e = envelope.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        if (e.localName() == "Body" && e.namespaceURI() == Namespaces::soapEnvelope)
            body12 = e;
    }
    if (body12.isNull())
        senderFault("The SOAP envelope has no body.");
    call.operation = body12.firstChildElement();
    if (call.operation.isNull())
        senderFault("The SOAP body names no operation.");
    call.name = call.operation.localName();
    return call;
}

// An envelope around what `writeBody` writes into its body. The fault
// reader of the client looks the elements up by their literal "soap:" names.
static QByteArray envelope(const std::function<void(QXmlStreamWriter &)> &writeBody)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.writeStartDocument();
    w.writeNamespace(Namespaces::soapEnvelope, "soap");
    w.writeNamespace(Namespaces::xsi, "xsi");
    w.writeStartElement(Namespaces::soapEnvelope, "Envelope");
    w.writeStartElement(Namespaces::soapEnvelope, "Body");
    writeBody(w);
    w.writeEndDocument(); // closes the body and the envelope
    return out;
}

QByteArray soapResponse(const QString &operation, const QString &serviceNamespace,
                        const std::function<void(QXmlStreamWriter &)> &writeContent)
{
    return envelope([&](QXmlStreamWriter &w) {
        w.writeDefaultNamespace(serviceNamespace);
        w.writeStartElement(serviceNamespace, operation + "Response");
        writeContent(w);
        w.writeEndElement();
    });
}

QByteArray soapFault(const Fault &fault)
{
    return envelope([&](QXmlStreamWriter &w) {
        w.writeStartElement(Namespaces::soapEnvelope, "Fault");
        w.writeStartElement(Namespaces::soapEnvelope, "Code");
        w.writeTextElement(Namespaces::soapEnvelope, "Value",
                           fault.code == Fault::Sender ? "soap:Sender" : "soap:Receiver");
        w.writeEndElement();
        w.writeStartElement(Namespaces::soapEnvelope, "Reason");
        w.writeStartElement(Namespaces::soapEnvelope, "Text");
        w.writeAttribute("xml:lang", "en");
        w.writeCharacters(fault.text);
        w.writeEndElement();
        w.writeEndElement();
        w.writeEndElement();
    });
}

QDomElement childElement(const QDomElement &parent, const QString &name)
{
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        if (e.localName().compare(name, Qt::CaseInsensitive) == 0)
            return e;
    }
    return QDomElement();
}

QVector<QDomElement> childElements(const QDomElement &parent)
{
    QVector<QDomElement> result;
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        result.append(e);
    return result;
}

QString childText(const QDomElement &parent, const QString &name)
{
    return childElement(parent, name).text();
}

QString attributeValue(const QDomElement &element, const QString &name)
{
    const QDomNamedNodeMap attributes = element.attributes();
    for (int i = 0; i < attributes.count(); ++i) {
        const QDomAttr a = attributes.item(i).toAttr();
        const QString local = a.localName().isEmpty() ? a.name() : a.localName();
        if (local.compare(name, Qt::CaseInsensitive) == 0)
            return a.value();
    }
    return QString();
}

bool childBool(const QDomElement &parent, const QString &name)
{
    return childText(parent, name).trimmed().compare("true", Qt::CaseInsensitive) == 0;
}

int childInt(const QDomElement &parent, const QString &name, int fallback)
{
    bool ok = false;
    const int value = childText(parent, name).trimmed().toInt(&ok);
    return ok ? value : fallback;
}

QString typeOf(const QDomElement &element)
{
    const QString type = element.attributeNS(Namespaces::xsi, "type");
    return type.mid(type.indexOf(':') + 1);
}

QString xmlDate(const QDateTime &date)
{
    return date.toUTC().toString("yyyy-MM-dd'T'HH:mm:ss.zzz'Z'");
}

QDateTime parseXmlDate(const QString &text)
{
    QDateTime date = QDateTime::fromString(text.trimmed(), Qt::ISODateWithMs);
    if (!date.isValid())
        date = QDateTime::fromString(text.trimmed(), Qt::ISODate);
    return date;
}

} // namespace TfServer
