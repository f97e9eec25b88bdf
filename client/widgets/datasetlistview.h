#pragma once

#include <QList>
#include <QListView>
#include <QRect>
#include <QString>

class DataSetModel;
class RemoteDataSet;

// Where one field of a row is drawn inside a list item.
struct ListItemText
{
    QString field;
    QRect rect; // within the item
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
};

// The look of every item of a list: its height, its texts and one button.
struct ListItemLayout
{
    int height = 110;
    QList<ListItemText> texts;
    QRect button; // within the item
    QString buttonCaption;
    int fontSize = 16;
};

// The item of a list of documents (cdsPavadzimes): number and date, the
// department, the client or the other department, and "Izvēle".
ListItemLayout DocumentListItem();

// A list bound to a remote dataset: one item per row, in the order of the
// rows, refilled whenever the dataset is opened again and emptied when it
// closes. Each item carries the row's ISN as its own text and a button;
// tapping the button selects the item first, then emits buttonClicked, so a
// handler reads the selected item as the list's users expect.
class DataSetListView final : public QListView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DataSetListView)

public:
    DataSetListView(RemoteDataSet& dataSet, ListItemLayout layout, QWidget* parent);

    DataSetModel* dataSetModel() const { return m_model; }
    const ListItemLayout& itemLayout() const { return m_layout; }

    int itemCount() const;
    // The item's own text: the ISN of its row.
    QString itemText(int row) const;
    // The row of the selected item, -1 when none is selected.
    int selectedRow() const;
    // The button of an item, in the viewport's coordinates.
    QRect buttonRect(int row) const;

signals:
    void buttonClicked(int row);

private:
    DataSetModel* m_model;
    ListItemLayout m_layout;
};
