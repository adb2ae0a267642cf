#include "tarovex/station/Round.h"

#include "tarovex/station/Run.h"

#include <algorithm>

namespace tarovex {

namespace CH = config::ConfigHelper;
namespace Drop = reading::DropReason;

Round::Round(QObject* parent) : QObject(parent) {
    answer_.setSingleShot(true);
    connect(&answer_, &QTimer::timeout, this, &Round::silent);
}

void Round::enrol(Run& run) {
    runs_.push_back(&run);
}

void Round::leave(Run& run) {
    std::erase(runs_, &run);
}

void Round::arrange(const std::vector<Run*>& others) {
    std::vector<Run*> ordered;
    for (Run* run : runs_)
        if (std::find(others.begin(), others.end(), run) == others.end())
            ordered.push_back(run);
    for (Run* run : others)
        if (std::find(runs_.begin(), runs_.end(), run) != runs_.end())
            ordered.push_back(run);
    runs_ = std::move(ordered);
}

void Round::log(const QString& text) {
    // The first instrument's log is the station's own.
    if (!runs_.empty())
        runs_.front()->controller().logImportantEvent(text);
}

QString Round::begin() {
    if (isUnderWay()) {
        const QString why = QStringLiteral("a round is under way: %1 has not answered yet")
                                .arg(asked_[next_ < asked_.size() ? next_ : 0].name);
        log(QStringLiteral("Read now refused: ") + why);
        return why;
    }
    for (Run* run : runs_)
        if (run->controller().isConnected())
            asked_.push_back({&run->controller(),
                              &run->requester(),
                              run->controller().runSettings().instrumentName(),
                              0,
                              {}});
    if (asked_.empty())
        return QStringLiteral("no instrument is reading");
    next_ = 0;
    askNext();
    return {};
}

void Round::askNext() {
    if (next_ == asked_.size())
        return typeRow();
    Asked& a = asked_[next_];
    if (!a.run || !a.requester) {
        log(QStringLiteral("%1 stopped during the round: nothing of it was typed").arg(a.name));
        return end(reading::Delivery::Dropped, Drop::ROUND_INCOMPLETE);
    }
    if (!a.requester->request()) {
        log(QStringLiteral("%1 could not be asked (%2): nothing of the round was typed")
                .arg(a.name, a.requester->knows(Requester::Command::Data)
                                 ? QStringLiteral("a request still waits")
                                 : QStringLiteral("no request command")));
        return end(reading::Delivery::Dropped, Drop::ROUND_INCOMPLETE);
    }
    answer_.start(kAnswerBound);
}

bool Round::offer(RunController& run, const reading::DataLine& line, std::uint64_t id) {
    if (next_ >= asked_.size() || asked_[next_].run != &run)
        return false;
    answer_.stop();
    Asked& a = asked_[next_++];
    a.id = id;
    a.part = run.rowPart(line, id);
    // Not inside the run's handling of this line.
    QMetaObject::invokeMethod(this, &Round::askNext, Qt::QueuedConnection);
    return true;
}

void Round::silent() {
    if (next_ >= asked_.size())
        return;
    log(QStringLiteral("%1 did not answer within %2 s: nothing of the round was typed")
            .arg(asked_[next_].name)
            .arg(double(kAnswerBound.count()) / 1000));
    end(reading::Delivery::Dropped, Drop::ROUND_INCOMPLETE);
}

void Round::typeRow() {
    std::vector<typing::RowPart> row;
    std::vector<std::pair<QPointer<RunController>, std::uint64_t>> kept;
    for (const Asked& a : asked_) {
        row.push_back(a.part);
        kept.emplace_back(a.run, a.id);
    }
    RunController* typing = asked_.front().run;
    // Each reading of the row is recorded with the row's one fate.
    const bool queued = typing && typing->typeRow(std::move(row), [kept](reading::Delivery delivery,
                                                                         QLatin1StringView reason) {
        for (const auto& [run, id] : kept)
            if (run)
                run->settleKept(id, delivery, reason);
    });
    if (!queued) {
        log(QStringLiteral("The row of the round could not be handed to the keyboard of %1")
                .arg(asked_.front().name));
        return end(reading::Delivery::Dropped, Drop::TYPING_FAILED);
    }
    asked_.clear();
    next_ = 0;
}

void Round::end(reading::Delivery delivery, QLatin1StringView reason) {
    answer_.stop();
    for (const Asked& a : asked_)
        if (a.run && a.id)
            a.run->settleKept(a.id, delivery, reason);
    asked_.clear();
    next_ = 0;
}

} // namespace tarovex
