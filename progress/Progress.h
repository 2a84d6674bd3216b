// Progress: how long work (reading, indexing, writing) tells how far it has come, and learns that it is to stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <string_view>
#include <utility>

// Handed down by value or const reference to the loader and the corpus. The
// report callback runs on the working thread, the one that called the work
// (work spread over cores reports from that thread alone, so a callback
// needs no lock of its own), as often as the work likes (a front
// throttles what it shows); the stop flag may be set from any
// thread, and the work stops at its next check by throwing Stopped, which
// leaves nothing half-made behind. A default Progress reports nowhere and
// never stops.
class Progress {
public:
    enum class Stage {
        Reading,     // bytes read of the bytes planned; item: the file
        Extracting,  // documents turned into text of the documents to read; item: the one begun or ended
        Cutting,     // bytes cut into tokens of the bytes read
        Sorting,     // an index direction: done of total directions
        Writing,     // bytes written of the bytes to write; item: the file
    };
    struct Step {
        Stage stage;
        std::uint64_t done;
        std::uint64_t total;  // 0 when unknown
        std::string_view item;
    };
    using Report = std::function<void(const Step &)>;

    // What throwIfStopped() throws.
    struct Stopped : std::exception {
        const char *what() const noexcept override { return "stopped"; }
    };

    Progress() = default;
    // `stop` (may be null) must outlive every use of this object.
    Progress(Report report, const std::atomic<bool> *stop) : report_(std::move(report)), stop_(stop) {}

    void report(Stage stage, std::uint64_t done, std::uint64_t total, std::string_view item = {}) const
    {
        if (report_)
            report_(Step{stage, done, total, item});
    }
    bool stopRequested() const { return stop_ != nullptr && stop_->load(std::memory_order_relaxed); }
    void throwIfStopped() const
    {
        if (stopRequested())
            throw Stopped();
    }
    // The flag itself, for work that polls it in a tight loop; may be null.
    const std::atomic<bool> *stopFlag() const { return stop_; }

private:
    Report report_;
    const std::atomic<bool> *stop_ = nullptr;
};
