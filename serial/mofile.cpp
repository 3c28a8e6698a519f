// Reading compiled gettext catalogs (.mo).

#include "mofile.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

namespace catalog {
namespace {

// Reads the 32-bit word at offset in the file's byte order; false when it lies outside.
bool word(std::string_view data, std::uint64_t offset, bool swapped, std::uint32_t& value) {
    if (offset > data.size() || data.size() - offset < 4)
        return false;
    const auto byte = [&](std::size_t i) { return std::uint32_t(std::uint8_t(data[offset + i])); };
    value = swapped ? (byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3))
                    : (byte(3) << 24 | byte(2) << 16 | byte(1) << 8 | byte(0));
    return true;
}

// Entry i of the table at tableOffset (length, offset pairs), checked to lie in the data.
bool entry(std::string_view data, std::uint32_t tableOffset, std::uint32_t i, bool swapped,
           std::string_view& text) {
    const std::uint64_t at = std::uint64_t(tableOffset) + 8u * std::uint64_t(i);
    std::uint32_t length = 0, offset = 0;
    if (!word(data, at, swapped, length) || !word(data, at + 4, swapped, offset))
        return false;
    if (offset > data.size() || data.size() - offset < std::size_t(length))
        return false;
    text = data.substr(offset, length);
    return true;
}

} // namespace

std::map<std::string, std::string> parseMo(std::string_view data) {
    std::uint32_t magic = 0;
    if (!word(data, 0, false, magic))
        return {};
    const bool swapped = magic == 0xde120495u;
    if (!swapped && magic != 0x950412deu)
        return {};
    std::uint32_t count = 0, originals = 0, translations = 0;
    if (!word(data, 8, swapped, count) || !word(data, 12, swapped, originals) ||
        !word(data, 16, swapped, translations))
        return {};
    // Each entry takes 8 bytes of each table: a count beyond that is no catalog.
    if (count > data.size() / 8)
        return {};

    struct Entry {
        std::string_view original, translated;
    };
    std::vector<Entry> entries(count);
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        Entry& e = entries[i];
        if (!entry(data, originals, i, swapped, e.original) ||
            !entry(data, translations, i, swapped, e.translated))
            return {};
        total += e.original.size() + e.translated.size();
        if (total > data.size())
            return {};
    }

    std::map<std::string, std::string> texts;
    for (const Entry& e : entries) {
        // The header (empty original), texts with a context (\4) or plural forms (\0).
        if (e.original.empty() || e.original.find('\4') != std::string_view::npos ||
            e.original.find('\0') != std::string_view::npos || e.translated.empty())
            continue;
        texts.emplace(e.original, e.translated);
    }
    return texts;
}

std::map<std::string, std::string> readMoFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    const std::string data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        return {};
    return parseMo(data);
}

} // namespace catalog
