// Helpers of the explorer's tests: a folder corpus on disk, settings kept out of the user's, waiting for the event loop.
#pragma once

#include "ExplorerWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace explorertest {

// Runs the event loop until `done` holds or `seconds` pass; whether it held.
inline bool waitFor(const std::function<bool()> &done, int seconds = 60)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > seconds * 1000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

inline void writeFile(const QString &path, const std::string &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

// A folder of two texts, and the application's settings in a folder of
// their own for as long as the object lives.
class Workspace {
public:
    Workspace()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.filePath(QStringLiteral("config")));
        QCoreApplication::setOrganizationName(QStringLiteral("MorvanetTest"));
        QCoreApplication::setApplicationName(QStringLiteral("ExplorerTest"));
        QSettings().clear();
        QDir(dir_.path()).mkdir(QStringLiteral("texts"));
        writeFile(text(QStringLiteral("a.txt")),
                  "The cat sat on the mat. The cat ran off.\nThe dog sat on the log.\nthe cat sat down.\n");
        writeFile(text(QStringLiteral("b.txt")),
                  "A cat sat here. The cat sat on the mat again.\nThe Cat slept.\n");
    }
    QString folder() const { return dir_.filePath(QStringLiteral("texts")); }
    QString text(const QString &name) const { return folder() + QLatin1Char('/') + name; }
    QString file(const QString &name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
};

struct ToolResult {
    int status = -1;
    QByteArray out;
};

// Runs morvanet-tree with `arguments`.
inline ToolResult runTool(const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(MORVANET_TREE_TOOL), arguments);
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput()};
}

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A window that has opened `path` and finished loading it.
inline std::unique_ptr<ExplorerWindow> openedWindow(const QString &path, ExplorerControls controls = {})
{
    auto window = std::make_unique<ExplorerWindow>(controls);
    window->resize(900, 900);
    window->show();
    window->openPath(path);
    EXPECT_TRUE(waitFor([&] { return !window->opener().busy(); }));
    EXPECT_TRUE(window->session().corpus()) << window->statusText().toStdString();
    return window;
}

}  // namespace explorertest
