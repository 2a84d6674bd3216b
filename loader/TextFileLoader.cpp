#include "TextFileLoader.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::optional<std::string> fail(QString *reason, const QString &why)
{
    if (reason)
        *reason = why;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> loadTextFile(const QString &path, QString *reason)
{
    return loadTextFile(QFile::encodeName(path), reason);
}

std::optional<std::string> loadTextFile(const QByteArray &native, QString *reason)
{
    if (native.isEmpty())
        return fail(reason, QStringLiteral("no file name given"));
    // The system would read the name only up to a zero byte: another file.
    if (native.contains('\0'))
        return fail(reason, QStringLiteral("the file name holds a zero byte"));

    // Open without blocking and look at what was opened, not at the name: a
    // FIFO would block an ordinary open until a writer came, and the name
    // could change between a check and the open.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return fail(reason, QString::fromLocal8Bit(std::strerror(errno)));
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return fail(reason, S_ISDIR(status.st_mode) ? QStringLiteral("is a directory")
                                                    : QStringLiteral("not a regular file"));
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Text, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(reason, file.errorString());
    }
    std::string bytes(static_cast<std::size_t>(maxTextBytes), '\0');
    const qint64 delivered = file.read(bytes.data(), maxTextBytes);
    if (delivered < 0)
        return fail(reason, file.errorString());
    bytes.resize(static_cast<std::size_t>(delivered));
    return bytes;
}
