#include "TextReading.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// One read asks for at most this much: reads of a few hundred megabytes at
// once were several times slower from the page cache than reads of 1 MiB.
constexpr std::size_t maxReadBytes = std::size_t{1} << 20;
// The first allocation when the size is unknown, and the look past the limit.
constexpr std::size_t smallChunk = std::size_t{64} << 10;

// Makes `text` `size` bytes long. The pages of a large text are asked for
// in one go, as huge pages where the system gives them on request: faulting
// in 100 MB page by page took about a second on a loaded virtual machine,
// with huge pages a tenth of that; for a folder of files of half a megabyte
// each, populating each buffer at once saved a quarter. Both are only advice.
// A gigabyte is populated and sized in pieces, reading the stop between
// them: touching fresh pages ran at a few hundred megabytes a second on a
// virtual machine, and a stop is not to wait for all of them.
void resizeForReading(std::string &text, std::size_t size, const Progress &progress)
{
    constexpr std::size_t piece = std::size_t{16} << 20;
    text.reserve(size);
    const auto populate = [&](std::uintptr_t unit, int advice) {
        const auto begin = reinterpret_cast<std::uintptr_t>(text.data());
        const std::uintptr_t first = (begin + unit - 1) & ~(unit - 1);
        const std::uintptr_t last = (begin + size) & ~(unit - 1);
        for (std::uintptr_t from = first; from < last; from += piece) {
            progress.throwIfStopped();
            ::madvise(reinterpret_cast<void *>(from), std::min<std::uintptr_t>(piece, last - from), advice);
        }
    };
#ifdef MADV_HUGEPAGE
    if (size >= std::size_t{4} << 20)
        populate(std::uintptr_t{2} << 20, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
    if (size >= std::size_t{64} << 10)
        populate(std::uintptr_t(::sysconf(_SC_PAGESIZE)), MADV_POPULATE_WRITE);
#endif
    while (text.size() < size) {
        progress.throwIfStopped();
        text.resize(size - text.size() > piece ? text.size() + piece : size);
    }
}

}  // namespace

int openWithoutBlocking(const char *path, int extraFlags, struct stat &status, std::string &why)
{
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | extraFlags);
    if (fd < 0) {
        why = std::strerror(errno);
        return -1;
    }
    if (::fstat(fd, &status) != 0) {
        why = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

void makeBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

std::size_t dropCarriageReturns(char *bytes, std::size_t length)
{
    char *const end = bytes + length;
    char *found = static_cast<char *>(std::memchr(bytes, '\r', length));
    if (!found)
        return length;
    char *write = found;
    const char *read = found + 1;
    while (read < end) {
        const char *next = static_cast<const char *>(std::memchr(read, '\r', static_cast<std::size_t>(end - read)));
        const char *stop = next ? next : end;
        std::memmove(write, read, static_cast<std::size_t>(stop - read));
        write += stop - read;
        if (!next)
            break;
        read = next + 1;
    }
    return static_cast<std::size_t>(write - bytes);
}

TextRead readText(int fd, std::uint64_t limit, std::uint64_t sizeHint, std::string &text, const Progress &progress,
                  std::uint64_t doneBefore, std::uint64_t planned, std::string_view item, bool raw)
{
    TextRead result;
    text.clear();
    std::size_t kept = 0;
    const auto grownSize = [&](std::size_t size) {
        const std::uint64_t wanted = std::max<std::uint64_t>(std::uint64_t{size} * 2, smallChunk);
        return static_cast<std::size_t>(std::min(wanted, limit));
    };
    // Told before the buffer is made: the pages of a gigabyte take seconds
    // to come, and the file being read should show meanwhile.
    progress.report(Progress::Stage::Reading, doneBefore, planned, item);
    // One more byte than the file holds: a read that fills it shows the file grew.
    resizeForReading(text, static_cast<std::size_t>(std::min(limit, sizeHint ? sizeHint + 1 : std::uint64_t{smallChunk})),
                     progress);
    bool atEnd = false;
    while (kept < limit) {
        if (kept == text.size())
            resizeForReading(text, grownSize(text.size()), progress);
        const std::size_t room = std::min(text.size() - kept, maxReadBytes);
        const ssize_t got = ::read(fd, text.data() + kept, room);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            result.error = errno;
            text.resize(kept);
            return result;
        }
        if (got == 0) {
            atEnd = true;
            break;
        }
        result.rawBytes += static_cast<std::uint64_t>(got);
        kept += raw ? static_cast<std::size_t>(got) : dropCarriageReturns(text.data() + kept, static_cast<std::size_t>(got));
        progress.report(Progress::Stage::Reading, doneBefore + result.rawBytes, planned, item);
        if (progress.stopRequested()) {
            text.resize(kept);
            throw Progress::Stopped();
        }
    }
    text.resize(kept);

    // At the limit: the text is whole if only carriage returns follow.
    char probe[smallChunk];
    while (!atEnd) {
        const ssize_t got = ::read(fd, probe, sizeof probe);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            break;  // what follows is unknown: taken as more text
        if (got == 0)
            atEnd = true;
        else if (raw || dropCarriageReturns(probe, static_cast<std::size_t>(got)) != 0)
            break;
    }
    result.complete = atEnd;
    return result;
}
