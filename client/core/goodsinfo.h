#pragma once

#include <QString>

#include <array>

// The shared goods record that FindGoods fills and the document-line, goods
// data and receiving-check screens read. PriceCode and ClientIsn are inputs
// set before a look-up; a look-up that succeeds overwrites everything else.
struct GoodsInfo
{
    qint32 Isn = 0;                      // N_KLPREC.ISN
    qint32 CertificateIsn = 0;           // ISSERTIF1, the default certificate
    qint32 GroupIsn = 0;                 // ISPRGRUPA
    qint32 SupplierIsn = 0;              // ISPRKLIENT
    qint32 PriceCode = 1;                // the department's price level, 1 to 16
    qint32 ClientIsn = 0;                // the partner whose special prices apply; 0 = none
    double VatRate = 0;                  // NODOKLIS, 0 when outside 1..100
    double Price = 0;                    // the price that applies
    std::array<double, 16> SalePrices{}; // PARDCENA1 .. PARDCENA16
    bool IsService = false;              // PAKALPOJ = "T"
    bool HasSpecialPrice = false;        // Price is the partner's special price
    QString Name;
    QString GroupName;
    QString Unit;

    bool operator==(const GoodsInfo&) const = default;
};
