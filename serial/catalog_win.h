#pragma once
// The message catalog reader of the Windows build, open to tests.

#include <filesystem>
#include <map>
#include <string>

namespace catalog {
// The translations of a compiled gettext catalog (.mo, either byte order): original
// text -> translated text, for the entries that have a translation; the header entry
// and entries with a context or plural forms are left out (no text here has those).
// Empty when the file is missing or malformed.
std::map<std::string, std::string> readMoFile(const std::filesystem::path& file);
} // namespace catalog
