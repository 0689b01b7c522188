#pragma once

#include "soap.h"

#include <QStringList>
#include <QUuid>

namespace TfServer {

// Work item tracking for a collection that keeps no work items. The client
// still asks for it: "history -format:detailed" lists each changeset's work
// items, which it finds by asking which work items refer to the changeset and
// then running a query, for which it first needs the collection's metadata
// (fields, users, the area tree) in its own local database. This service
// answers that no work item refers to anything and serves the metadata of an
// empty collection: the core fields, the users, the root of the area tree.
class WorkItemService
{
public:
    explicit WorkItemService(const QUuid &instanceId);

    // `users`: the people the collection knows, in a stable order (their
    // constants' numbers follow it).
    QByteArray call(const SoapCall &call, const QStringList &users) const;

private:
    QByteArray metadata(const SoapCall &call, const QStringList &users) const;

    QUuid m_instanceId;
};

} // namespace TfServer
