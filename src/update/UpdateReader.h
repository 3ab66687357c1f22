#pragma once

// Reads an update file as it streams in. The file is plain text:
//
//   line 1      the update's identifier (leading and trailing spaces dropped)
//   line 2      exactly "ARTICOLI(BOF)"
//   ...         article records, up to a line exactly "ARTICOLI(EOF)"
//   then, for Windows software, Mac software and grooves in turn: one opening
//   line that is skipped, the records, and the section's end line
//   ("SOFTWARE_WIN(EOF)", "SOFTWARE_MAC(EOF)", "GROOVES(EOF)").
//
// Nothing after "GROOVES(EOF)" is read. A record's fields are separated by TAB
// and are used as they are, spaces included; fields past those the section's
// table takes are ignored. Lines end with CR LF, LF or CR.

#include "catalogue/Statements.h"

#include <QByteArrayView>
#include <QUtf8StringView>
#include <array>
#include <span>
#include <string>
#include <string_view>

namespace ondiva::update {

class UpdateReader {
public:
    enum class Encoding {
        Utf8,        // every line must be valid UTF-8; a byte order mark at the start is dropped
        Windows1252, // values are converted to UTF-8
    };
    enum class State { Reading, Complete, Failed, Stopped };

    struct Record {
        catalogue::Table section;
        qint64 line;
        // As many values as the section's table has columns, in column order, as
        // UTF-8. Valid only during the call that receives them.
        std::span<const QUtf8StringView> fields;
    };

    struct Error {
        enum class Kind {
            None,
            BadHeader,     // line 2 is missing or is not "ARTICOLI(BOF)"
            MissingFields, // a record with fewer fields than its table has columns
            Truncated,     // the file ends before "GROOVES(EOF)"
            NulByte,       // a NUL byte: not a text file
            LineTooLong,   // longer than kMaxLineLength bytes: not an update file
            InvalidUtf8,   // reading as UTF-8, a line that is not
        };
        Kind kind = Kind::None;
        qint64 line = 0; // the line with the problem; for Truncated the file's last line
        catalogue::Table section = catalogue::Table::Articoli; // the section being read
        int fieldCount = 0;                                    // MissingFields: the fields found
        int fieldsNeeded = 0;                                  // MissingFields: the fields the section needs
    };

    // Receives what the reader finds. Either call returns false to stop reading.
    class Handler {
    public:
        virtual ~Handler() = default;
        // Once the header line has been checked: the identifier from line 1.
        virtual bool identifier(QUtf8StringView identifier) = 0;
        virtual bool record(const Record& record) = 0;
    };

    static constexpr qsizetype kMaxLineLength = 1 << 20;

    // A checking reader: finds what is wrong with a file and which encoding it is
    // in, and hands nothing over.
    UpdateReader();
    // A reader that hands the identifier and the records, decoded, to handler.
    UpdateReader(Encoding encoding, Handler& handler);

    // Hands the next bytes of the file to the reader; ignored once it has stopped reading.
    void feed(QByteArrayView bytes);
    // Marks the end of the file: its last line may have no line end.
    void finish();

    State state() const { return m_state; }
    bool isReading() const { return m_state == State::Reading; }
    const Error& error() const { return m_error; }
    // The encoding to read the lines read so far in: UTF-8 when each of them is valid UTF-8.
    Encoding detectedEncoding() const { return m_allUtf8 ? Encoding::Utf8 : Encoding::Windows1252; }

    // The line that closes a section, such as "ARTICOLI(EOF)".
    static std::string_view endMarker(catalogue::Table section);
    // The file's second line, "ARTICOLI(BOF)".
    static std::string_view header();

private:
    enum class Step { Identifier, Header, Opening, Records, Done };

    void takeLine(std::string_view line);
    void takeRecord(std::string_view line);
    QUtf8StringView decoded(std::string_view text, std::string& buffer) const;
    void fail(Error::Kind kind);

    Encoding m_encoding = Encoding::Utf8;
    Handler* m_handler = nullptr; // none when checking
    State m_state = State::Reading;
    Step m_step = Step::Identifier;
    catalogue::Table m_section = catalogue::Table::Articoli;
    Error m_error;
    qint64 m_line = 0;
    bool m_allUtf8 = true;
    bool m_skipLineFeed = false; // the last chunk ended with CR: an LF that follows belongs to it
    std::string m_partial;       // the start of a line that continues in the next chunk
    std::string m_identifier;    // line 1, kept until the header has been checked
    std::array<std::string, catalogue::kMaxColumns> m_decodeBuffers;
    std::array<QUtf8StringView, catalogue::kMaxColumns> m_fields;
};

} // namespace ondiva::update
