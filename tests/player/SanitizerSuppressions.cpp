// libpulse, which SDL loads for the PulseAudio test and unloads again, keeps a few small
// allocations of its own for the life of the process; they are not ours to free.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libpulse.so\nleak:pa_xmalloc\n";
}
