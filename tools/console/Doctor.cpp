#include "Doctor.h"

#include "worker/doctor/Doctor.h"

#include <unistd.h>

namespace tarovex::console {

int runDoctor(const QStringList& ports, int out) {
    const auto findings = worker::doctor::checkThisComputer(worker::doctor::SystemView::current(), ports);
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
