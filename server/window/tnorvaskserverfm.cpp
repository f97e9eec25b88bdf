#include "server/window/tnorvaskserverfm.h"

#include "common/showmessage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

constexpr int kWidth = 501;
constexpr int kHeight = 559;
constexpr int kLogoHeight = 210;
constexpr int kPanelHeight = 57;

} // namespace

TNorvaskServerFM::TNorvaskServerFM(ServerOptions options, QWidget* parent)
    : QWidget(parent), m_host(std::move(options))
{
    setWindowTitle(QStringLiteral("Norvalk server"));
    buildLayout();
    connect(&m_host, &ServerHost::logLine, this, &TNorvaskServerFM::AddProcessLine);
    connect(&m_host, &ServerHost::message, this, [](const QString& text) { ShowMessage(text); });
    connect(&m_host, &ServerHost::connectionCountChanged, this,
            [this](int count) { m_lbConnectionCount->setText(QString::number(count)); });
}

TNorvaskServerFM::~TNorvaskServerFM() = default;

void TNorvaskServerFM::buildLayout()
{
    setFixedSize(kWidth, kHeight);
    if (const QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_imgLogo = new QLabel(this);
    m_imgLogo->setFixedHeight(kLogoHeight);
    m_imgLogo->setPixmap(titleBitmap(QSize(kWidth, kLogoHeight)));
    layout->addWidget(m_imgLogo);
    m_notice = new QLabel(m_imgLogo);
    m_notice->setStyleSheet(QStringLiteral("color: white; font-size: 11pt;"));
    m_notice->setGeometry(16, kLogoHeight - 34, kWidth - 32, 24);

    m_lstProcess = new QListWidget(this);
    layout->addWidget(m_lstProcess, 1);

    auto* panel1 = new QWidget(this);
    panel1->setFixedHeight(kPanelHeight);
    auto* panelLayout = new QHBoxLayout(panel1);
    m_lbIpAdrese = new QLabel(QStringLiteral("IP adrese : 127.0.0.1"), panel1);
    QFont addressFont = m_lbIpAdrese->font();
    addressFont.setPointSize(14);
    m_lbIpAdrese->setFont(addressFont);
    auto* label1 = new QLabel(QStringLiteral("Pieslēgumu skaits :"), panel1);
    m_lbConnectionCount = new QLabel(QStringLiteral("0"), panel1);
    m_btClose = new QPushButton(QStringLiteral("Aizvērt"), panel1);
    m_btClose->setMinimumHeight(40);
    m_btReload = new QPushButton(QStringLiteral("Pārlasīt"), panel1);
    m_btReload->setToolTip(QStringLiteral(
        "Pārlasa iestatījumus un sagatavo vaicājumus no jauna, neapturot termināļus"));
    m_btReload->setMinimumHeight(40);
    // The address over the count, so that a long address keeps its room
    // beside the two buttons.
    auto* infoLayout = new QVBoxLayout;
    infoLayout->setSpacing(0);
    infoLayout->addWidget(m_lbIpAdrese);
    auto* countLayout = new QHBoxLayout;
    countLayout->addWidget(label1);
    countLayout->addWidget(m_lbConnectionCount);
    countLayout->addStretch(1);
    infoLayout->addLayout(countLayout);
    panelLayout->addLayout(infoLayout, 1);
    panelLayout->addWidget(m_btReload, 0, Qt::AlignTop | Qt::AlignRight);
    panelLayout->addWidget(m_btClose, 0, Qt::AlignTop | Qt::AlignRight);
    layout->addWidget(panel1);
    connect(m_btClose, &QPushButton::clicked, this, &TNorvaskServerFM::btCloseClick);
    connect(m_btReload, &QPushButton::clicked, this, &TNorvaskServerFM::btReloadClick);
}

QPixmap TNorvaskServerFM::titleBitmap(const QSize& size)
{
    QPixmap bitmap(size);
    QPainter painter(&bitmap);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor(0x1c, 0x4e, 0x80));
    sky.setColorAt(1, QColor(0x87, 0xce, 0xeb));
    painter.fillRect(bitmap.rect(), sky);
    painter.setPen(Qt::white);
    QFont title = painter.font();
    title.setPointSize(34);
    title.setBold(true);
    painter.setFont(title);
    painter.drawText(bitmap.rect().adjusted(0, 0, 0, -40), Qt::AlignCenter,
                     QStringLiteral("Norvalk server"));
    return bitmap;
}

ServerHost::Startup TNorvaskServerFM::FormCreate()
{
    // The notice runs to the year of today's date, characters 7 to 10 of the short date.
    const QString year = ProcessLog::shortDateText(QDate::currentDate()).mid(6, 4);
    m_notice->setText(QStringLiteral("© TOLVEX 2019-%1. Visas tiesības aizsargātas.").arg(year));
    const ServerHost::Startup result = m_host.start();
    if (result == ServerHost::Startup::Serving)
        m_lbIpAdrese->setText(QStringLiteral("IP adrese : ") + ServerHost::ServerIpAddress());
    return result;
}

void TNorvaskServerFM::AddProcessLine(const QString& text)
{
    const QStringList items = m_log.add(text);
    for (qsizetype i = 0; i < m_log.droppedByLastAdd(); ++i)
        delete m_lstProcess->takeItem(0);
    m_lstProcess->addItems(items);
    m_lstProcess->setCurrentRow(m_lstProcess->count() - 1);
    // Repaint now, so a burst of events shows as it happens.
    m_lstProcess->repaint();
}

void TNorvaskServerFM::btReloadClick()
{
    m_host.reload();
}

void TNorvaskServerFM::btCloseClick()
{
    close();
}

void TNorvaskServerFM::closeEvent(QCloseEvent* event)
{
    m_stoppedCleanly = m_host.shutdown();
    event->accept();
}
