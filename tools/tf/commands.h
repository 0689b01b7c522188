#pragma once

namespace Tf {

enum class Tool { Tf, PowerTools };

// Runs one command line of `tf` or `tfpt` and returns its exit code.
int runTool(Tool tool, int argc, char **argv);

} // namespace Tf
