#include "tarovex/ui/ExportReadingsDialog.h"

#include "journal/JournalDb.h"
#include "journal/JournalExport.h"
#include "tarovex/texts/ShellBundle.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QMessageBox>
#include <QSaveFile>

namespace tarovex::ui {

void exportReadings(QWidget* parent) {
    const QString path = journal::JournalDb::defaultPath();
    const QString title = text(QStringLiteral("export.readings.title"));
    if (!QFileInfo::exists(path)) {
        QMessageBox::information(parent, title, text(QStringLiteral("export.readings.none")));
        return;
    }
    QDialog dialog(parent);
    dialog.setWindowTitle(title);
    auto* form = new QFormLayout(&dialog);
    const QDate today = QDate::currentDate();
    auto* from = new QDateEdit(today.addDays(-6));
    auto* to = new QDateEdit(today);
    for (QDateEdit* d : {from, to}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    }
    auto* format = new QComboBox;
    format->addItems(
        {text(QStringLiteral("export.readings.csv")), text(QStringLiteral("export.readings.json"))});
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(text(QStringLiteral("export.readings.from")), from);
    form->addRow(text(QStringLiteral("export.readings.to")), to);
    form->addRow(text(QStringLiteral("export.readings.format")), format);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return;

    const bool csv = format->currentIndex() == 0;
    const QString suggested =
        QDir::homePath() +
        QStringLiteral("/readings-%1.%2")
            .arg(from->date().toString(Qt::ISODate), csv ? QStringLiteral("csv") : QStringLiteral("jsonl"));
    const QString file = QFileDialog::getSaveFileName(parent, title, suggested);
    if (file.isEmpty())
        return;
    QSaveFile out(file);
    try {
        if (!out.open(QIODevice::WriteOnly))
            throw journal::JournalError(
                shellBundle()
                    .format(QStringLiteral("export.readings.unwritable"), {file, out.errorString()})
                    .toStdString());
        journal::JournalDb db(path);
        const std::int64_t n =
            journal::exportJournal(db, from->date().startOfDay().toMSecsSinceEpoch(),
                                   to->date().addDays(1).startOfDay().toMSecsSinceEpoch(),
                                   csv ? journal::ExportFormat::Csv : journal::ExportFormat::Json, out);
        if (!out.commit())
            throw journal::JournalError(
                shellBundle()
                    .format(QStringLiteral("export.readings.unwritable"), {file, out.errorString()})
                    .toStdString());
        QMessageBox::information(
            parent, title,
            shellBundle().format(QStringLiteral("export.readings.written"), {QString::number(n), file}));
    } catch (const journal::JournalError& e) {
        out.cancelWriting();
        QMessageBox::warning(parent, title, QString::fromUtf8(e.what()));
    }
}

} // namespace tarovex::ui
