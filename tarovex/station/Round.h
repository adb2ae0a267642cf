#pragma once

#include "reading/DataLine.h"
#include "reading/Outcome.h"
#include "typing/KeystrokeQueue.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <vector>

namespace tarovex {

class Run;
class RunController;
class Requester;

// The rounds of a station (setting round): Read now or the request key asks its reading
// instruments one after the other, each for its next value, and the values go to the keyboard
// as one row, typed whole in one turn by the first instrument's run: each with its own start
// key and terminator. Meanwhile no value is typed as it arrives; one nobody asked for is
// recorded as not typed. An instrument silent for kAnswerBound ends the round with nothing
// typed. The runs sharing the services that hold this one enrol themselves, in the station's
// order. UI thread.
class Round : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kAnswerBound{5000};

    explicit Round(QObject* parent = nullptr);

    // The runs of the station, in the order they were made.
    void enrol(Run& run);
    void leave(Run& run);
    // The further instruments were reordered: `others` in this order, after the first.
    void arrange(const std::vector<Run*>& others);
    // Whether a run with round mode `on` keeps its values for rounds: only in a station of
    // more than one instrument.
    bool applies(bool on) const { return on && runs_.size() > 1; }
    bool isUnderWay() const { return !asked_.empty(); }

    // Begins a round over the instruments reading now; why not, empty when it began. A round
    // under way refuses it (logged), none is queued.
    QString begin();
    // A value of `run` arrived under `id` while rounds apply: true when the round under way
    // asked that run for it and keeps it; its fate is settled through the run later.
    bool offer(RunController& run, const reading::DataLine& line, std::uint64_t id);

private:
    struct Asked {
        QPointer<RunController> run;
        QPointer<Requester> requester;
        QString name;
        std::uint64_t id = 0; // of its value, once it answered
        typing::RowPart part;
    };
    void askNext();
    void silent();
    void typeRow();
    // Ends the round; every value it kept gets this fate.
    void end(reading::Delivery delivery, QLatin1StringView reason);
    void log(const QString& text);

    std::vector<Run*> runs_;
    std::vector<Asked> asked_;
    std::size_t next_ = 0; // the one asked now
    QTimer answer_;
};

} // namespace tarovex
