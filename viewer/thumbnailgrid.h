#pragma once
// The six-column grid of numbered thumbnails under the view. It knows nothing of libraries: the
// main window tells it which cells hold an image and paints them; the grid reports the cell the
// user moves to. Painting never changes what is selected.

#include <QTableView>
#include <functional>

class ThumbnailGrid : public QTableView
{
    Q_OBJECT
public:
    static constexpr int Columns = 6;
    static constexpr int CellSize = 64; // drawn area of a cell; one grid line lies beside it

    // Paints the content of cell (column, row) into `rect`; `selected` is the draw state.
    using CellPainter =
        std::function<void(QPainter &painter, int column, int row, const QRect &rect, bool selected)>;
    // Whether cell (column, row) stands for an image; other cells cannot be selected.
    using CellFilter = std::function<bool(int column, int row)>;

    explicit ThumbnailGrid(QWidget *parent = nullptr);

    void setCellPainter(CellPainter painter) { m_painter = std::move(painter); }
    void setCellFilter(CellFilter filter) { m_filter = std::move(filter); }
    bool cellHoldsImage(int column, int row) const;
    void paintCell(QPainter &painter, int column, int row, const QRect &rect, bool selected) const;

    int rowCount() const;
    // Resets the grid to `rows` rows (at least 1); the selection is cleared.
    void setRowCount(int rows);
    // Makes (column, row) the current cell, selected alone unless it already was current, and
    // scrolls to it, without emitting cellChosen.
    void selectCell(int column, int row);
    // The current cell, or (-1, -1).
    QPoint currentCell() const;
    // Re-reads which cells hold images and repaints every visible cell.
    void refresh();

signals:
    // The user made (column, row) the current cell (mouse or keyboard).
    void cellChosen(int column, int row);

private:
    class Model;
    class Delegate;
    Model *m_model;
    CellPainter m_painter;
    CellFilter m_filter;
    bool m_quiet = false;
};
