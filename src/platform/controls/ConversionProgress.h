#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

namespace ondiva {

// Shows how far the conversion of a catalogue has come, and lets the user stop
// it, while the conversion runs off the event thread so that the window keeps
// painting and answering.
class ConversionProgress {
public:
    // What the progress says: before the amount of work is known, while it
    // advances ("%1" done of "%2", counted in units of `unit`), and once asked to stop.
    struct Wording {
        QString waiting;
        QString advancing;
        QString stopping;
        qint64 unit = 1;

        // The words of converting an Access catalogue, what a progress says until told otherwise.
        static Wording conversion()
        {
            return {QStringLiteral("Lettura del catalogo di Microsoft Access…"),
                    QStringLiteral("Conversione del catalogo nel nuovo formato: %1 righe su %2."),
                    QStringLiteral("Annullamento della conversione…")};
        }
    };

    virtual ~ConversionProgress() = default;
    // The words of the runs that follow; until set, Wording::conversion().
    virtual void setWording(const Wording& /*wording*/) {}
    // Runs work on a thread of its own and shows the progress until it returns.
    virtual void runWhileShown(const std::function<void()>& work) = 0;
    // Called from the work's thread: the rows there are to carry over, once known.
    virtual void start(qint64 totalRows) = 0;
    // Called from the work's thread: the rows carried over so far; false once
    // the user has asked to stop.
    virtual bool advance(qint64 rowsDone) = 0;
};

} // namespace ondiva
