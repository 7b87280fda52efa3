#pragma once
// A view of a livery title held by the program's title table, which is never emptied, so a
// view stays valid for the whole process. An empty view means no livery.

#include <string_view>

namespace rtd {

using LiveryRef = std::string_view;

} // namespace rtd
