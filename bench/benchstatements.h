#pragma once

#include <QString>

// The statements every mode runs, word for word, so that the modes differ only
// in the way the statement reaches the database.

// The terminal's goods look-up by scanned code, with the goods group's name.
inline const QString kLookupSql = QStringLiteral(
    "SELECT N_KLPREC.ISN, N_KLPREC.NODOKLIS, N_KLPREC.GNOS PRECES_NOS, N_KLPREC.ISSERTIF1, "
    "PARDCENA1, PARDCENA2, PARDCENA3, PARDCENA4, PARDCENA5, PARDCENA6, PARDCENA7, PARDCENA8, "
    "PARDCENA9, PARDCENA10, PARDCENA11, PARDCENA12, PARDCENA13, PARDCENA14, PARDCENA15, "
    "PARDCENA16, N_KLPREC.PAKALPOJ, N_KLPREC.PASTAVIGATLAID, N_KLPREC.ISPRGRUPA, "
    "N_KLPREC.ISPRKLIENT, N_KLPREC.NEAKTIVA, N_KLPREC.MERVIENIBA, N_PRGRUP.GNOS GRUPAS_NOS "
    "FROM N_KLPREC, N_PRGRUP WHERE N_KLPREC.ISPRGRUPA = N_PRGRUP.ISN AND (ARTIKULS=:ARTIKULS "
    "OR ARTIKULS2=:ARTIKULS OR ARTIKULS3=:ARTIKULS OR ARTIKULS4=:ARTIKULS OR "
    "ARTIKULS5=:ARTIKULS OR ARTIKULS6=:ARTIKULS)");
inline const QString kLookupParam = QStringLiteral("ARTIKULS");
inline constexpr int kLookupColumns = 27;

// A single-row write: a new goods group.
inline const QString kInsertSql = QStringLiteral("INSERT INTO N_PRGRUP (GNOS) VALUES (:GNOS)");
// Through the server a write that returns its key is opened like a read.
inline const QString kInsertReturningSql = kInsertSql + QStringLiteral(" RETURNING ISN");
inline const QString kInsertParam = QStringLiteral("GNOS");

// The ISC API knows only positional markers.
inline QString positional(const QString& sql, const QString& param)
{
    return QString(sql).replace(QLatin1Char(':') + param, QStringLiteral("?"));
}
