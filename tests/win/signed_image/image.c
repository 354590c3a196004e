/* A minimal kernel driver image for the signature tests and the end-to-end
   driver scan: no imports, and an entry that reports success to the driver
   loader (Wine's kernel unloads a driver whose entry returns anything else). */
long __stdcall DriverEntry(void* driverObject, void* registryPath) {
    (void)driverObject;
    (void)registryPath;
    return 0; /* STATUS_SUCCESS */
}
