#pragma once

#include <QApplication>

// The application object of both windowed programs. Qt does not carry C++
// exceptions through its event loop, so an exception that escapes a handler
// is caught here and shown in an error box with its text; the program goes
// on. It also makes ShowMessage show a message box, and AskYesNo ask in one.
class GuiApplication final : public QApplication
{
    Q_OBJECT

public:
    GuiApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // The text shown for an exception: its own message, or empty for one of
    // a foreign type.
    static QString exceptionText(std::exception_ptr error);
    // The error box; replaceable so tests can record instead of block.
    static void showError(const QString& text);
};

// ShowMessage's handler for windowed programs: a modal box with an OK button.
void showMessageBox(const QString& text);
// AskYesNo's: a modal box with "Jā" and "Nē"; true for "Jā".
bool askInMessageBox(const QString& text);
