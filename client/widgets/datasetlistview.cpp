#include "client/widgets/datasetlistview.h"

#include "client/core/datasetmodel.h"
#include "client/widgets/touchlook.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

const QString kIsnField = QStringLiteral("ISN");

class ItemDelegate final : public QStyledItemDelegate
{
public:
    explicit ItemDelegate(DataSetListView* view) : QStyledItemDelegate(view), m_view(view) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return QSize(option.rect.width(), m_view->itemLayout().height);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        const ListItemLayout& layout = m_view->itemLayout();
        const QRect item = option.rect;
        painter->save();
        const bool selected = option.state & QStyle::State_Selected;
        painter->fillRect(item, selected ? QColor(0xC9, 0xE3, 0xF5) : QColor(0xF7, 0xFB, 0xFE));
        painter->setPen(QColor(0x4A, 0x73, 0x96));
        painter->drawLine(item.bottomLeft(), item.bottomRight());

        painter->setFont(TouchLook::font(layout.fontSize));
        painter->setPen(QColor(0x10, 0x26, 0x3A));
        for (const ListItemText& text : layout.texts) {
            const QString value = m_view->dataSetModel()->fieldText(index.row(), text.field);
            const QRect where = text.rect.translated(item.topLeft());
            painter->drawText(
                where, int(text.alignment) | Qt::TextSingleLine,
                painter->fontMetrics().elidedText(value, Qt::ElideRight, where.width()));
        }
        if (!layout.buttonCaption.isEmpty()) {
            const QRectF button = layout.button.translated(item.topLeft());
            painter->setRenderHint(QPainter::Antialiasing);
            painter->setBrush(QColor(Qt::white));
            painter->drawRoundedRect(button.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
            painter->drawText(button, Qt::AlignCenter, layout.buttonCaption);
        }
        painter->restore();
    }

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override
    {
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QRect button = m_view->itemLayout().button.translated(option.rect.topLeft());
            if (mouse->button() == Qt::LeftButton && button.contains(mouse->position().toPoint())) {
                m_view->setCurrentIndex(index);
                emit m_view->buttonClicked(index.row());
                return true;
            }
        }
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    }

private:
    DataSetListView* m_view;
};

} // namespace

DataSetListView::DataSetListView(RemoteDataSet& dataSet, ListItemLayout layout, QWidget* parent)
    : QListView(parent), m_model(new DataSetModel(dataSet, this)), m_layout(std::move(layout))
{
    setModel(m_model);
    setItemDelegate(new ItemDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Items are laid out for the list's width; a finger scrolls up and down.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

int DataSetListView::itemCount() const
{
    return m_model->rowCount();
}

QString DataSetListView::itemText(int row) const
{
    return m_model->fieldText(row, kIsnField);
}

int DataSetListView::selectedRow() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

QRect DataSetListView::buttonRect(int row) const
{
    return m_layout.button.translated(visualRect(m_model->index(row, 0)).topLeft());
}

ListItemLayout DocumentListItem()
{
    ListItemLayout item;
    item.height = 96;
    item.fontSize = 16;
    item.texts = {{QStringLiteral("NR_PAVADZ"), QRect(8, 4, 120, 26)},
                  {QStringLiteral("DATUMS"), QRect(128, 4, 105, 26)},
                  {QStringLiteral("NODALA"), QRect(8, 34, 225, 26)},
                  {QStringLiteral("KLIENTS"), QRect(8, 62, 225, 26)}};
    item.button = QRect(238, 26, 90, 46);
    item.buttonCaption = QStringLiteral("Izvēle");
    return item;
}
