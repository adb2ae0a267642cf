#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QPushButton;
class QTableWidget;

namespace tarovex::ui {

// What one row of the instruments table shows.
struct InstrumentRow {
    QString name, port, state, value;
    bool running = false; // reading or opening: its button stops it
    friend bool operator==(const InstrumentRow&, const InstrumentRow&) = default;
};

// The Start tab's instruments: "Add instrument…" alone while the station has one, and once it
// has more, a table of them all (the window's first on top) with buttons acting on the
// selected row. The window fills it and wires the buttons.
class InstrumentsPanel : public QWidget {
    Q_OBJECT

public:
    explicit InstrumentsPanel(QWidget* parent = nullptr);
    void showRows(const QList<InstrumentRow>& rows);
    // The selected row; 0 (the first instrument) when none is.
    int selectedRow() const;

    QTableWidget* table() const { return table_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* startStopButton() const { return startStop_; }
    QPushButton* renameButton() const { return rename_; }
    QPushButton* removeButton() const { return remove_; }

signals:
    // Another row was selected (0 also when the table went away).
    void selectedChanged(int row);

private:
    void selectionMoved();

    QTableWidget* table_;
    QPushButton* add_;
    QPushButton* startStop_;
    QPushButton* rename_;
    QPushButton* remove_;
    QList<InstrumentRow> rows_;
    int lastSelected_ = 0;
};

} // namespace tarovex::ui
