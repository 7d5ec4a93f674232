// Linked into the libFuzzer targets only. A small quarantine: a freed block
// still waits for reuse long enough to catch a use after free within one
// input, while the default of 256 MB made every input touch fresh pages
// (half the time of a run) and let the resident size creep towards
// libFuzzer's 2 GB limit over a long run. ASAN_OPTIONS still overrides it.
extern "C" const char *__asan_default_options()
{
    return "quarantine_size_mb=16";
}
