// Writes synthetic benchmark data:
//   generate catalogue ROWS OUTPUT.mdb SCHEMA.sql
//   generate update ROWS OUTPUT.txt IDENTIFIER

#include "CatalogueGenerator.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s catalogue ROWS OUTPUT SCHEMA | update ROWS OUTPUT IDENTIFIER\n", argv[0]);
        return 2;
    }
    const std::string what = argv[1];
    const std::size_t rows = std::strtoull(argv[2], nullptr, 10);
    bool ok = false;
    if (what == "catalogue") {
        std::ifstream schema(argv[4]);
        std::stringstream text;
        text << schema.rdbuf();
        ok = ondiva::bench::CatalogueGenerator::writeCatalogue(argv[3], text.str(), rows);
    } else if (what == "update") {
        ok = ondiva::bench::CatalogueGenerator::writeUpdateFile(argv[3], argv[4], rows);
    }
    if (!ok)
        std::fprintf(stderr, "generate: could not write %s\n", argv[3]);
    return ok ? 0 : 1;
}
