#include "Doctor.h"

#include "typing/DataControlClipboard.h"
#include "typing/KeyOutputFactory.h"
#include "worker/doctor/Doctor.h"

#include <unistd.h>

namespace tarovex::console {

int runDoctor(const QStringList& ports, int out) {
    auto findings = worker::doctor::checkThisComputer(worker::doctor::SystemView::current(), ports);
    // Pasting: the compositor's clipboard on Wayland; on X11 only the window has one.
    using Severity = worker::doctor::Finding::Severity;
    const auto session = typing::SessionEnvironment::current();
    const std::optional<QString> why =
        session.isWaylandSession() ? typing::DataControlClipboard::unavailableOn(session.waylandDisplay)
                                   : QStringLiteral("only the window can paste here (X11 clipboard)");
    if (why)
        findings.push_back(
            {Severity::Warning,
             QStringLiteral("Pasting (outputMode paste or auto) does not work here: %1. Values "
                            "are typed instead.")
                 .arg(*why),
             {}});
    else
        findings.push_back(
            {Severity::Ok,
             QStringLiteral("Pasting (outputMode paste or auto) works here: values go through the "
                            "compositor's clipboard, which is put back right after."),
             {}});
    const QByteArray report = worker::doctor::formatReport(findings).toUtf8();
    for (qsizetype done = 0; done < report.size();) {
        const ssize_t n = ::write(out, report.constData() + done, size_t(report.size() - done));
        if (n <= 0)
            break;
        done += n;
    }
    return worker::doctor::blocksReadingOrTyping(findings) ? 1 : 0;
}

} // namespace tarovex::console
