// CorpusOpener: opens corpora on worker threads, reports how far the current load has come, and cancels it.
#pragma once

#include "CorpusRequest.h"
#include "OpenedCorpus.h"
#include "Vocabulary.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <vector>

// One load at a time is current: start() stops the one before (it ends
// soon, its result is dropped). Reading and indexing run on a thread of
// their own; the loader lives on the GUI thread and its signals come there.
// Progress is polled ten times a second, so a fast load costs no events.
// Destroying the loader stops every load and waits for it (a stop is heeded
// within a fraction of a second).
class CorpusOpener : public QObject {
    Q_OBJECT
public:
    explicit CorpusOpener(QObject *parent = nullptr);
    ~CorpusOpener() override;

    // Starts opening `request`, stopping the current load if there is one.
    void start(const CorpusRequest &request);
    // Stops the current load; cancelled() follows at once.
    void cancel();
    bool busy() const { return current_ != nullptr; }
    // What the current load is opening.
    const CorpusRequest &request() const { return request_; }

signals:
    // What is being done, in one line for the status bar ("Reading
    // kjv.txt — 1.2 MB of 4.3 MB"), and how far in thousandths (-1 when it
    // cannot tell: a busy indicator then).
    void progressed(const QString &text, int permille);
    // The corpus of the current load with its vocabulary, and a line worth
    // telling about it (a saved index whose sources changed), or nothing.
    void loaded(std::shared_ptr<const OpenedCorpus> corpus, std::shared_ptr<const Vocabulary> vocabulary,
                const QString &warning);
    // Why the current load failed, in one line.
    void failed(const QString &reason);
    void cancelled();

private:
    struct Job;
    void finish(const std::shared_ptr<Job> &job);
    void poll();

    std::shared_ptr<Job> current_;
    std::vector<std::shared_ptr<Job>> jobs_;  // every job whose thread is still to be joined
    CorpusRequest request_;
    QTimer poller_;
};
