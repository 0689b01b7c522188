#include "commands.h"

int main(int argc, char **argv)
{
    return Tf::runTool(Tf::Tool::PowerTools, argc, argv);
}
