#include "MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Gives `advice` for the pages that hold [offset, offset + length) of a mapping at `base`.
void advise(const std::byte *base, std::size_t size, std::size_t offset, std::size_t length, int advice)
{
    if (offset >= size || length == 0)
        return;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t first = offset / page * page;
    const std::size_t last = offset + std::min(length, size - offset);
    ::madvise(const_cast<std::byte *>(base) + first, last - first, advice);
}

}  // namespace

std::unique_ptr<MappedFile> MappedFile::open(const std::string &path, std::string &reason)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        reason = std::strerror(errno);
        return nullptr;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        reason = std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    if (!S_ISREG(status.st_mode)) {
        reason = "not a regular file";
        ::close(fd);
        return nullptr;
    }
    const auto size = static_cast<std::size_t>(status.st_size);
    const std::byte *data = nullptr;
    if (size > 0) {
        void *mapped = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
        if (mapped == MAP_FAILED) {
            reason = std::string("cannot map it: ") + std::strerror(errno);
            ::close(fd);
            return nullptr;
        }
        data = static_cast<const std::byte *>(mapped);
    }
    // The descriptor stays open for read(): the same file as the mapping,
    // even when another has been renamed over its path since.
    return std::unique_ptr<MappedFile>(new MappedFile(fd, data, size));
}

MappedFile::~MappedFile()
{
    if (size_ > 0)
        ::munmap(const_cast<std::byte *>(data_), size_);
    ::close(descriptor_);
}

bool MappedFile::read(std::size_t offset, std::span<std::byte> into) const
{
    if (offset > size_ || into.size() > size_ - offset)
        return false;
    while (!into.empty()) {
        const ssize_t got = ::pread(descriptor_, into.data(), into.size(), static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        into = into.subspan(static_cast<std::size_t>(got));
        offset += static_cast<std::size_t>(got);
    }
    return true;
}

void MappedFile::adviseSequential(std::size_t offset, std::size_t length) const
{
    advise(data_, size_, offset, length, MADV_SEQUENTIAL);
}
