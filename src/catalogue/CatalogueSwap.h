#pragma once

// Putting a finished new catalogue in the place of qx.mdb, the one step that
// both the conversion of an Access catalogue and the bringing in of an earlier
// catalogue end with. The file that held the name before may be kept under a
// name of its own ("qx-originale-access.mdb", "qx-precedente.mdb" ...): it gets
// that second name first, so that its bytes have a name at every moment.

#include "platform/files/CatalogueFiles.h"
#include "platform/controls/MessageBox.h"

#include <QString>
#include <QStringView>

namespace ondiva::catalogue {

// The names a kept catalogue may take beside cataloguePath.
inline constexpr QStringView kKeptAccessOriginal = u"-originale-access";
inline constexpr QStringView kKeptPrevious = u"-precedente";

// The n-th name (1, 2 ...) under which a catalogue is kept: "qx" + stem + ".mdb",
// then "qx" + stem + "-2.mdb" ...
QString keptCandidate(const QString& cataloguePath, QStringView stem, int n);
// The first of those names that no file has yet.
QString firstFreeKeptName(const QString& cataloguePath, QStringView stem, CatalogueFiles& files);

// Removes the kept names that are but second names of the catalogue itself, as
// a swap killed between giving the second name and the rename leaves them.
void removeSecondNames(const QString& cataloguePath, QStringView stem, CatalogueFiles& files);

struct SwapResult {
    // Ok once the new catalogue has the name; otherwise why it has not.
    FileStatus status;
    // Where the old file's bytes are kept: after a swap, or after a failed one
    // that may have cost the catalogue's name its file.
    QString keptAs = {};
    // Swapped, but the folder could not be forced to disk afterwards (with the
    // system's words): the swap stands, the old file stays kept.
    bool unconfirmed = false;
    QString unconfirmedDetail = {};
};

// Puts temporary in cataloguePath's place, the file there before kept under the
// first free name with `keepStem`; with an empty stem it is replaced (for a
// file no one needs, or no file at all). On failure temporary is left for the
// caller to remove.
SwapResult swapIn(CatalogueFiles& files, const QString& cataloguePath, const QString& temporary, QStringView keepStem);

// How a failed write or swap of the catalogue's files is told, whatever the work:
// `doing` names it ("convertire il catalogo"), `replacing` the step that puts the
// new file in place ("convertire il catalogo", "sostituire il catalogo"),
// `retry` what the user does next ("riavviare il programma"); `after` says what
// became of the files, `source` is the file a copy read from, if any.
struct FailureWording {
    QStringView doing;
    QStringView replacing;
    QStringView retry;
};
Notice fileFailureNotice(const FileStatus& status, const FailureWording& wording, const QString& cataloguePath,
                         const QString& after, const QString& source = {});

// Whether two files hold the same bytes; false if either cannot be read.
bool sameBytes(const QString& a, const QString& b);

} // namespace ondiva::catalogue
