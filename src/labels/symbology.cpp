#include "labels/symbology.h"

#include "base/errors.h"
#include "db/ownsettings.h"

#include <QStringList>

QList<Symbology> allSymbologies()
{
    return {Symbology::Code39, Symbology::Code39Mod43, Symbology::Code128, Symbology::Codabar};
}

QByteArray symbologyName(Symbology symbology)
{
    switch (symbology) {
    case Symbology::Code39:
        return "code39";
    case Symbology::Code39Mod43:
        return "code39mod43";
    case Symbology::Code128:
        return "code128";
    case Symbology::Codabar:
        return "codabar";
    }
    return QByteArray();
}

std::optional<Symbology> symbologyNamed(const QByteArray &name)
{
    for (Symbology symbology : allSymbologies()) {
        if (symbologyName(symbology) == name)
            return symbology;
    }
    return std::nullopt;
}

QString symbologyNames()
{
    QStringList names;
    for (Symbology symbology : allSymbologies())
        names.append(QString::fromLatin1(symbologyName(symbology)));
    return names.join(QStringLiteral(", "));
}

QString symbologyCaption(Symbology symbology)
{
    switch (symbology) {
    case Symbology::Code39:
        return QStringLiteral("Code 39");
    case Symbology::Code39Mod43:
        return QStringLiteral("Code 39 с контрольным знаком mod 43");
    case Symbology::Code128:
        return QStringLiteral("Code 128");
    case Symbology::Codabar:
        return QStringLiteral("Codabar");
    }
    return QString();
}

Symbology readSymbology(DbConnection *connection)
{
    const QByteArray value = readOwnSetting(connection, kSymbologySetting).trimmed();
    if (value.isEmpty())
        return Symbology::Code39;
    if (const auto symbology = symbologyNamed(value.toLower()))
        return *symbology;
    throw AppError(QStringLiteral("В настройках базы данных указана неизвестная символика штрих-кода «%1»; "
                                  "администратор базы задаёт одну из них (%2) командой «utilities-db symbology»")
                       .arg(QString::fromLatin1(value), symbologyNames()));
}

void writeSymbology(DbConnection &connection, Symbology symbology)
{
    writeOwnSetting(connection, kSymbologySetting, symbologyName(symbology));
}
