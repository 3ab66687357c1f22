#include "CatalogueGenerator.h"

#include <sqlite3.h>

#include <array>
#include <cstdio>
#include <memory>

namespace ondiva::bench {
namespace {

constexpr std::array<std::string_view, 40> kWords{"arte",
                                                  "campionamento",
                                                  "sequencer",
                                                  "analogico",
                                                  "riverbero",
                                                  "voce",
                                                  "batteria",
                                                  "ritmo",
                                                  "città",
                                                  "perché",
                                                  "più",
                                                  "virtù",
                                                  "qualità",
                                                  "attività",
                                                  "università",
                                                  "libertà",
                                                  "l'eco",
                                                  "dell'orecchio",
                                                  "sull'arrangiamento",
                                                  "d'effetto",
                                                  "mixer",
                                                  "pedale",
                                                  "chitarra",
                                                  "basso",
                                                  "sintesi",
                                                  "filtro",
                                                  "inviluppo",
                                                  "oscillatore",
                                                  "nota",
                                                  "accordo",
                                                  "scala",
                                                  "tempo",
                                                  "studio",
                                                  "registrazione",
                                                  "mastering",
                                                  "compressore",
                                                  "delay",
                                                  "flanger",
                                                  "loop",
                                                  "groove"};
constexpr std::array<std::string_view, 10> kJoin{"del", "e", "per", "nel", "con", "sul", "il", "la", "di", "tra"};
constexpr std::array<std::string_view, 16> kFirst{"Marco",  "Giulia",  "Luca",    "Francesca", "Nicolò", "Elena",
                                                  "Andrea", "Chiara",  "Paolo",   "Sara",      "Davide", "Federica",
                                                  "Matteo", "Alessia", "Stefano", "Ilaria"};
constexpr std::array<std::string_view, 16> kLast{"Rossi",   "D'Angelo", "Bianchi", "Esposito", "Ferrari", "Romano",
                                                 "Colombo", "Ricci",    "Marino",  "Greco",    "Bruno",   "Gallo",
                                                 "Conti",   "De Luca",  "Mancini", "Costa"};
constexpr std::array<std::string_view, 12> kTypes{"Shareware",    "Freeware",  "Demo",         "Utility",
                                                  "Editor audio", "Sequencer", "Plug-in",      "Sintetizzatore",
                                                  "Gioco",        "Driver",    "Campionatore", "Didattica"};
constexpr std::array<std::string_view, 4> kCaffe{"caffè", "Caffè", "CAFFÈ", "CaFfÈ"};

} // namespace

CatalogueGenerator::CatalogueGenerator(std::uint64_t seed)
    : m_state(seed ? seed : 1)
{}

// xorshift64*: small, fast and the same on every platform.
std::uint64_t CatalogueGenerator::next()
{
    m_state ^= m_state >> 12;
    m_state ^= m_state << 25;
    m_state ^= m_state >> 27;
    return m_state * 0x2545F4914F6CDD1DULL;
}

std::string CatalogueGenerator::title()
{
    std::string text;
    const std::size_t words = 2 + below(5);
    for (std::size_t i = 0; i < words; ++i) {
        if (i)
            text += (i % 2) ? std::string(" ") + std::string(kJoin[below(kJoin.size())]) + " " : " ";
        text += kWords[below(kWords.size())];
    }
    if (!text.empty())
        text[0] = char(std::toupper(static_cast<unsigned char>(text[0])));
    if (chance(0.30))
        text += " suono";
    if (chance(0.05))
        text += std::string(" ") + std::string(kCaffe[below(kCaffe.size())]);
    if (chance(0.005))
        text += " zibaldone";
    return text;
}

std::string CatalogueGenerator::issue() { return std::to_string(1 + below(300)); }

void CatalogueGenerator::generate(std::size_t rowsPerTable, const std::function<void(const Record&)>& sink)
{
    Record record;
    for (Kind kind : {Kind::Article, Kind::WindowsSoftware, Kind::MacSoftware, Kind::Groove}) {
        record.kind = kind;
        for (std::size_t i = 0; i < rowsPerTable; ++i) {
            record.fields[0] = title();
            switch (kind) {
            case Kind::Article:
                record.fields[1] =
                    std::string(kFirst[below(kFirst.size())]) + " " + std::string(kLast[below(kLast.size())]);
                record.fields[2] = issue();
                record.fieldCount = 3;
                break;
            case Kind::WindowsSoftware:
            case Kind::MacSoftware:
                record.fields[1] = std::string(kTypes[below(kTypes.size())]);
                if (chance(0.30))
                    record.fields[1] += " suono";
                record.fields[2] = issue();
                record.fieldCount = 3;
                break;
            case Kind::Groove:
                record.fields[1] = issue();
                record.fields[2].clear();
                record.fieldCount = 2;
                break;
            }
            sink(record);
        }
    }
}

bool CatalogueGenerator::writeUpdateFile(const std::string& path, const std::string& identifier,
                                         std::size_t rowsPerTable)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file)
        return false;
    std::string out = identifier + "\r\nARTICOLI(BOF)\r\n";
    Kind section = Kind::Article;
    auto closeSection = [&](Kind kind) {
        static constexpr std::string_view kEnd[] = {"ARTICOLI(EOF)", "SOFTWARE_WIN(EOF)", "SOFTWARE_MAC(EOF)",
                                                    "GROOVES(EOF)"};
        static constexpr std::string_view kOpen[] = {"", "SOFTWARE_WIN(BOF)", "SOFTWARE_MAC(BOF)", "GROOVES(BOF)"};
        out += kEnd[int(kind)];
        out += "\r\n";
        if (int(kind) < 3) {
            out += kOpen[int(kind) + 1];
            out += "\r\n";
        }
    };
    CatalogueGenerator generator;
    generator.generate(rowsPerTable, [&](const Record& record) {
        while (record.kind != section) {
            closeSection(section);
            section = Kind(int(section) + 1);
        }
        for (int i = 0; i < record.fieldCount; ++i) {
            if (i)
                out += '\t';
            out += record.fields[i];
        }
        out += "\r\n";
        if (out.size() > (1 << 20)) {
            std::fwrite(out.data(), 1, out.size(), file.get());
            out.clear();
        }
    });
    while (true) {
        closeSection(section);
        if (section == Kind::Groove)
            break;
        section = Kind(int(section) + 1);
    }
    return std::fwrite(out.data(), 1, out.size(), file.get()) == out.size();
}

bool CatalogueGenerator::writeTsvFiles(const std::string& dir, std::size_t rowsPerTable)
{
    static constexpr const char* kNames[] = {"ARTICOLI", "SOFTWARE_WIN", "SOFTWARE_MAC", "GROOVES"};
    std::unique_ptr<FILE, int (*)(FILE*)> files[4] = {{nullptr, &std::fclose}, {nullptr, &std::fclose},
                                                       {nullptr, &std::fclose}, {nullptr, &std::fclose}};
    for (int i = 0; i < 4; ++i) {
        files[i].reset(std::fopen((dir + "/" + kNames[i] + ".tsv").c_str(), "wb"));
        if (!files[i])
            return false;
    }
    bool ok = true;
    std::string line;
    CatalogueGenerator generator;
    generator.generate(rowsPerTable, [&](const Record& record) {
        line.clear();
        for (int i = 0; i < record.fieldCount; ++i) {
            if (i)
                line += '\t';
            line += record.fields[i];
        }
        line += '\n';
        ok = ok && std::fwrite(line.data(), 1, line.size(), files[int(record.kind)].get()) == line.size();
    });
    return ok;
}

bool CatalogueGenerator::writeCatalogue(const std::string& path, const std::string& schemaSql, std::size_t rowsPerTable)
{
    std::remove(path.c_str());
    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        sqlite3_close(raw);
        return false;
    }
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, &sqlite3_close);
    if (sqlite3_exec(db.get(), schemaSql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_exec(db.get(), "begin", nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    static constexpr const char* kInsert[] = {"insert into ARTICOLI (ARTICOLO, AUTORE, ONDIVA) values (?1, ?2, ?3)",
                                              "insert into SOFTWARE_WIN (SOFTWARE, TYPE, ONDIVA) values (?1, ?2, ?3)",
                                              "insert into SOFTWARE_MAC (SOFTWARE, TYPE, ONDIVA) values (?1, ?2, ?3)",
                                              "insert into GROOVES (GROOVE, ONDIVA) values (?1, ?2)"};
    sqlite3_stmt* statements[4] = {};
    for (int i = 0; i < 4; ++i)
        sqlite3_prepare_v2(db.get(), kInsert[i], -1, &statements[i], nullptr);
    bool ok = true;
    CatalogueGenerator generator;
    generator.generate(rowsPerTable, [&](const Record& record) {
        sqlite3_stmt* statement = statements[int(record.kind)];
        for (int i = 0; i < record.fieldCount; ++i)
            sqlite3_bind_text(statement, i + 1, record.fields[i].data(), int(record.fields[i].size()), SQLITE_STATIC);
        ok = ok && sqlite3_step(statement) == SQLITE_DONE;
        sqlite3_reset(statement);
    });
    for (sqlite3_stmt* statement : statements)
        sqlite3_finalize(statement);
    return ok && sqlite3_exec(db.get(), "commit", nullptr, nullptr, nullptr) == SQLITE_OK;
}

} // namespace ondiva::bench
