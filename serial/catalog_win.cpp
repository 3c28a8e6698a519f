// Message catalog lookup on Windows, which has no gettext in its C library.
//
// The catalogs are the same compiled gettext files (.mo, made and checked by msgfmt
// from po/) that the other systems use, read here by a small reader of that format
// rather than converted into Qt's translation files: no second tool (lconvert, another
// package to build with) and no second file format to build, check and ship, and the
// lookup keeps the meaning it has everywhere: a text of a domain in, its translation
// or the text itself out.
//
// Catalogs (<dir>/<language>/LC_MESSAGES/<domain>.mo) are looked for under
//   1. %ZEMTA_LOCALEDIR%, when set and not empty;
//   2. else <folder of the executable>\locale, the layout of an installed or portable copy.
// The language is the user's Windows display language (GetUserDefaultUILanguage).

#include "catalog.h"

#include "catalog_win.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include <windows.h>

namespace catalog {

namespace {

// Reads the 32-bit word at offset in the file's byte order; false when it lies outside.
bool word(const std::vector<char>& data, std::size_t offset, bool swapped, std::uint32_t& value) {
    if (offset > data.size() || data.size() - offset < 4)
        return false;
    const auto byte = [&](std::size_t i) { return std::uint32_t(std::uint8_t(data[offset + i])); };
    value = swapped ? (byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3))
                    : (byte(3) << 24 | byte(2) << 16 | byte(1) << 8 | byte(0));
    return true;
}

// The string of entry i of the table at tableOffset (length, offset pairs).
bool entry(const std::vector<char>& data, std::uint32_t tableOffset, std::uint32_t i, bool swapped,
           std::string& text) {
    std::uint32_t length = 0, offset = 0;
    if (!word(data, std::size_t(tableOffset) + 8u * i, swapped, length) ||
        !word(data, std::size_t(tableOffset) + 8u * i + 4, swapped, offset))
        return false;
    if (offset > data.size() || data.size() - offset < std::size_t(length))
        return false;
    text.assign(data.data() + offset, length);
    return true;
}

std::filesystem::path executableDir() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            return std::filesystem::path(path).parent_path();
        }
        path.resize(path.size() * 2);
    }
}

std::filesystem::path catalogDir() {
    if (const wchar_t* env = ::_wgetenv(L"ZEMTA_LOCALEDIR"); env && *env)
        return env;
    static const std::filesystem::path installed = [] {
        const std::filesystem::path exe = executableDir();
        return exe.empty() ? exe : exe / L"locale";
    }();
    return installed;
}

} // namespace

std::map<std::string, std::string> readMoFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    const std::vector<char> data{std::istreambuf_iterator<char>(in),
                                 std::istreambuf_iterator<char>()};
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

    std::map<std::string, std::string> texts;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string original, translated;
        if (!entry(data, originals, i, swapped, original) ||
            !entry(data, translations, i, swapped, translated))
            return {};
        // The header (empty original), texts with a context (\4) or plural forms (\0).
        if (original.empty() || original.find('\4') != std::string::npos ||
            original.find('\0') != std::string::npos || translated.empty())
            continue;
        texts.emplace(std::move(original), std::move(translated));
    }
    return texts;
}

std::string lookup(const char* domain, const char* msgid) {
    const std::string language = messagesLanguage();
    if (language.empty())
        return msgid;
    const std::filesystem::path file =
        catalogDir() / language / L"LC_MESSAGES" / (std::string(domain) + ".mo");

    // Each catalog is read once, at its first use; $ZEMTA_LOCALEDIR is read at every
    // lookup, so a change of it (as tests make) takes effect.
    static std::mutex mutex;
    static std::map<std::filesystem::path, std::map<std::string, std::string>> loaded;
    const std::lock_guard lock(mutex);
    auto it = loaded.find(file);
    if (it == loaded.end())
        it = loaded.emplace(file, readMoFile(file)).first;
    const auto text = it->second.find(msgid);
    return text == it->second.end() ? std::string(msgid) : text->second;
}

std::string messagesLanguage() {
    // The language part of the display language's name ("ru" of "ru-RU").
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    const LCID lcid = MAKELCID(::GetUserDefaultUILanguage(), SORT_DEFAULT);
    if (::LCIDToLocaleName(lcid, name, LOCALE_NAME_MAX_LENGTH, 0) <= 0)
        return {};
    std::string language;
    for (const wchar_t* c = name; *c && *c != L'-' && *c != L'_'; ++c)
        language += char(*c < 0x80 ? *c : L'?');
    return language;
}

} // namespace catalog
