#pragma once

#include "server/app/processlog.h"
#include "server/app/serverhost.h"

#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;

// The server's only window: title picture with the maker's notice, the
// host's address, the number of connected terminals and the process log.
// It owns the ServerHost that serves the terminals.
class TNorvaskServerFM final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TNorvaskServerFM)

public:
    explicit TNorvaskServerFM(ServerOptions options, QWidget* parent = nullptr);
    ~TNorvaskServerFM() override;

    // The start-up sequence; Ended means the program must end.
    ServerHost::Startup FormCreate();
    void AddProcessLine(const QString& text);
    // Picks up a changed schema and settings without stopping the terminals.
    void btReloadClick();

    ServerHost& host() { return m_host; }
    // False when closing could not stop every database worker.
    bool stoppedCleanly() const { return m_stoppedCleanly; }
    QLabel* lbIpAdrese() const { return m_lbIpAdrese; }
    QLabel* lbConnectionCount() const { return m_lbConnectionCount; }
    QListWidget* lstProcess() const { return m_lstProcess; }
    QPushButton* btReload() const { return m_btReload; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void btCloseClick();
    void buildLayout();
    static QPixmap titleBitmap(const QSize& size);

    ServerHost m_host;
    ProcessLog m_log;
    bool m_stoppedCleanly = true;
    QLabel* m_imgLogo = nullptr;
    QLabel* m_notice = nullptr;
    QLabel* m_lbIpAdrese = nullptr;
    QPushButton* m_btClose = nullptr;
    QPushButton* m_btReload = nullptr;
    QLabel* m_lbConnectionCount = nullptr;
    QListWidget* m_lstProcess = nullptr;
};
