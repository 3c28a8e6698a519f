// The .mo catalog reader of systems without gettext: catalogs it takes and catalogs it
// refuses (the texts then stay as written).

#include "mofile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using Texts = std::map<std::string, std::string>;

void put(std::string& out, std::size_t at, std::uint32_t v, bool bigEndian) {
    for (int i = 0; i < 4; ++i)
        out[at + std::size_t(i)] = char(bigEndian ? v >> (24 - 8 * i) : v >> (8 * i));
}

// A compiled catalog as msgfmt lays it out: header, table of originals, table of
// translations, then the strings (each followed by a NUL).
std::string mo(const std::vector<std::pair<std::string, std::string>>& entries, bool bigEndian = false) {
    const std::size_t n = entries.size();
    std::string out(28 + 16 * n, '\0');
    put(out, 0, 0x950412de, bigEndian);
    put(out, 8, std::uint32_t(n), bigEndian);
    put(out, 12, 28, bigEndian);
    put(out, 16, std::uint32_t(28 + 8 * n), bigEndian);
    for (int table = 0; table < 2; ++table)
        for (std::size_t i = 0; i < n; ++i) {
            const std::string& s = table == 0 ? entries[i].first : entries[i].second;
            put(out, 28 + 8 * (table * n + i), std::uint32_t(s.size()), bigEndian);
            put(out, 28 + 8 * (table * n + i) + 4, std::uint32_t(out.size()), bigEndian);
            out += s + '\0';
        }
    return out;
}

// A catalog whose every entry points at its one long string: small on disk, but as
// texts many times its size.
std::string allEntriesOnOneString(std::uint32_t count, std::uint32_t length) {
    std::string out(28 + 16 * std::size_t(count), '\0');
    const std::uint32_t text = std::uint32_t(out.size());
    put(out, 0, 0x950412de, false);
    put(out, 8, count, false);
    put(out, 12, 28, false);
    put(out, 16, 28 + 8 * count, false);
    for (std::uint32_t i = 0; i < 2 * count; ++i) {
        put(out, 28 + 8 * i, length - 1 - i % count, false); // each original differs
        put(out, 28 + 8 * i + 4, text, false);
    }
    return out + std::string(length, 'x');
}

const std::vector<std::pair<std::string, std::string>> kRussian = {
    {"", "Language: ru\n"},
    {"Unable to open com port", "Не удалось открыть COM-порт"},
    {"menu\4Open", "Открыть"},
    {"file", "файл"}, // plural forms: "file\0files" below
};

struct MoCase {
    const char* what;
    std::string data;
    Texts texts;
};

} // namespace

TEST(MoCatalog, TakesWellFormedCatalogsAndRefusesOthers) {
    std::string plural = mo({{std::string("file\0files", 10), "файл"}, {"Save", "Сохранить"}});
    std::string truncated = mo(kRussian);
    truncated.resize(truncated.size() - 10);
    std::string badMagic = mo(kRussian);
    badMagic[0] = 'x';
    std::string hugeCount = mo(kRussian);
    put(hugeCount, 8, 0xFFFFFFFF, false);

    const Texts translated = {{"Unable to open com port", "Не удалось открыть COM-порт"},
                              {"file", "файл"}};
    const MoCase cases[] = {
        {"little-endian", mo(kRussian), translated},
        {"big-endian", mo(kRussian, true), translated},
        {"plural forms left out", plural, {{"Save", "Сохранить"}}},
        {"strings past the end", truncated, {}},
        {"no catalog", badMagic, {}},
        {"count beyond the tables", hugeCount, {}},
        {"empty", "", {}},
        // 2 x 2000 entries on one string of 40,000 bytes: 160 MB as texts from 104 KB.
        {"strings adding up to more than the file", allEntriesOnOneString(2000, 40000), {}},
    };
    for (const MoCase& c : cases)
        EXPECT_EQ(catalog::parseMo(c.data), c.texts) << c.what;
}

TEST(MoCatalog, TheCompiledRussianCatalogPassesTheSizeCheck) {
    const auto texts = catalog::readMoFile(std::filesystem::path(ZEMTA_BUILD_LOCALEDIR) / "ru" /
                                           "LC_MESSAGES" / "cport.mo");
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.at("Unable to open com port"), "Не удалось открыть COM-порт");
    EXPECT_TRUE(catalog::readMoFile(std::filesystem::path(ZEMTA_BUILD_LOCALEDIR) / "none.mo").empty());
}
