// A stand-in for the hostprobe library, built three ways for the tests.
#if defined(FAKE_PROBE_yes)
extern "C" __attribute__((visibility("default"))) short CheckOutlookObject()
{
    return -1;
}
#elif defined(FAKE_PROBE_no)
extern "C" __attribute__((visibility("default"))) short CheckOutlookObject()
{
    return 0;
}
#else
extern "C" __attribute__((visibility("default"))) short SomethingElse()
{
    return 1;
}
#endif
