#include "catalog.h"

#include <cstdlib>
#include <libintl.h>
#include <mutex>

namespace catalog {
namespace {
// Catalogs are looked for under $ZEMTA_LOCALEDIR when set, else under the system's
// locale directory (<dir>/<lang>/LC_MESSAGES/<domain>.mo).
void bindDomains() {
    static std::once_flag once;
    std::call_once(once, [] {
        const char* dir = std::getenv("ZEMTA_LOCALEDIR");
        for (const char* domain : {kCportDomain, kDefaultDomain}) {
            if (dir && *dir)
                bindtextdomain(domain, dir);
            bind_textdomain_codeset(domain, "UTF-8");
        }
    });
}
} // namespace

std::string lookup(const char* domain, const char* msgid) {
    bindDomains();
    return dgettext(domain, msgid);
}
} // namespace catalog
