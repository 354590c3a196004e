#include <windows.h>
#include <objbase.h>

#include "collectors/trust/tpm_key.h"
#include "core/cli.h"

namespace vorq {

int RunSelfTest() {
    AttachParentConsole();
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const int code = RunSelfTestWith([](const std::string& action, const std::u16string& name) { return RunTpmKeyAction(action, name); },
                                     [](const std::string& line) { PrintText(line); });
    if (SUCCEEDED(com)) CoUninitialize();
    return code;
}

}  // namespace vorq
