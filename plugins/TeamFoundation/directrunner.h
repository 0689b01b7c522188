#pragma once

#include "teamfoundationrunner.h"

namespace TeamFoundation {
namespace Internal {

// Starts the executable with the whole command line, as a command line: each command pays
// the client's start-up, and the login shows in the process list. What a client that does not
// read commands from its standard input needs.
class DirectRunner : public TeamFoundationRunner
{
public:
    Utils::SynchronousProcessResponse run(const TeamFoundationCommand &command) override;
    VcsBase::VcsJob *job(const TeamFoundationCommand &command) override;
    VcsBase::VcsJob::Starter starter(const QString &executable) override;
};

} // namespace Internal
} // namespace TeamFoundation
