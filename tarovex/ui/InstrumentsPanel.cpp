#include "tarovex/ui/InstrumentsPanel.h"

#include "tarovex/ui/WindowTabs.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <utility>

namespace tarovex::ui {

InstrumentsPanel::InstrumentsPanel(QWidget* parent)
    : QWidget(parent), table_(new QTableWidget(0, 4)),
      add_(new QPushButton(frameText("addInstrumentButton.text"))),
      startStop_(new QPushButton(frameText("startStopJButton.text"))),
      rename_(new QPushButton(frameText("renameInstrumentButton.text"))),
      remove_(new QPushButton(frameText("removeInstrumentButton.text"))) {
    table_->setHorizontalHeaderLabels({frameText("instrumentsTable.name"), frameText("instrumentsTable.port"),
                                       frameText("instrumentsTable.state"),
                                       frameText("instrumentsTable.value")});
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    table_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    connect(table_, &QTableWidget::itemSelectionChanged, this, &InstrumentsPanel::selectionMoved);
    // Never taller than it needs: the Start button below takes the rest.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(table_, 1, Qt::AlignTop);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {startStop_, rename_, remove_, add_})
        buttons->addWidget(b);
    buttons->addStretch();
    layout->addStretch(); // keeps the lone button at the right while the table is hidden
    layout->addLayout(buttons);
    showRows({});
}

void InstrumentsPanel::showRows(const QList<InstrumentRow>& rows) {
    const bool several = rows.size() > 1;
    table_->setVisible(several);
    for (QPushButton* b : {startStop_, rename_, remove_})
        b->setVisible(several);
    if (rows == rows_)
        return;
    const int selected = selectedRow();
    rows_ = rows;
    table_->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const InstrumentRow& row = rows[r];
        const QString cells[] = {row.name, row.port, row.state, row.value};
        for (int c = 0; c < 4; ++c) {
            QTableWidgetItem* item = table_->item(r, c);
            if (!item)
                table_->setItem(r, c, item = new QTableWidgetItem);
            item->setText(cells[c]);
            item->setToolTip(cells[c]); // a long reason why it ended is cut in its cell
        }
    }
    // The rows fit without scrolling, up to a few.
    int height = table_->horizontalHeader()->sizeHint().height() + 2 * table_->frameWidth();
    for (int r = 0; r < std::min(int(rows.size()), 5); ++r)
        height += table_->rowHeight(r);
    table_->setFixedHeight(height);
    if (several && selected < rows.size())
        table_->selectRow(selected);
    selectionMoved();
}

int InstrumentsPanel::selectedRow() const {
    const QList<QTableWidgetItem*> items = table_->selectedItems();
    return items.isEmpty() ? 0 : items.first()->row();
}

void InstrumentsPanel::selectionMoved() {
    const int r = selectedRow();
    const bool running = r < rows_.size() && rows_[r].running;
    startStop_->setText(frameText(running ? "startStopJButton.textStop" : "startStopJButton.text"));
    // The first instrument's label and port are its settings, on the tabs.
    rename_->setEnabled(r > 0);
    remove_->setEnabled(r > 0);
    if (std::exchange(lastSelected_, r) != r)
        emit selectedChanged(r);
}

} // namespace tarovex::ui
