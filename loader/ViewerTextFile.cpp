#include "ViewerTextFile.h"

#include "TextReading.h"

#include <QFile>

#include <cstring>
#include <new>
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

    // Look at what was opened, not at the name: the name could change
    // between a check and the open.
    struct stat status {};
    std::string why;
    const int fd = openWithoutBlocking(native.constData(), 0, status, why);
    if (fd < 0)
        return fail(reason, QString::fromLocal8Bit(why.c_str()));
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        return fail(reason, S_ISDIR(status.st_mode) ? QStringLiteral("is a directory")
                                                    : QStringLiteral("not a regular file"));
    }
    makeBlocking(fd);
    std::string bytes;
    TextRead read;
    try {
        read = readText(fd, static_cast<std::uint64_t>(maxTextBytes), static_cast<std::uint64_t>(status.st_size),
                        bytes);
    } catch (const std::bad_alloc &) {
        ::close(fd);
        return fail(reason, QStringLiteral("not enough memory"));
    }
    ::close(fd);
    if (read.error != 0)
        return fail(reason, QString::fromLocal8Bit(std::strerror(read.error)));
    return bytes;
}
