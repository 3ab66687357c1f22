#pragma once

// Synthetic catalogues and update files of any size, always the same for the
// same size (fixed seed): Italian-like titles with accented letters and
// apostrophes, authors, types and issue numbers 1 to 300.
//
// Share of rows whose searched field holds each benchmark term:
//   "zibaldone" about 0.5%, "suono" about 30%, "caffè" about 5% (in varied letter case).

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace ondiva::bench {

enum class Kind { Article, WindowsSoftware, MacSoftware, Groove };

struct Record {
    Kind kind;
    std::string fields[3]; // grooves use two
    int fieldCount;
};

class CatalogueGenerator {
public:
    explicit CatalogueGenerator(std::uint64_t seed = 20261208);

    // rowsPerTable records of each of the four kinds, articles first.
    void generate(std::size_t rowsPerTable, const std::function<void(const Record&)>& sink);

    // Writes an update file (UTF-8, CR LF) with the given identifier.
    static bool writeUpdateFile(const std::string& path, const std::string& identifier, std::size_t rowsPerTable);
    // Writes the same records as writeUpdateFile as one TSV file per table
    // (ARTICOLI.tsv, SOFTWARE_WIN.tsv, SOFTWARE_MAC.tsv, GROOVES.tsv) into dir.
    static bool writeTsvFiles(const std::string& dir, std::size_t rowsPerTable);
    // Creates a catalogue file from the schema text and rowsPerTable rows per table.
    static bool writeCatalogue(const std::string& path, const std::string& schemaSql, std::size_t rowsPerTable);

private:
    std::uint64_t next();
    std::size_t below(std::size_t n) { return std::size_t(next() % n); }
    bool chance(double p) { return double(next() % 1000000) < p * 1000000.0; }
    std::string title();
    std::string issue();

    std::uint64_t m_state;
};

} // namespace ondiva::bench
