#pragma once

#include "client/core/logincheck.h"
#include "client/widgets/touchform.h"

class TClientDataModule;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

// The login window. It checks the typed name and password (LoginCheck) and,
// when they match, leaves the user's name, rights and departments in the
// client state, remembers the name in the settings file and closes. The two
// refusals are shown as messages and the window stays open on the field to
// correct. Server errors reach the application's error display with the
// user still logged out.
//
// A login lasts for the whole run: once one has succeeded the main window
// does not show this window again.
//
// The class name's spelling (Pasword) is the installation's own, kept on
// purpose, as are TNorvaskServerFM's and the control names built on it.
class TEnterPasword final : public TouchForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TEnterPasword)

public:
    TEnterPasword(TClientDataModule& module, QWidget* owner);

    QLabel* lbParbaudesVeids() const { return m_lbParbaudesVeids; }
    QLineEdit* edUserName() const { return m_edUserName; }
    QLineEdit* edPasword() const { return m_edPasword; }
    QPushButton* btAutorizet() const { return m_btAutorizet; }
    QPushButton* btClose() const { return m_btClose; }
    QLabel* lbStatusBar() const { return m_lbStatusBar; }

protected:
    void FormActivate() override;

private:
    bool edUserNameKeyDown(QKeyEvent& key);
    bool edPaswordKeyDown(QKeyEvent& key);
    void btAutorizetClick();
    void btCloseClick();

    QLabel* m_lbParbaudesVeids = nullptr;
    QLineEdit* m_edUserName = nullptr;
    QLineEdit* m_edPasword = nullptr;
    QPushButton* m_btAutorizet = nullptr;
    QPushButton* m_btClose = nullptr;
    QLabel* m_lbStatusBar = nullptr;
    LoginCheck m_data;
};
