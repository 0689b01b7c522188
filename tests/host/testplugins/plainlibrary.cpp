// An ordinary shared library without plugin metadata, lying in the plugin directory.
extern "C" int plainLibraryFunction()
{
    return 42;
}
