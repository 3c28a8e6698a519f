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

#include "mofile.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include <windows.h>

namespace catalog {

namespace {

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
