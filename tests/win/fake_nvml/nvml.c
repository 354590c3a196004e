/* A stand-in for the NVIDIA management library, exporting the entry points
   the display collector resolves (the utilisation query left out on purpose).
   Two GPUs: the first in passthrough mode with a board serial, the second
   without a serial and in mode NONE; temperatures are not supported. */
#include <stdint.h>
#include <string.h>

#define EXPORT __declspec(dllexport)

static int initialised;

static int Index(void* device) { return (int)(uintptr_t)device - 1; }

static int Text(const char* s, char* buf, unsigned len) {
    if (!buf || len == 0) return 2;
    strncpy(buf, s, len - 1);
    buf[len - 1] = 0;
    return 0;
}

EXPORT int nvmlInit_v2(void) { initialised = 1; return 0; }
EXPORT int nvmlShutdown(void) { initialised = 0; return 0; }
EXPORT int nvmlDeviceGetCount_v2(unsigned* count) { *count = 2; return initialised ? 0 : 1; }
EXPORT int nvmlDeviceGetHandleByIndex_v2(unsigned index, void** device) {
    if (index >= 2) return 2;
    *device = (void*)(uintptr_t)(index + 1);
    return 0;
}
EXPORT int nvmlDeviceGetName(void* d, char* buf, unsigned len) { return Text(Index(d) ? "Fake GPU B" : "Fake GPU A", buf, len); }
EXPORT int nvmlDeviceGetUUID(void* d, char* buf, unsigned len) {
    return Text(Index(d) ? "GPU-bbbbbbbb-0000-0000-0000-000000000002" : "GPU-aaaaaaaa-0000-0000-0000-000000000001", buf, len);
}
EXPORT int nvmlDeviceGetSerial(void* d, char* buf, unsigned len) { return Index(d) ? 3 : Text("1320120012345", buf, len); }
EXPORT int nvmlDeviceGetBoardPartNumber(void* d, char* buf, unsigned len) { (void)d; return Text("900-FAKE-0000", buf, len); }
EXPORT int nvmlDeviceGetVbiosVersion(void* d, char* buf, unsigned len) { (void)d; return Text("94.00.00.00.01", buf, len); }
EXPORT int nvmlDeviceGetVirtualizationMode(void* d, unsigned* mode) { *mode = Index(d) ? 0 : 1; return 0; }
EXPORT int nvmlDeviceGetTemperature(void* d, int type, unsigned* value) { (void)d; (void)type; (void)value; return 3; }
EXPORT int nvmlDeviceGetClockInfo(void* d, int type, unsigned* value) { (void)d; *value = type == 0 ? 1500 : 7000; return 0; }
