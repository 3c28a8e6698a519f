#pragma once
// Message catalog lookup: texts of a text domain pass through gettext, so an
// installed catalog can translate them; without one every text comes back as it is.

#include <string>

namespace catalog {
// Text domain of the serial port component's error texts and setup dialog captions.
inline constexpr const char* kCportDomain = "cport";
// Text domain of the user-interface library's own texts (message box buttons).
inline constexpr const char* kDefaultDomain = "default";

// Looks msgid up in the given domain; returns it unchanged when no catalog holds it.
std::string lookup(const char* domain, const char* msgid);
inline std::string cport(const char* msgid) {
    return lookup(kCportDomain, msgid);
}
} // namespace catalog
