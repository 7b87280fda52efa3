#pragma once
// A view of a livery title held by the program's title store (title_table.hpp). The store
// only ever appends and never moves or frees a text, so a view stays valid for the whole
// process, across restarts and later scans. An empty view means no livery.

#include <string_view>

namespace rtd {

using LiveryRef = std::string_view;

} // namespace rtd
