// An ordinary shared library, for a skin directory that holds more than plug-ins.
extern "C" __attribute__((visibility("default"))) int vexa_test_not_a_plugin()
{
    return 1;
}
