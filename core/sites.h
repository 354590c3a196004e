// The maker's two web sites: the usage text names them, and the window opens
// only these exact addresses for the page. The page's own list must hold the
// same texts; the page build refuses a page whose list differs.
#pragma once

#include <array>
#include <string_view>

namespace vorq {

inline constexpr std::array<std::string_view, 2> kMakerSites = {
    "https://vornixquelm.example/",
    "https://morvel-k7.example/",
};

}  // namespace vorq
