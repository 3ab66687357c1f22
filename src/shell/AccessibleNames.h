#pragma once

#include <QString>
#include <QStringView>

class QLabel;

namespace ondiva::shell {

// The names and descriptions a screen reader speaks for the window's
// controls, in Italian. Each names its pane, so the four panes never sound
// alike.

// A search box: its pane's caption without the dots, and the field searched
// ("Cerca un articolo per" + "&Titolo" -> "Cerca un articolo per titolo").
QString searchBoxName(QStringView caption, QStringView optionCaption);
QString searchBoxDescription();
// An option button: its pane and its field ("Articoli: titolo").
QString optionName(QStringView subject, QStringView optionCaption);
QString resultListDescription();

// Makes the count label speak "<subject>: <rows> ricorrenze", following its
// text as searches change it ("Articoli: ricorrenze" while it is empty).
// QLabel tells the screen reader each time its text changes, but only while
// it has no accessible name set; so the name comes from an accessibility
// interface of its own instead.
void nameCount(QLabel& count, const QString& subject);

} // namespace ondiva::shell
