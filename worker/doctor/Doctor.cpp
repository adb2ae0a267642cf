#include "worker/doctor/Doctor.h"

namespace tarovex::worker::doctor {

Findings checkThisComputer(const SystemView& view, const QStringList& ports) {
    Findings all = checkKeyboard(view);
    if (ports.isEmpty())
        all.push_back({Finding::Severity::Problem,
                       QStringLiteral("No serial port was found: connect the instrument, or name its port."),
                       QStringLiteral("ls -l /dev/serial/by-id/")});
    for (const QString& port : ports) {
        const Findings f = checkPort(view, port);
        all.insert(all.end(), f.begin(), f.end());
    }
    for (const Findings& f : {checkScales(view), checkPortServices(view), checkSound(view)})
        all.insert(all.end(), f.begin(), f.end());
    return all;
}

bool blocksReadingOrTyping(const Findings& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding& f) { return f.severity == Finding::Severity::Problem; });
}

QString formatReport(const Findings& findings) {
    QString text;
    int problems = 0, warnings = 0;
    for (const Finding& f : findings) {
        const char* mark = "ok       ";
        if (f.severity == Finding::Severity::Warning) {
            mark = "warning  ";
            ++warnings;
        } else if (f.severity == Finding::Severity::Problem) {
            mark = "PROBLEM  ";
            ++problems;
        }
        text += QLatin1StringView(mark) + f.sentence + u'\n';
        if (!f.fix.isEmpty())
            text += QStringLiteral("         fix: ") + f.fix + u'\n';
    }
    if (problems > 0)
        text += QStringLiteral("%1 problem(s) stop reading or typing; %2 warning(s).\n")
                    .arg(problems)
                    .arg(warnings);
    else
        text += QStringLiteral("Nothing stops reading and typing; %1 warning(s).\n").arg(warnings);
    return text;
}

} // namespace tarovex::worker::doctor
