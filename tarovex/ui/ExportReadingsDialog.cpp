#include "tarovex/ui/ExportReadingsDialog.h"

#include "journal/ExportTask.h"
#include "journal/JournalDb.h"
#include "tarovex/texts/ShellBundle.h"

#include <QComboBox>
#include <QEventLoop>
#include <QProgressDialog>
#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QMessageBox>

#include <optional>

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
    // On a thread of its own: a year of readings takes a while, and the run goes on meanwhile.
    QProgressDialog progress(shellBundle().format(QStringLiteral("export.readings.progress"), {QStringLiteral("0")}),
                             text(QStringLiteral("export.readings.cancel")), 0, 0, parent);
    progress.setWindowTitle(title);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    QEventLoop loop;
    std::optional<journal::ExportTask::Outcome> outcome;
    QObject context; // what the export's thread posts to; gone with this function
    journal::ExportTask task(
        path, file, from->date().startOfDay().toMSecsSinceEpoch(),
        to->date().addDays(1).startOfDay().toMSecsSinceEpoch(),
        csv ? journal::ExportFormat::Csv : journal::ExportFormat::Json,
        [&](std::int64_t n) {
            QMetaObject::invokeMethod(&context, [&progress, n] {
                progress.setLabelText(
                    shellBundle().format(QStringLiteral("export.readings.progress"), {QString::number(n)}));
            });
        },
        [&](journal::ExportTask::Outcome o) {
            QMetaObject::invokeMethod(&context, [&, o] {
                outcome = o;
                loop.quit();
            });
        });
    QObject::connect(&progress, &QProgressDialog::canceled, &context, [&task] { task.cancel(); });
    if (!outcome)
        loop.exec();
    progress.reset();
    if (outcome->cancelled)
        return;
    if (!outcome->error.isEmpty())
        QMessageBox::warning(parent, title,
                             outcome->fileFailed ? shellBundle().format(QStringLiteral("export.readings.unwritable"),
                                                                        {file, outcome->error})
                                                 : outcome->error);
    else
        QMessageBox::information(parent, title,
                                 shellBundle().format(QStringLiteral("export.readings.written"),
                                                      {QString::number(outcome->written), file}));
}

} // namespace tarovex::ui
