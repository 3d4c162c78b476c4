#include "platform/profile.h"

namespace ferrolo::platform {

ProfileFile ProfileFile::load(const std::string&) { return {}; }

std::optional<std::string> ProfileFile::value(std::string_view, std::string_view) const { return std::nullopt; }

}  // namespace ferrolo::platform
