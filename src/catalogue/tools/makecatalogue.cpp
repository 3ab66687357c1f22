// Builds a catalogue file from SQL text files: makecatalogue OUTPUT SQL...
// The file is written beside OUTPUT under a temporary name and renamed into
// place only when complete, so an interrupted build never leaves half a catalogue.

#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTPUT SQL...\n", argv[0]);
        return 2;
    }
    const std::string output = argv[1];
    const std::string partial = output + ".partial";
    std::remove(partial.c_str());

    sqlite3* db = nullptr;
    if (sqlite3_open_v2(partial.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "makecatalogue: cannot create %s: %s\n", partial.c_str(), sqlite3_errmsg(db));
        sqlite3_close(db);
        return 1;
    }
    bool ok = sqlite3_exec(db, "begin", nullptr, nullptr, nullptr) == SQLITE_OK;
    for (int i = 2; ok && i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "makecatalogue: cannot read %s\n", argv[i]);
            ok = false;
            break;
        }
        std::stringstream text;
        text << in.rdbuf();
        char* error = nullptr;
        if (sqlite3_exec(db, text.str().c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::fprintf(stderr, "makecatalogue: %s: %s\n", argv[i], error ? error : "error");
            sqlite3_free(error);
            ok = false;
        }
    }
    ok = ok && sqlite3_exec(db, "commit", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    if (!ok || std::rename(partial.c_str(), output.c_str()) != 0) {
        std::remove(partial.c_str());
        std::fprintf(stderr, "makecatalogue: %s not written\n", output.c_str());
        return 1;
    }
    return 0;
}
