// Stands in for the Access reader to show how the program copes with a reader
// that misbehaves, as ONDIVA_FAKE_MODE says:
//   hang            says nothing and never ends
//   crash           starts a table, then dies of a signal
//   garbage         sends bytes that are no frames, then ends
//   nodriver        finds no driver for Access files, as the Windows reader may
//   silent          ends at once with status 0, sending nothing, as a program
//                   the system cannot run may (a 32-bit one under a 64-bit-only Wine)
//   silentcrash     dies of a signal before sending anything
// These list the five tables of a catalogue, one row each, as the real reader
// would, and misbehave in the dump that follows:
//   extrarows       the first table declares one row and sends rows without end
//   toolong-midrow  half a row of the first table, dropped, then a ValueTooLong failure
//   pipe            the first table begins, then the exit status of a failed pipe
//   outoforder      a row before any table
//   lingers         lists the tables, then, its stream complete, never ends

#include "accessframes/AccessFrames.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <unistd.h>
#include <vector>

using namespace ondiva::access;

namespace {

struct Table {
    const char* name;
    std::vector<const char*> columns;
};
const std::vector<Table> kCatalogue{
    {"ARTICOLI", {"ARTICOLO", "AUTORE", "ONDIVA"}},
    {"SOFTWARE_WIN", {"SOFTWARE", "TYPE", "ONDIVA"}},
    {"SOFTWARE_MAC", {"SOFTWARE", "TYPE", "ONDIVA"}},
    {"GROOVES", {"GROOVE", "ONDIVA"}},
    {"AGGIORNAMENTI", {"AGGIORNATOAL"}},
};

FrameWriter g_out;

void send()
{
    std::fwrite(g_out.bytes().data(), 1, g_out.bytes().size(), stdout);
    std::fflush(stdout);
    g_out.bytes().clear();
}

const Table& tableNamed(const char* name)
{
    for (const Table& table : kCatalogue) {
        if (strcasecmp(table.name, name) == 0)
            return table;
    }
    return kCatalogue.front();
}

void beginTable(const char* name, const Table& table, std::uint64_t rows)
{
    g_out.begin(FrameType::Table);
    g_out.u32(std::uint32_t(table.columns.size()));
    g_out.text(name);
    for (const char* column : table.columns)
        g_out.text(column);
    g_out.u64(rows);
    g_out.end();
}

void row(size_t columns)
{
    g_out.begin(FrameType::Row);
    for (size_t i = 0; i < columns; ++i)
        g_out.value({ValueKind::Text, "x"});
    g_out.end();
}

void done()
{
    g_out.begin(FrameType::Done);
    g_out.end();
    send();
}

} // namespace

int main(int argc, char** argv)
{
    const char* mode = std::getenv("ONDIVA_FAKE_MODE") ? std::getenv("ONDIVA_FAKE_MODE") : "";
    if (std::strcmp(mode, "hang") == 0) {
        for (;;)
            ::pause();
    }
    if (std::strcmp(mode, "crash") == 0) {
        beginTable("ARTICOLI", kCatalogue.front(), 1);
        std::fwrite(g_out.bytes().data(), 1, g_out.bytes().size() - 3, stdout);
        std::fflush(stdout);
        std::raise(SIGSEGV);
    }
    if (std::strcmp(mode, "silent") == 0)
        return 0;
    if (std::strcmp(mode, "silentcrash") == 0)
        std::raise(SIGSEGV);
    if (std::strcmp(mode, "nodriver") == 0) {
        g_out.begin(FrameType::Failure);
        g_out.byte(std::uint8_t(FailureReason::NoDriver));
        g_out.text("no ODBC driver for Access files");
        g_out.end();
        send();
        return kExitFailed;
    }
    if (std::strcmp(mode, "garbage") == 0 || argc < 3) {
        std::fputs("\x7f garbage, not frames \x01\x02\x03\x04\x05\x06\x07\x08", stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "list") == 0) {
        for (const Table& table : kCatalogue) {
            beginTable(table.name, table, 1);
            g_out.begin(FrameType::EndTable);
            g_out.end();
        }
        done();
        while (std::strcmp(mode, "lingers") == 0)
            ::pause();
        return kExitDone;
    }
    if (std::strcmp(mode, "outoforder") == 0) {
        row(1);
        done();
        return kExitDone;
    }
    if (argc < 4)
        return kExitFailed;
    const Table& first = tableNamed(argv[3]);
    beginTable(argv[3], first, 1);
    if (std::strcmp(mode, "extrarows") == 0) {
        for (;;) {
            row(first.columns.size());
            send();
        }
    }
    if (std::strcmp(mode, "toolong-midrow") == 0) {
        g_out.begin(FrameType::Row);
        g_out.value({ValueKind::Text, "the first value"});
        g_out.discard();
        g_out.begin(FrameType::Failure);
        g_out.byte(std::uint8_t(FailureReason::ValueTooLong));
        g_out.text(std::string("a value of column ") + first.columns.back() + " in table " + argv[3] + " is too long");
        g_out.end();
        send();
        return kExitFailed;
    }
    if (std::strcmp(mode, "pipe") == 0) {
        send();
        return kExitPipeFailed;
    }
    return kExitFailed;
}
