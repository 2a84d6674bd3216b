#include "CorpusOpener.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

struct CorpusOpener::Job {
    CorpusRequest request;
    std::atomic<bool> stop{false};
    std::thread thread;

    std::mutex mutex;  // guards what follows, written by the worker
    Progress::Step step{Progress::Stage::Reading, 0, 0, {}};
    std::string item;  // the step's item, copied
    bool stepFresh = false;
    OpenedCorpus::Outcome outcome;
    std::shared_ptr<const Vocabulary> vocabulary;
};

CorpusOpener::CorpusOpener(QObject *parent) : QObject(parent)
{
    poller_.setInterval(100);
    connect(&poller_, &QTimer::timeout, this, &CorpusOpener::poll);
}

CorpusOpener::~CorpusOpener()
{
    for (const auto &job : jobs_)
        job->stop = true;
    for (const auto &job : jobs_)
        job->thread.join();
}

void CorpusOpener::start(const CorpusRequest &request)
{
    if (current_) {
        current_->stop = true;
        current_.reset();
    }
    auto job = std::make_shared<Job>();
    job->request = request;
    request_ = request;
    current_ = job;
    jobs_.push_back(job);
    // The worker holds the job only by a plain pointer: the loader owns it
    // and joins the thread before it lets it go.
    Job *raw = job.get();
    job->thread = std::thread([this, raw] {
        const Progress progress(
            [raw](const Progress::Step &step) {
                const std::lock_guard lock(raw->mutex);
                raw->step = step;
                raw->item.assign(step.item);
                raw->stepFresh = true;
            },
            &raw->stop);
        OpenedCorpus::Outcome outcome;
        std::shared_ptr<const Vocabulary> vocabulary;
        try {
            outcome = OpenedCorpus::open(raw->request, progress);
            if (outcome.opened)
                vocabulary = std::make_shared<const Vocabulary>(outcome.opened->corpus(), &raw->stop);
        } catch (const Progress::Stopped &) {
            outcome = {};
            outcome.stopped = true;
        } catch (const std::bad_alloc &) {
            outcome = {};
            outcome.reason = "not enough memory to open the corpus";
        } catch (const std::exception &failure) {
            // Nothing else is expected; it ends this load, not the program.
            outcome = {};
            outcome.reason = failure.what();
        }
        {
            const std::lock_guard lock(raw->mutex);
            raw->outcome = std::move(outcome);
            raw->vocabulary = std::move(vocabulary);
        }
        // Back on the loader's thread; dropped if the loader is gone by then.
        QMetaObject::invokeMethod(
            this,
            [this, raw] {
                const auto found = std::find_if(jobs_.begin(), jobs_.end(),
                                                [raw](const std::shared_ptr<Job> &job) { return job.get() == raw; });
                if (found != jobs_.end())
                    finish(*found);
            },
            Qt::QueuedConnection);
    });
    poller_.start();
}

void CorpusOpener::cancel()
{
    if (!current_)
        return;
    current_->stop = true;
    current_.reset();
    poller_.stop();
    emit cancelled();
}

void CorpusOpener::finish(const std::shared_ptr<Job> &job)
{
    job->thread.join();
    const std::shared_ptr<Job> keep = job;
    jobs_.erase(std::find(jobs_.begin(), jobs_.end(), keep));
    if (keep != current_)
        return;  // stopped: someone else is current, or nobody
    current_.reset();
    poller_.stop();
    OpenedCorpus::Outcome &outcome = keep->outcome;
    if (outcome.opened) {
        std::shared_ptr<const OpenedCorpus> corpus(std::move(outcome.opened));
        emit loaded(std::move(corpus), keep->vocabulary, QString::fromStdString(outcome.warning));
    } else if (outcome.stopped) {
        emit cancelled();
    } else {
        emit failed(QString::fromStdString(outcome.reason));
    }
}

void CorpusOpener::poll()
{
    if (!current_)
        return;
    Progress::Step step;
    QString item;
    {
        const std::lock_guard lock(current_->mutex);
        if (!current_->stepFresh)
            return;
        current_->stepFresh = false;
        step = current_->step;
        item = QFile::decodeName(QByteArray::fromStdString(current_->item));
    }
    const QLocale locale;
    const auto sizes = [&](const QString &what) {
        return step.total > 0 ? tr("%1 \u2014 %2 of %3")
                                    .arg(what, locale.formattedDataSize(static_cast<qint64>(step.done)),
                                         locale.formattedDataSize(static_cast<qint64>(step.total)))
                              : what;
    };
    QString text;
    int permille = step.total > 0 ? static_cast<int>(1000.0 * static_cast<double>(std::min(step.done, step.total))
                                                     / static_cast<double>(step.total))
                                  : -1;
    switch (step.stage) {
    case Progress::Stage::Reading:
        text = sizes(item.isEmpty() ? tr("Reading") : tr("Reading %1").arg(item));
        break;
    case Progress::Stage::Extracting:
    {
        // Documents, not bytes: a reader's time follows its markup, not its size on disk.
        const QString done = locale.toString(static_cast<qulonglong>(step.done));
        const QString total = locale.toString(static_cast<qulonglong>(step.total));
        text = item.isEmpty() ? tr("Reading documents \u2014 %1 of %2").arg(done, total)
                              : tr("Reading documents \u2014 %1 of %2: %3").arg(done, total, item);
        break;
    }
    case Progress::Stage::Cutting:
        text = sizes(tr("Cutting words"));
        break;
    case Progress::Stage::Sorting:
        // The indexing counts what it has sorted, not bytes: nothing moves
        // for a while at its start, so it shows as busy until something is done.
        text = tr("Indexing");
        if (step.done == 0)
            permille = -1;
        break;
    case Progress::Stage::Writing:
        text = sizes(tr("Writing"));
        break;
    }
    emit progressed(text, permille);
}
