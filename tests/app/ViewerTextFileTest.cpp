// The one loading function: what it delivers from a text file, and which files it refuses without blocking.
#include "AppTestSupport.h"

#include "ViewerTextFile.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ViewerTextFile, DeliversAtMostAMillionBytesWithoutCarriageReturns)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("text"));

    std::string exact(1'000'000, 'a');
    for (std::size_t i = 0; i < exact.size(); i += 7)
        exact[i] = static_cast<char>('0' + i % 10);
    apptest::writeFile(path, exact);
    EXPECT_EQ(loadTextFile(path), exact);

    apptest::writeFile(path, exact + "z");
    EXPECT_EQ(loadTextFile(path), exact);

    apptest::writeFile(path, "one\r\ntwo\r\n");
    EXPECT_EQ(loadTextFile(path), "one\ntwo\n");

    apptest::writeFile(path, "");
    EXPECT_EQ(loadTextFile(path), std::string());
}

TEST(ViewerTextFile, RefusesWhatIsNotARegularFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto refused = [](const QString &path) {
        QString reason;
        const bool gotNothing = !loadTextFile(path, &reason).has_value();
        return gotNothing && !reason.isEmpty();
    };

    EXPECT_TRUE(refused(QString()));
    EXPECT_TRUE(refused(dir.filePath(QStringLiteral("missing"))));
    EXPECT_TRUE(refused(dir.path()));

    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(fifo, dir.filePath(QStringLiteral("fifolink"))));
    {
        apptest::FifoWatchdog watchdog(fifo);
        EXPECT_TRUE(refused(fifo));
        EXPECT_TRUE(refused(dir.filePath(QStringLiteral("fifolink"))));
        EXPECT_FALSE(watchdog.fired()) << "opening a FIFO blocked";
    }

    const QString socketPath = dir.filePath(QStringLiteral("socket"));
    apptest::BoundSocket socket(socketPath);
    ASSERT_TRUE(socket.bound());
    EXPECT_TRUE(refused(socketPath));

    // A link is followed to what it names.
    const QString target = dir.filePath(QStringLiteral("target"));
    apptest::writeFile(target, "linked");
    ASSERT_TRUE(QFile::link(target, dir.filePath(QStringLiteral("link"))));
    EXPECT_EQ(loadTextFile(dir.filePath(QStringLiteral("link"))), "linked");
}

TEST(ViewerTextFile, RefusesAFileItMayNotRead)
{
    if (apptest::runningAsRoot())
        GTEST_SKIP() << "root reads files whatever their permissions";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("locked"));
    apptest::writeFile(path, "locked");
    ASSERT_TRUE(QFile::setPermissions(path, {}));
    EXPECT_FALSE(loadTextFile(path).has_value());
}

}  // namespace
