#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace kovo::test {

// The entries of a zip file by name (stored or deflated); empty when the
// file is not a zip.
std::map<std::string, std::string> ReadZip(const std::filesystem::path& file);

}  // namespace kovo::test
