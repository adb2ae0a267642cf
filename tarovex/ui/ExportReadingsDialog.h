#pragma once

class QWidget;

namespace tarovex::ui {

// "Export readings...": asks for a range of days and a format, then a file, and writes the
// journal's readings of those days (local dates, both included) there as CSV or JSON lines.
// Modal; reports the outcome in a message box.
void exportReadings(QWidget* parent);

} // namespace tarovex::ui
