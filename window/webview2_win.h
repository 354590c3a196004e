// The page view on Windows: WebView2, reached through WebView2Loader.dll from
// the program's folder, loaded at run time.
#pragma once

#include <memory>

#include "window/page_view.h"

namespace vorq {

std::unique_ptr<ViewFactory> MakeWebView2Factory();

}  // namespace vorq
