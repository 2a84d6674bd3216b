#include "FileLineSource.h"

#include "TextReading.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Reads of a megabyte: larger ones were slower from the page cache.
constexpr std::size_t readBytes = std::size_t{1} << 20;

}  // namespace

std::unique_ptr<FileLineSource> FileLineSource::open(const std::string &path, bool followLink, std::string &why)
{
    struct stat status {};
    const int fd = openWithoutBlocking(path.c_str(), followLink ? 0 : O_NOFOLLOW, status, why);
    if (fd < 0)
        return nullptr;
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        why = "no longer a regular file";
        return nullptr;
    }
    makeBlocking(fd);
    return std::unique_ptr<FileLineSource>(new FileLineSource(fd));
}

FileLineSource::~FileLineSource()
{
    ::close(fd_);
}

std::size_t FileLineSource::read(char *into, std::size_t room)
{
    // A read of nothing but carriage returns keeps nothing and is no end.
    while (error_ == 0) {
        const ssize_t got = ::read(fd_, into, std::min(room, readBytes));
        if (got < 0) {
            if (errno != EINTR)
                error_ = errno;
            continue;
        }
        if (got == 0)
            return 0;
        const std::size_t kept = dropCarriageReturns(into, static_cast<std::size_t>(got));
        kept_ += kept;
        if (kept > 0)
            return kept;
    }
    return 0;
}
