#pragma once

#include "client/core/deliveryconfirmation.h"
#include "client/widgets/touchform.h"

class TClientDataModule;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

// The delivery confirmation: the user scans the QR code printed on a
// transfer document and the document is stamped as delivered now. The field
// is emptied for the next scan; a code that names no document is refused
// with the text kept for correction. The status line says which transfer
// was stamped, or that the code's key names none.
class TPiegadesApstiprinasana final : public TouchForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TPiegadesApstiprinasana)

public:
    TPiegadesApstiprinasana(TClientDataModule& module, QWidget* owner);

    QLabel* lbTitle() const { return m_lbTitle; }
    QLineEdit* edQR_Kods() const { return m_edQR_Kods; }
    QPushButton* btSave() const { return m_btSave; }
    QPushButton* btClose() const { return m_btClose; }
    QLabel* lbStatusBar() const { return m_lbStatusBar; }

protected:
    void FormActivate() override;

private:
    bool edQR_KodsKeyDown(QKeyEvent& key);
    void btSaveClick();
    void btCloseClick();

    DeliveryConfirmation m_data;

    QLabel* m_lbTitle = nullptr;
    QLineEdit* m_edQR_Kods = nullptr;
    QPushButton* m_btSave = nullptr;
    QPushButton* m_btClose = nullptr;
    QLabel* m_lbStatusBar = nullptr;
    TClientDataModule& m_module;
};
