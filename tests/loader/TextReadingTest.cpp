// Reading as text: what readText keeps is what a Qt text-mode read of the same limit delivers.
#include "TextReading.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string qtTextRead(const QString &path, qint64 limit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return "(cannot open)";
    std::string bytes(static_cast<std::size_t>(limit), '\0');
    const qint64 got = file.read(bytes.data(), limit);
    bytes.resize(static_cast<std::size_t>(std::max<qint64>(got, 0)));
    return bytes;
}

TEST(TextReading, KeepsWhatAQtTextModeReadDelivers)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("text"));
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        // Runs of carriage returns of every length, at every place, also
        // right at the limit and at the end of the file.
        const std::size_t size = std::uniform_int_distribution<std::size_t>(0, 100'000)(random);
        const int crPercent = std::uniform_int_distribution<int>(0, 100)(random);
        std::string bytes(size, '\0');
        for (char &c : bytes)
            c = std::uniform_int_distribution<int>(0, 99)(random) < crPercent ? '\r' : static_cast<char>('a' + round % 26);
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            ASSERT_EQ(file.write(bytes.data(), static_cast<qint64>(size)), static_cast<qint64>(size));
        }
        std::size_t textSize = 0;
        for (char c : bytes)
            textSize += c != '\r';
        const std::size_t limits[] = {1, textSize > 0 ? textSize - 1 : 1, textSize, textSize + 1,
                                      std::uniform_int_distribution<std::size_t>(1, size + 1)(random)};
        for (const std::size_t limit : limits) {
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
            ASSERT_GE(fd, 0);
            // A wrong size hint must not matter.
            const std::uint64_t hint = round % 3 == 0 ? 0 : round % 3 == 1 ? size : size / 2;
            std::string text = "stale";
            const TextRead read = readText(fd, limit, hint, text);
            ::close(fd);
            const std::string context = "round " + std::to_string(round) + ", limit " + std::to_string(limit);
            ASSERT_EQ(read.error, 0) << context;
            ASSERT_EQ(text, qtTextRead(path, static_cast<qint64>(limit))) << context;
            EXPECT_EQ(read.complete, limit >= textSize) << context;
            EXPECT_LE(read.rawBytes, size) << context;
        }
    }
}

}  // namespace
