#include "BadFileSet.h"

#include <QDir>
#include <QFile>

#include <stdexcept>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr qint64 readLimit = 1'000'000;

bool write(const QString &path, const std::string &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
           && file.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
}

}  // namespace

std::string BadFileSet::longText()
{
    std::string text;
    text.reserve(1'100'000);
    while (text.size() < readLimit)
        text += "Abel and Cain went into the field .\n";
    while (text.size() < 1'100'000)
        text += "a zebra and a zebra .\n";
    return text;
}

bool BadFileSet::permissionsApply()
{
    return ::geteuid() != 0;
}

BadFileSet::BadFileSet()
{
    if (!dir_.isValid()) {
        valid_ = false;
        return;
    }
    const QDir dir(dir_.path());
    auto add = [&](const char *name, const QString &file, bool loads, std::string text, bool known = true) {
        cases_.push_back({QString::fromLatin1(name), dir.filePath(file), loads, std::move(text), known});
        return cases_.back().path;
    };

    valid_ &= write(add("empty", QStringLiteral("empty.txt"), true, {}), {});
    const std::string zeros(4096, '\0');
    valid_ &= write(add("zero bytes", QStringLiteral("zeros.txt"), true, zeros), zeros);
    valid_ &= QFile::copy(QStringLiteral("/bin/true"), add("binary", QStringLiteral("true"), true, {}, false));
    // The running test program: an executable that is usually over the limit.
    valid_ &= QFile::copy(QStringLiteral("/proc/self/exe"),
                          add("this program", QStringLiteral("program"), true, {}, false));

    // Only the first megabyte is text; the rest is a hole the read never reaches.
    const std::string longer = longText();
    const QString big = add("50 MB", QStringLiteral("big.txt"), true, longer.substr(0, readLimit));
    QFile bigFile(big);
    valid_ &= write(big, longer) && bigFile.resize(50'000'000);

    const std::string secret = "secret words";
    const QString unreadable = add("no read permission", QStringLiteral("unreadable.txt"), !permissionsApply(), secret);
    valid_ &= write(unreadable, secret) && QFile::setPermissions(unreadable, {});

    valid_ &= dir.mkdir(QStringLiteral("folder.txt"));
    add("directory", QStringLiteral("folder.txt"), false, {});

    const QString fifo = add("FIFO", QStringLiteral("fifo.txt"), false, {});
    valid_ &= ::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0;

    const QByteArray socketPath = QFile::encodeName(add("socket", QStringLiteral("socket.txt"), false, {}));
    socket_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    valid_ &= socket_ >= 0 && static_cast<std::size_t>(socketPath.size()) < sizeof address.sun_path;
    if (valid_) {
        std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
        valid_ &= ::bind(socket_, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
                  && ::listen(socket_, 1) == 0;
    }

    // Files outside the folder: a device that never ends, and a regular file
    // whose read reports an error (the memory of the process reading it).
    cases_.push_back({QStringLiteral("device"), QStringLiteral("/dev/zero"), false, {}, true});
    cases_.push_back({QStringLiteral("read error"), QStringLiteral("/proc/self/mem"), false, {}, true});

    const QString vanished = add("vanished", QStringLiteral("vanished.txt"), false, {});
    valid_ &= write(vanished, "gone") && QFile::remove(vanished);

    const std::string genesis = "In the beginning God created the heaven and the earth .";
    valid_ &= write(add("non-ASCII name", QString::fromUtf8("Gen\xc3\xa8se \xe2\x82\xac \xe5\x89\xb5.txt"), true,
                        genesis),
                    genesis);
}

BadFileSet::~BadFileSet()
{
    if (socket_ >= 0)
        ::close(socket_);
}

const BadFileSet::Case &BadFileSet::at(const QString &name) const
{
    for (const Case &c : cases_)
        if (c.name == name)
            return c;
    throw std::out_of_range("no such case");
}
