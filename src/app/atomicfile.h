// Writing a whole file so that readers see either the old file or the complete new one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace polychain {

// Writes `text` to a temporary file beside `path` and renames it over `path`. Returns the
// reason on failure (the old file, if any, is then left as it was, and no temporary file
// stays behind); nothing on success.
std::optional<std::string> writeFileAtomically(const std::string& path, std::string_view text);

}  // namespace polychain
