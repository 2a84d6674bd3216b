#include "IndexWriter.h"

#include <xxhash.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

// The temporary file to remove if a signal ends the process while it is
// written: a fixed buffer, because a signal handler may not allocate.
char pendingTemporary[4096];
volatile sig_atomic_t pendingSet = 0;

extern "C" void removePendingAndDie(int signal)
{
    if (pendingSet)
        ::unlink(pendingTemporary);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void setPending(const std::string &path)
{
    if (path.size() >= sizeof pendingTemporary)
        return;  // not removed on a signal; every other failure still removes it
    std::memcpy(pendingTemporary, path.c_str(), path.size() + 1);
    pendingSet = 1;
}

void clearPending() { pendingSet = 0; }

std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

struct IndexWriter::Hash {
    XXH3_state_t *state = XXH3_createState();
    Hash()
    {
        if (state)
            XXH3_64bits_reset(state);
    }
    ~Hash() { XXH3_freeState(state); }
};

std::unique_ptr<IndexWriter> IndexWriter::create(const std::string &target, std::string &reason)
{
    if (target.empty() || target.back() == '/') {
        reason = "not a file name";
        return nullptr;
    }
    std::string temporary = folderOf(target) + "/." + nameOf(target) + ".partial-XXXXXX";
    std::vector<char> name(temporary.begin(), temporary.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        reason = std::string("cannot create a file in its folder: ") + std::strerror(errno);
        return nullptr;
    }
    temporary.assign(name.data());
    // mkstemp makes the file private; the index gets what any new file would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    std::unique_ptr<IndexWriter> writer(new IndexWriter(fd, target, std::move(temporary)));
    if (!writer->hash_->state) {
        reason = "not enough memory";
        return nullptr;
    }
    return writer;
}

IndexWriter::IndexWriter(int fd, std::string target, std::string temporary)
    : fd_(fd), target_(std::move(target)), temporary_(std::move(temporary)), hash_(std::make_unique<Hash>())
{
    setPending(temporary_);
}

IndexWriter::~IndexWriter()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!committed_) {
        ::unlink(temporary_.c_str());
        clearPending();
    }
}

bool IndexWriter::fail(const char *what, int error)
{
    if (reason_.empty())
        reason_ = std::string(what) + ": " + std::strerror(error);
    return false;
}

bool IndexWriter::writeAll(const std::byte *bytes, std::size_t length)
{
    while (length > 0) {
        // Large arrays go in pieces: one write() is limited to about 2 GB.
        const std::size_t piece = std::min<std::size_t>(length, std::size_t{1} << 30);
        const ssize_t written = ::write(fd_, bytes, piece);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return fail("cannot write", errno);
        }
        if (written == 0)
            return fail("cannot write", EIO);
        bytes += written;
        length -= static_cast<std::size_t>(written);
        size_ += static_cast<std::uint64_t>(written);
    }
    return true;
}

bool IndexWriter::beginSection(std::size_t alignment)
{
    if (failed())
        return false;
    static constexpr std::byte zeros[4096] = {};
    std::uint64_t padding = (alignment - size_ % alignment) % alignment;
    while (padding > 0) {
        const std::size_t piece = std::min<std::uint64_t>(padding, sizeof zeros);
        if (!writeAll(zeros, piece))
            return false;
        padding -= piece;
    }
    sectionStart_ = size_;
    XXH3_64bits_reset(hash_->state);
    return true;
}

bool IndexWriter::write(std::span<const std::byte> bytes)
{
    if (failed())
        return false;
    XXH3_64bits_update(hash_->state, bytes.data(), bytes.size());
    return writeAll(bytes.data(), bytes.size());
}

IndexWriter::Section IndexWriter::endSection()
{
    return {sectionStart_, size_ - sectionStart_, XXH3_64bits_digest(hash_->state)};
}

bool IndexWriter::writeAt(std::uint64_t offset, std::span<const std::byte> bytes)
{
    if (failed())
        return false;
    if (offset + bytes.size() > size_)
        return fail("cannot write", EINVAL);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written =
            ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return fail("cannot write", errno);
        }
        if (written == 0)
            return fail("cannot write", EIO);
        done += static_cast<std::size_t>(written);
    }
    return true;
}

bool IndexWriter::commit()
{
    if (failed())
        return false;
    if (::fsync(fd_) != 0)
        return fail("cannot flush it to the disk", errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        return fail("cannot write", errno);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        return fail("cannot replace it", errno);
    committed_ = true;
    clearPending();
    // The new name is on the disk once the folder is flushed; the data is
    // whole either way, so a failure here is not the index's.
    const int folder = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

void IndexWriter::removeTemporaryOnSignals()
{
    struct sigaction action {};
    action.sa_handler = removePendingAndDie;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction previous {};
        // A signal ignored by whoever started the process stays ignored.
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
    ::signal(SIGXFSZ, SIG_IGN);
}
