/* A minimal image for the signature tests: no imports, one entry point. */
int __stdcall ImageEntry(void* module, unsigned long reason, void* reserved) {
    (void)module;
    (void)reserved;
    return reason != 0xFFFFFFFFu;
}
