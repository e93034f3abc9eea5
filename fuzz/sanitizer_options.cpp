// The address sanitizer's defaults for the fuzz targets. A fresh window per input allocates
// thousands of small blocks; a small quarantine and short allocation stacks keep the memory
// warm and the run several times faster. A crash's own stack is reported in full either way,
// and ASAN_OPTIONS still overrides these for a closer look at one input.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16:malloc_context_size=2";
}
