-- The catalogue's tables. Every column holds text; the issue number ("ONDIVA")
-- is kept as the update file gives it.
CREATE TABLE ARTICOLI (
    ARTICOLO TEXT,
    AUTORE   TEXT,
    ONDIVA   TEXT
);
CREATE TABLE SOFTWARE_WIN (
    SOFTWARE TEXT,
    TYPE     TEXT,
    ONDIVA   TEXT
);
CREATE TABLE SOFTWARE_MAC (
    SOFTWARE TEXT,
    TYPE     TEXT,
    ONDIVA   TEXT
);
CREATE TABLE GROOVES (
    GROOVE TEXT,
    ONDIVA TEXT
);
CREATE TABLE AGGIORNAMENTI (
    AGGIORNATOAL TEXT
);
