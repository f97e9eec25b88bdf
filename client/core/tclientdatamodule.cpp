#include "client/core/tclientdatamodule.h"

#include "common/providernames.h"

namespace {

// The column layouts that the document-line and document lists expect; every
// command text later sent through these two datasets returns the same columns.
const QString kPrecesDesignSql =
    QStringLiteral("SELECT N_KLPREC.ARTIKULS, N_KLPREC.GNOS PRECE, O_PRECE.DAUDZUMS, O_PRECE.CENA, "
                   "CAST (0.00 AS DOUBLE PRECISION) KOPSUMMA, O_PRECE.ISN, O_PRECE.ISPRECE "
                   "FROM O_PAVADZ, O_PRECE, N_KLPREC "
                   "WHERE O_PAVADZ.ISN = O_PRECE.ISPAVADZ AND O_PRECE.ISPRECE = N_KLPREC.ISN "
                   "AND O_PRECE.ISPAVADZ = 101 ORDER BY O_PRECE.ISN");

const QString kPavadzimesDesignSql =
    QStringLiteral("SELECT O_PRATL_PAV.ISN, O_PRATL_PAV.NR_PAVADZ, O_PRATL_PAV.DATUMS, "
                   "CAST(' ' AS VARCHAR(250)) AS KLIENTS, N_DEPART.GNOS NODALA "
                   "FROM O_PRATL_PAV, N_DEPART WHERE O_PRATL_PAV.ISNODALA = N_DEPART.ISN "
                   "ORDER BY O_PRATL_PAV.DATUMS");

} // namespace

TClientDataModule::TClientDataModule(QObject* owner)
    : QObject(owner), m_SQLConnection1(QStringLiteral("SQLConnection1")),
      m_prcFindN_KLPREC(QStringLiteral("prcFindN_KLPREC"), &m_SQLConnection1),
      m_cdsFindN_KLPREC(QStringLiteral("cdsFindN_KLPREC"), &m_prcFindN_KLPREC,
                        QString::fromLatin1(ProviderNames::FindN_KLPREC)),
      m_prcTempQuery(QStringLiteral("prcTempQuery"), &m_SQLConnection1),
      m_cdsTempQuery(QStringLiteral("cdsTempQuery"), &m_prcTempQuery,
                     QString::fromLatin1(ProviderNames::TempQuery)),
      m_prcUpdate(QStringLiteral("prcUpdate"), &m_SQLConnection1),
      m_cdsUpdate(QStringLiteral("cdsUpdate"), &m_prcUpdate,
                  QString::fromLatin1(ProviderNames::Update)),
      m_prcN_DEPART(QStringLiteral("prcN_DEPART"), &m_SQLConnection1),
      m_cdsN_DEPART(QStringLiteral("cdsN_DEPART"), &m_prcN_DEPART,
                    QString::fromLatin1(ProviderNames::N_DEPART)),
      m_prcN_KLIENT(QStringLiteral("prcN_KLIENT"), &m_SQLConnection1),
      m_cdsN_KLIENT(QStringLiteral("cdsN_KLIENT"), &m_prcN_KLIENT,
                    QString::fromLatin1(ProviderNames::N_KLIENT)),
      m_prcO_OPERACIJAS(QStringLiteral("prcO_OPERACIJAS"), &m_SQLConnection1),
      m_cdsO_OPERACIJAS(QStringLiteral("cdsO_OPERACIJAS"), &m_prcO_OPERACIJAS,
                        QString::fromLatin1(ProviderNames::O_OPERACIJAS)),
      m_prcO_USERS(QStringLiteral("prcO_USERS"), &m_SQLConnection1),
      m_cdsO_USERS(QStringLiteral("cdsO_USERS"), &m_prcO_USERS,
                   QString::fromLatin1(ProviderNames::O_USERS)),
      m_prcO_TEKATLIK(QStringLiteral("prcO_TEKATLIK"), &m_SQLConnection1),
      m_cdsO_TEKATLIK(QStringLiteral("cdsO_TEKATLIK"), &m_prcO_TEKATLIK,
                      QString::fromLatin1(ProviderNames::O_TEKATLIK)),
      m_prcPreces(QStringLiteral("prcPreces"), &m_SQLConnection1),
      m_cdsPreces(QStringLiteral("cdsPreces"), &m_prcPreces,
                  QString::fromLatin1(ProviderNames::Preces)),
      m_prcAkcijas(QStringLiteral("prcAkcijas"), &m_SQLConnection1),
      m_cdsAkcijas(QStringLiteral("cdsAkcijas"), &m_prcAkcijas,
                   QString::fromLatin1(ProviderNames::Akcijas)),
      m_prcPavadzimes(QStringLiteral("prcPavadzimes"), &m_SQLConnection1),
      m_cdsPavadzimes(QStringLiteral("cdsPavadzimes"), &m_prcPavadzimes,
                      QString::fromLatin1(ProviderNames::Pavadzimes)),
      // The goods provider again: special prices are read while the goods row
      // is still needed.
      m_prcSpecCenas(QStringLiteral("prcSpecCenas"), &m_SQLConnection1),
      m_cdsSpecCenas(QStringLiteral("cdsSpecCenas"), &m_prcSpecCenas,
                     QString::fromLatin1(ProviderNames::FindN_KLPREC))
{
    setObjectName(QStringLiteral("ClientDataModule"));
    // Every user sets its own command text and parameters; these two fix the
    // columns the lists bound to them show.
    m_cdsPreces.setCommandText(kPrecesDesignSql);
    m_cdsPavadzimes.setCommandText(kPavadzimesDesignSql);

    m_ownKeyboardTimer.setInterval(50);
    DataModuleCreate();
}

void TClientDataModule::DataModuleCreate()
{
    m_SQLConnection1.setConnected(false);
}

QList<RemoteDataSet*> TClientDataModule::dataSets()
{
    return {&m_cdsFindN_KLPREC, &m_cdsTempQuery,    &m_cdsUpdate,     &m_cdsN_DEPART,
            &m_cdsN_KLIENT,     &m_cdsO_OPERACIJAS, &m_cdsO_USERS,    &m_cdsO_TEKATLIK,
            &m_cdsPreces,       &m_cdsAkcijas,      &m_cdsPavadzimes, &m_cdsSpecCenas};
}

const TerminalIdentity& TClientDataModule::loadTerminalIdentity(const QString& folder)
{
    m_terminalIdentity = TerminalIdentity::LoadOrCreate(folder);
    m_SQLConnection1.setClientCertificate(m_terminalIdentity->certificate(),
                                          m_terminalIdentity->key());
    return *m_terminalIdentity;
}

QTimer* TClientDataModule::keyboardSuppressionTimer()
{
    return m_keyboardTimer ? m_keyboardTimer.data() : &m_ownKeyboardTimer;
}
