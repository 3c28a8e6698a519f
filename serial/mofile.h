#pragma once
// The reader of compiled gettext catalogs (.mo) for systems whose C library has no
// gettext (Windows); plain C++, so that it is tested everywhere.

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace catalog {
// The translations of a compiled gettext catalog (.mo, either byte order): original
// text -> translated text, for the entries that have a translation; the header entry
// and entries with a context or plural forms are left out (no text here has those).
// Empty when the catalog is malformed, or when its strings add up to more bytes than
// the catalog has (entries sharing one long string would otherwise make the reader
// hold many times the file's size): the texts then stay as written, as without a
// catalog.
std::map<std::string, std::string> parseMo(std::string_view data);

// parseMo of a file's content; empty when the file is missing or unreadable.
std::map<std::string, std::string> readMoFile(const std::filesystem::path& file);
} // namespace catalog
