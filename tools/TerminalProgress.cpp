#include "TerminalProgress.h"

#include <unistd.h>

#include <cinttypes>
#include <utility>

namespace {

// Bytes as megabytes with one decimal: "45.2 MB".
std::string megabytes(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

// A file name shown on the line: control bytes as '?', and at most the last
// 40 bytes of a long one.
std::string shownItem(std::string_view item)
{
    std::string out(item.size() > 40 ? item.substr(item.size() - 40) : item);
    for (char &c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    }
    return out;
}

}  // namespace

TerminalProgress::TerminalProgress(std::FILE *stream, std::string program)
    : stream_(stream), program_(std::move(program)), terminal_(::isatty(::fileno(stream)) == 1),
      started_(std::chrono::steady_clock::now())
{
}

TerminalProgress::~TerminalProgress()
{
    finish();
}

Progress TerminalProgress::progress()
{
    if (!terminal_)
        return Progress();
    return Progress([this](const Progress::Step &step) { show(step); }, nullptr);
}

void TerminalProgress::finish()
{
    if (!shown_)
        return;
    std::fputs("\r\033[K", stream_);
    std::fflush(stream_);
    shown_ = false;
}

void TerminalProgress::show(const Progress::Step &step)
{
    using namespace std::chrono_literals;
    const auto now = std::chrono::steady_clock::now();
    if (now - started_ < 1s || (shown_ && now - lastShown_ < 100ms))
        return;
    lastShown_ = now;
    std::string line;
    switch (step.stage) {
    case Progress::Stage::Reading:
        line = "reading " + megabytes(step.done) + (step.total ? " of " + megabytes(step.total) : std::string());
        break;
    case Progress::Stage::Extracting:
        line = "reading documents, " + std::to_string(step.done) + " of " + std::to_string(step.total) + " done";
        break;
    case Progress::Stage::Cutting:
        line = "cutting " + megabytes(step.done) + " of " + megabytes(step.total) + " into words";
        break;
    case Progress::Stage::Sorting:
        line = step.total > 1 ? "indexing (" + std::to_string(step.done) + " of " + std::to_string(step.total)
                                    + " directions done)"
                              : std::string("indexing");
        break;
    case Progress::Stage::Writing:
        line = "writing " + megabytes(step.done) + (step.total ? " of " + megabytes(step.total) : std::string());
        break;
    }
    if (!step.item.empty())
        line += " (" + shownItem(step.item) + ")";
    std::fprintf(stream_, "\r\033[K%s: %s...", program_.c_str(), line.c_str());
    std::fflush(stream_);
    shown_ = true;
}
