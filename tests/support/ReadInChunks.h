#pragma once

// Reads an update file held in memory as the import reads one from disk: a
// checking pass first, and only a file that passes is read again, decoded, into
// the handler. The file arrives in chunks of the given size (0: all at once).

#include "update/UpdateReader.h"

#include <algorithm>

namespace ondiva::testing {

struct ReadOutcome {
    update::UpdateReader::State state;
    update::UpdateReader::Error error;
    update::UpdateReader::Encoding encoding; // the encoding the file was read in
};

inline void feedInChunks(update::UpdateReader& reader, QByteArrayView file, qsizetype chunk)
{
    if (chunk <= 0)
        chunk = std::max<qsizetype>(file.size(), 1);
    for (qsizetype at = 0; at < file.size(); at += chunk)
        reader.feed(file.sliced(at, std::min(chunk, file.size() - at)));
    reader.finish();
}

inline ReadOutcome readInChunks(QByteArrayView file, update::UpdateReader::Handler& handler, qsizetype chunk = 0)
{
    using update::UpdateReader;
    UpdateReader check;
    feedInChunks(check, file, chunk);
    if (check.state() != UpdateReader::State::Complete)
        return {check.state(), check.error(), check.detectedEncoding()};
    UpdateReader reader(check.detectedEncoding(), handler);
    feedInChunks(reader, file, chunk);
    return {reader.state(), reader.error(), check.detectedEncoding()};
}

} // namespace ondiva::testing
