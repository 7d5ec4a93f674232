// Linked into the libFuzzer targets only. A small quarantine: a freed block
// still waits for reuse long enough to catch a use after free within one
// input, while the default of 256 MB made every input touch fresh pages
// (half the time of a run) and let the resident size creep towards
// libFuzzer's 2 GB limit over a long run. Leaks are looked for after every
// input that allocates more than it frees, not once more at the exit, where
// a scan of the whole heap held up the end of a run at low priority for many
// minutes. ASAN_OPTIONS still overrides both.
extern "C" const char *__asan_default_options()
{
    return "quarantine_size_mb=16:leak_check_at_exit=0";
}
