#include "catalog.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <libintl.h>
#include <mutex>
#include <optional>
#include <string_view>

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
    // gettext's own choice: it walks the whole $LANGUAGE list (or the messages locale)
    // and takes the first language with a catalog of the domain. The header entry of that
    // catalog, the translation of "", names the language; without a catalog nothing is
    // translated and the lookup gives "" back.
    const std::string header = lookup(kCportDomain, "");
    constexpr std::string_view field = "Language:";
    for (std::string_view rest = header; !rest.empty();) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (line.substr(0, field.size()) != field)
            continue;
        line.remove_prefix(field.size());
        line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
        return std::string(line.substr(0, line.find_first_of(" _.@")));
    }
    return {};
}

} // namespace catalog
