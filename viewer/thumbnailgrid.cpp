#include "thumbnailgrid.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

// The grid's cells carry no data: the main window paints them from the library.
class ThumbnailGrid::Model : public QAbstractTableModel
{
public:
    explicit Model(ThumbnailGrid *grid) : QAbstractTableModel(grid), m_grid(grid) {}

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : m_rows; }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : Columns;
    }
    QVariant data(const QModelIndex &, int) const override { return {}; }
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        // Cells past the last image cannot be selected, so choosing one changes nothing.
        if (index.isValid() && m_grid->cellHoldsImage(index.column(), index.row()))
            return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        return Qt::NoItemFlags;
    }
    void setRows(int rows)
    {
        beginResetModel();
        m_rows = rows;
        endResetModel();
    }
    int rows() const { return m_rows; }

private:
    ThumbnailGrid *m_grid;
    int m_rows = 1;
};

class ThumbnailGrid::Delegate : public QStyledItemDelegate
{
public:
    explicit Delegate(ThumbnailGrid *grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        // The focused cell is drawn like the selected ones.
        const bool selected = option.state & (QStyle::State_Selected | QStyle::State_HasFocus);
        // Cells past the last image are not selectable, which Qt would draw greyed; they are
        // drawn like any other empty cell.
        const QPalette &palette = m_grid->palette();
        painter->save();
        painter->fillRect(option.rect, palette.brush(QPalette::Active, selected ? QPalette::Highlight : QPalette::Base));
        painter->setPen(palette.color(QPalette::Active, selected ? QPalette::HighlightedText : QPalette::Text));
        m_grid->paintCell(*painter, index.column(), index.row(), option.rect, selected);
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return {CellSize, CellSize};
    }

private:
    ThumbnailGrid *m_grid;
};

ThumbnailGrid::ThumbnailGrid(QWidget *parent) : QTableView(parent), m_model(new Model(this))
{
    setModel(m_model);
    setItemDelegate(new Delegate(this));
    horizontalHeader()->hide();
    verticalHeader()->hide();
    // A section holds the cell and the one-pixel grid line beside it.
    for (QHeaderView *header : {horizontalHeader(), verticalHeader()}) {
        header->setMinimumSectionSize(1);
        header->setDefaultSectionSize(CellSize + 1);
        header->setSectionResizeMode(QHeaderView::Fixed);
    }
    setShowGrid(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (!m_quiet && current.isValid())
                    emit cellChosen(current.column(), current.row());
            });
}

bool ThumbnailGrid::cellHoldsImage(int column, int row) const
{
    return m_filter && m_filter(column, row);
}

void ThumbnailGrid::paintCell(QPainter &painter, int column, int row, const QRect &rect,
                              bool selected) const
{
    if (m_painter)
        m_painter(painter, column, row, rect, selected);
}

int ThumbnailGrid::rowCount() const { return m_model->rows(); }

void ThumbnailGrid::setRowCount(int rows)
{
    const bool quiet = m_quiet;
    m_quiet = true;
    m_model->setRows(qMax(1, rows));
    m_quiet = quiet;
}

void ThumbnailGrid::selectCell(int column, int row)
{
    const QModelIndex index = m_model->index(row, column);
    if (!index.isValid())
        return;
    const bool quiet = m_quiet;
    m_quiet = true;
    // When the user has just made this cell current, the selection is the user's (a range, or
    // cells added with Ctrl) and stays as it is.
    if (currentIndex() != index)
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
    m_quiet = quiet;
}

QPoint ThumbnailGrid::currentCell() const
{
    const QModelIndex index = currentIndex();
    return index.isValid() ? QPoint(index.column(), index.row()) : QPoint(-1, -1);
}

void ThumbnailGrid::refresh() { viewport()->update(); }
