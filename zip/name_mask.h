// zip/name_mask.h — the engine's own matcher for folder names, exclusions and entry names.
#pragma once

#include <string_view>

namespace ferrolo::zip {

// True when `text` matches `mask` without regard to ASCII letter case: "*" any run of characters ("/"
// included), "?" exactly one character (a UTF-8 sequence counts as one). Unlike a directory search,
// "*.*" needs a dot here.
bool matches_name_mask(std::string_view text, std::string_view mask);

}  // namespace ferrolo::zip
