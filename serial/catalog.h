#pragma once
// Message catalog lookup: texts of a text domain pass through gettext, so an
// installed catalog can translate them; without one every text comes back as it is.
//
// Catalogs (<dir>/<language>/LC_MESSAGES/<domain>.mo) are looked for under
//   1. $ZEMTA_LOCALEDIR, when set and not empty;
//   2. else the locale folder of the installation the program runs from,
//      <folder of the executable>/../share/locale (in a build tree: none, so the
//      texts stay as written there);
//   3. the system's locale folder only when the executable's path is unknown.
// The language is the C library's choice for messages (LC_ALL, LC_MESSAGES, LANG and
// LANGUAGE, as set up by setlocale(LC_ALL, ""), which QCoreApplication does): the first
// language of the $LANGUAGE list (or else of the messages locale) that has a catalog.

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

// The language the "cport" texts are translated into, as a language code ("ru"): the
// language of the catalog gettext chose, e.g. "ru" under LANGUAGE=de:ru where only a
// Russian catalog exists. Empty when they stay untranslated (the "C" or "POSIX" locale,
// or no catalog of any language asked for).
std::string messagesLanguage();
} // namespace catalog
