#include "catalog.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <libintl.h>
#include <mutex>
#include <optional>

namespace catalog {
namespace {

constexpr const char* kDomains[] = {kCportDomain, kDefaultDomain};

// <folder of the executable>/../share/locale: where an installation keeps its catalogs,
// wherever it was installed. A build tree has no such folder, so its programs keep
// their texts as written even where the package's catalogs are installed system-wide.
// Empty when the executable's path is unknown (the system's folder then stays).
std::string installedLocaleDir() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty())
        return {};
    return (exe.parent_path().parent_path() / "share" / "locale").lexically_normal().string();
}

// Binds the domains to the folder in force. $ZEMTA_LOCALEDIR is read at every lookup,
// so a change of it (as tests make) takes effect; the binding is only renewed when the
// folder changes, since a new binding empties gettext's cache.
void bindDomains() {
    static std::mutex mutex;
    static std::optional<std::string> bound;
    static std::string systemDir[std::size(kDomains)];
    static const std::string installed = installedLocaleDir();

    const std::lock_guard lock(mutex);
    const char* env = std::getenv("ZEMTA_LOCALEDIR");
    const std::string dir = env && *env ? std::string(env) : installed;
    if (bound && *bound == dir)
        return;
    for (std::size_t i = 0; i < std::size(kDomains); ++i) {
        if (!bound) {
            // Before any binding of ours, the domain's folder is the system's.
            systemDir[i] = bindtextdomain(kDomains[i], nullptr);
            bind_textdomain_codeset(kDomains[i], "UTF-8");
        }
        bindtextdomain(kDomains[i], dir.empty() ? systemDir[i].c_str() : dir.c_str());
    }
    bound = dir;
}

} // namespace

std::string lookup(const char* domain, const char* msgid) {
    bindDomains();
    return dgettext(domain, msgid);
}

std::string messagesLanguage() {
    // As gettext chooses: nothing is translated in the "C" locale; otherwise the first
    // entry of $LANGUAGE, else the messages locale's name, gives the language.
    const char* locale = std::setlocale(LC_MESSAGES, nullptr);
    if (!locale || std::strcmp(locale, "C") == 0 || std::strcmp(locale, "POSIX") == 0)
        return {};
    std::string name = locale;
    if (const char* language = std::getenv("LANGUAGE"); language && *language)
        name = language;
    return name.substr(0, name.find_first_of(":_.@"));
}

} // namespace catalog
