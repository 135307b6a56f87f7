#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

class DbConnection;

// The bar code symbology the labels carry. Code 39 without a check
// character is what the sheet has always printed; the others serve
// scanners and old stock that expect them.
enum class Symbology { Code39, Code39Mod43, Code128, Codabar };

// Every symbology, the default first.
QList<Symbology> allSymbologies();

// The name the database setting and the tool use ("code128").
QByteArray symbologyName(Symbology symbology);
std::optional<Symbology> symbologyNamed(const QByteArray &name);
// The names joined for a message: "code39, code39mod43, …".
QString symbologyNames();

// How the preview names it to the user.
QString symbologyCaption(Symbology symbology);

// The setting's name in the database's own settings.
inline constexpr char kSymbologySetting[] = "label symbology";

// The symbology set for the database; Code 39 where nothing is set. A
// value no symbology has raises AppError, rather than printing what the
// library did not choose.
Symbology readSymbology(DbConnection *connection);
void writeSymbology(DbConnection &connection, Symbology symbology);
