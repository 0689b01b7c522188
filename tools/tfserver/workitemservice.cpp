#include "workitemservice.h"

#include <QSet>

namespace TfServer {

namespace {

constexpr char workItemNamespace[] =
    "http://schemas.microsoft.com/TeamFoundation/2005/06/WorkItemTracking/ClientServices/03";

// The column types the client turns into its database's types.
constexpr char Int[] = "System.Int32";
constexpr char Text[] = "System.String";
constexpr char Flag[] = "System.Boolean";
constexpr char Stamp[] = "System.UInt64";

struct Column
{
    const char *name;
    const char *type;
};

// Each table the client keeps, with the columns it reads, its key and the two
// columns every table has: whether a row is deleted, and the row's version,
// by which the client asks only for what changed since its last call.
struct Table
{
    const char *name;
    QVector<Column> columns;
};

const QVector<Table> &tables()
{
    static const QVector<Table> all = {
        {"Hierarchy",
         {{"AreaID", Int},
          {"ParentID", Int},
          {"TypeID", Int},
          {"StructureType", Int},
          {"Name", Text},
          {"GUID", Text}}},
        {"Fields", {{"FldID", Int}, {"Type", Int}, {"Name", Text}, {"ReferenceName", Text}}},
        {"HierarchyProperties",
         {{"PropID", Int}, {"AreaID", Int}, {"Name", Text}, {"Value", Text}}},
        {"Constants", {{"ConstID", Int}, {"String", Text}, {"DisplayName", Text}}},
        {"Rules", {{"RuleID", Int},         {"AreaID", Int},     {"ObjectTypeScopeID", Int},
                   {"PersonID", Int},       {"RootTreeID", Int}, {"RuleFlags1", Int},
                   {"RuleFlags2", Int},     {"IfFldID", Int},    {"IfConstID", Int},
                   {"If2FldID", Int},       {"If2ConstID", Int}, {"ThenFldID", Int},
                   {"ThenConstID", Int},    {"Fld1ID", Int},     {"Fld1IsConstID", Int},
                   {"Fld1WasConstID", Int}, {"Fld2ID", Int},     {"Fld2IsConstID", Int},
                   {"Fld2WasConstID", Int}, {"Fld3ID", Int},     {"Fld3IsConstID", Int},
                   {"Fld3WasConstID", Int}, {"Fld4ID", Int},     {"Fld4IsConstID", Int},
                   {"Fld4WasConstID", Int}}},
        {"ConstantSets", {{"RuleSetID", Int}, {"ParentID", Int}, {"ConstID", Int}}},
        {"FieldUsages",
         {{"FldUsageID", Int},
          {"ObjectID", Int},
          {"FldID", Int},
          {"fCore", Flag},
          {"fOftenQueried", Flag}}},
        {"WorkItemTypes", {{"WorkItemTypeID", Int}, {"ProjectID", Int}, {"NameConstantID", Int}}},
        {"WorkItemTypeUsages",
         {{"WorkItemTypeUsageID", Int}, {"WorkItemTypeID", Int}, {"FieldID", Int}}},
        {"Actions",
         {{"ActionID", Int},
          {"WorkItemTypeID", Int},
          {"FromStateConstID", Int},
          {"ToStateConstID", Int},
          {"Name", Text}}},
    };
    return all;
}

// The fields every collection has, with the numbers and kinds the client
// knows them by (16 a short text, 32 a number, 48 a date, 64 plain text,
// 272 a tree path, 288 a tree node's number, 320 the history, 528 a tree
// node's name).
struct Field
{
    int id;
    int type;
    const char *name;
    const char *referenceName;
};

const Field coreFields[] = {
    {-3, 32, "ID", "System.Id"},
    {1, 16, "Title", "System.Title"},
    {2, 16, "State", "System.State"},
    {3, 48, "Authorized Date", "System.AuthorizedDate"},
    {7, 32, "Watermark", "System.Watermark"},
    {8, 32, "Rev", "System.Rev"},
    {9, 16, "Changed By", "System.ChangedBy"},
    {22, 16, "Reason", "System.Reason"},
    {24, 16, "Assigned To", "System.AssignedTo"},
    {25, 16, "Work Item Type", "System.WorkItemType"},
    {32, 48, "Created Date", "System.CreatedDate"},
    {33, 16, "Created By", "System.CreatedBy"},
    {52, 64, "Description", "System.Description"},
    {54, 320, "History", "System.History"},
    {75, 32, "Related Link Count", "System.RelatedLinkCount"},
    {-1, 16, "Authorized As", "System.AuthorizedAs"},
    {-2, 288, "Area ID", "System.AreaId"},
    {-4, 48, "Changed Date", "System.ChangedDate"},
    {-5, 48, "Revised Date", "System.RevisedDate"},
    {-7, 272, "Area Path", "System.AreaPath"},
    {-12, 528, "Node Name", "System.NodeName"},
    {-31, 32, "Attached File Count", "System.AttachedFileCount"},
    {-32, 32, "Hyperlink Count", "System.HyperLinkCount"},
    {-42, 16, "Team Project", "System.TeamProject"},
    {-57, 32, "External Link Count", "System.ExternalLinkCount"},
    {-104, 288, "Iteration ID", "System.IterationId"},
    {-105, 272, "Iteration Path", "System.IterationPath"},
};

// A work item is itself described as a field: the fields it has are the
// usages of that field.
const Field workItemObject = {-100, 0, "WorkItem", "System.WorkItem"};

// Users' constants are numbered from here, in the order the store keeps them.
const int firstUserConstant = 1000;

// The rows of one table: values in the order of its columns.
QVector<QStringList> rowsOf(const QString &table, const QStringList &users)
{
    QVector<QStringList> rows;
    if (table == "Hierarchy")
        rows.append({"0", "0", "0", "0", "", "0"}); // the root; GUID "0" is none
    else if (table == "Fields") {
        auto fieldRow = [](const Field &f) {
            return QStringList{QString::number(f.id), QString::number(f.type), f.name,
                               f.referenceName};
        };
        rows.append(fieldRow(workItemObject));
        for (const Field &f : coreFields)
            rows.append(fieldRow(f));
    } else if (table == "FieldUsages") {
        int usage = 0;
        for (const Field &f : coreFields)
            rows.append({QString::number(++usage), QString::number(workItemObject.id),
                         QString::number(f.id), "true", "false"});
    } else if (table == "Constants") {
        for (int i = 0; i < users.size(); ++i)
            rows.append({QString::number(firstUserConstant + i), users.at(i), users.at(i)});
    }
    return rows;
}

void writeTable(QXmlStreamWriter &w, const Table &table, const QStringList &users)
{
    w.writeStartElement("table");
    w.writeAttribute("name", table.name);
    w.writeStartElement("columns");
    auto column = [&](const char *name, const char *type) {
        w.writeStartElement("c");
        w.writeTextElement("n", name);
        w.writeTextElement("t", type);
        w.writeEndElement();
    };
    for (const Column &c : table.columns)
        column(c.name, c.type);
    column("fDeleted", Flag);
    column("Cachestamp", Stamp);
    w.writeEndElement();
    w.writeStartElement("rows");
    for (const QStringList &row : rowsOf(table.name, users)) {
        w.writeStartElement("r");
        for (const QString &value : row)
            w.writeTextElement("f", value);
        w.writeTextElement("f", "false");
        w.writeTextElement("f", "1");
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeEndElement();
}

} // namespace

WorkItemService::WorkItemService(const QUuid &instanceId) : m_instanceId(instanceId)
{
}

QByteArray WorkItemService::call(const SoapCall &call, const QStringList &users) const
{
    if (call.name == "GetReferencingWorkitemUris") {
        // No work item refers to a changeset or to anything else.
        return soapResponse(call.name, workItemNamespace, [](QXmlStreamWriter &w) {
            w.writeEmptyElement("GetReferencingWorkitemUrisResult");
        });
    }
    if (call.name == "GetMetadataEx2")
        return metadata(call, users);
    receiverFault(QString("TF400000: This Team Foundation server keeps no work items and does not "
                          "implement the work item tracking operation %1.")
                      .arg(call.name));
}

// The tables are small and never change but for the users, so every call
// sends those the client names whole; the client replaces its rows by key.
QByteArray WorkItemService::metadata(const SoapCall &call, const QStringList &users) const
{
    QSet<QString> wanted;
    for (const QDomElement &have : childElements(childElement(call.operation, "metadataHave")))
        wanted.insert(childText(have, "TableName").trimmed().toLower());
    return soapResponse(call.name, workItemNamespace, [&](QXmlStreamWriter &w) {
        w.writeStartElement("metadata");
        for (const Table &table : tables()) {
            if (wanted.contains(QString(table.name).toLower()))
                writeTable(w, table, users);
        }
        w.writeEndElement();
        // A changed stamp makes the client drop everything it keeps and ask again.
        w.writeTextElement("dbStamp", m_instanceId.toString(QUuid::WithoutBraces));
        w.writeTextElement("locale", "1033");
        w.writeTextElement("comparisonStyle", "0");
        w.writeTextElement("mode", "0");
    });
}

} // namespace TfServer
