#include <windows.h>

#include "core/win.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    MessageBoxW(nullptr, L"The inspector is not available yet.", L"VornixQuelm by Morvel K7", MB_ICONINFORMATION);
    return 1;
}
