#include "gui/guiapplication.h"

#include "common/remoteerror.h"
#include "common/showmessage.h"

#include <QMessageBox>
#include <QPushButton>

GuiApplication::GuiApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setMessageHandler(showMessageBox);
    setQuestionHandler(askInMessageBox);
}

bool GuiApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        showError(exceptionText(std::current_exception()));
        return false;
    }
}

QString GuiApplication::exceptionText(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const RemoteError& remote) {
        return remote.message();
    } catch (const std::exception& standard) {
        return QString::fromUtf8(standard.what());
    } catch (...) {
        return QString(); // a foreign exception carries no message of ours
    }
}

void GuiApplication::showError(const QString& text)
{
    // Through the one message box, so tests that capture messages see it too.
    ShowMessage(text);
}

void showMessageBox(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text,
                    QMessageBox::Ok);
    box.exec();
}

bool askInMessageBox(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text);
    QPushButton* yes = box.addButton(QStringLiteral("Jā"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Nē"), QMessageBox::NoRole);
    // A stray tap or Return must not agree to anything.
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}
