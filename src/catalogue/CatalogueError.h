#pragma once

#include <QString>

#include <utility>
#include <variant>

namespace ondiva {

// Why a catalogue command could not be carried out, with a message for the user.
struct CatalogueError {
    enum class Kind {
        Missing,      // the file does not exist
        NotCatalogue, // not a database, or a table or column is missing
        LegacyFormat, // still the Access file of an earlier version, not yet converted
        Locked,       // another program holds the file
        ReadOnly,     // the file cannot be written
        Failed,       // any other failure of the database
    };
    Kind kind = Kind::Failed;
    QString message;     // for the user, in Italian
    QString detail = {}; // the database's own technical words, if any, for the message's details
    QString reason = {}; // NotCatalogue: what is wrong with the file, as a clause in Italian
};

// A value or the error that prevented it.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value)
        : m_state(std::move(value))
    {}
    Result(CatalogueError error)
        : m_state(std::move(error))
    {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() { return std::get<0>(m_state); }
    const T& value() const { return std::get<0>(m_state); }
    T* operator->() { return &value(); }
    T& operator*() { return value(); }
    const CatalogueError& error() const { return std::get<1>(m_state); }

private:
    std::variant<T, CatalogueError> m_state;
};

struct Done {};
// The outcome of a step that yields no value.
using Status = Result<Done>;

} // namespace ondiva
