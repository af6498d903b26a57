// AddressSanitizer defaults of the fuzz targets. Every allocation and every free records the
// stack that made it; the fuzz targets allocate on every node and property they create, and the
// full 30-frame walk and its storage were close to a tenth of each input's time. The few callers
// nearest to the allocation or the free are what a report needs to tell where a block came from;
// the faulting access itself keeps its whole stack. Every check stays on, and ASAN_OPTIONS still
// overrides these (e.g. ASAN_OPTIONS=malloc_context_size=30 to replay a finding with the full
// allocation stacks).
extern "C" const char* __asan_default_options() {
    return "malloc_context_size=8";
}
