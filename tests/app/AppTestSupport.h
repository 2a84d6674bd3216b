// Helpers of the application tests: readable QStrings, files of every kind, and a hand on the file dialog.
#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace apptest {

// Writes `bytes` to `path`, replacing what was there.
inline void writeFile(const QString &path, const std::string &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes.data(), static_cast<qint64>(bytes.size())), static_cast<qint64>(bytes.size()));
}

inline bool runningAsRoot()
{
    return ::geteuid() == 0;
}

// A listening Unix socket bound at a path, removed with the object.
class BoundSocket {
public:
    explicit BoundSocket(const QString &path)
        : path_(QFile::encodeName(path).toStdString())
    {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path_.copy(address.sun_path, sizeof address.sun_path - 1);
        bound_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
            && ::listen(fd_, 1) == 0;
    }
    ~BoundSocket()
    {
        if (fd_ >= 0)
            ::close(fd_);
        ::unlink(path_.c_str());
    }
    bool bound() const { return bound_; }

private:
    std::string path_;
    int fd_ = -1;
    bool bound_ = false;
};

// Keeps a test that reads a FIFO from hanging: if the test has not finished
// after a few seconds, keeps opening the FIFO for writing and closing it
// again, which releases a reader stuck in open or read with an end of file.
// The test then fails on what it sees instead of blocking forever.
class FifoWatchdog {
public:
    explicit FifoWatchdog(const QString &path)
        : path_(QFile::encodeName(path).toStdString()),
          thread_([this] { watch(); })
    {
    }
    ~FifoWatchdog()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    bool fired() const
    {
        std::lock_guard lock(mutex_);
        return fired_;
    }

private:
    void watch()
    {
        std::unique_lock lock(mutex_);
        auto wait = std::chrono::milliseconds(5000);
        while (!wake_.wait_for(lock, wait, [this] { return done_; })) {
            // Again and again, for a reader that opens the FIFO more than once.
            fired_ = true;
            const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            wait = std::chrono::milliseconds(50);
        }
    }

    std::string path_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    bool fired_ = false;
    std::thread thread_;
};

// The file dialog the window is running, if any: the active modal widget, or
// else any shown file dialog (a loaded machine may not have activated it yet).
inline QFileDialog *runningFileDialog()
{
    if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget()); dialog && dialog->isVisible())
        return dialog;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<QFileDialog *>(widget); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

// Answers the next modal file dialog from inside its own event loop. `answer`
// is called with the dialog every few milliseconds until it returns true, by
// when it must have accepted or rejected the dialog. Should no answer come
// within half a minute, every file dialog is rejected and the test fails,
// so a test can never hang in the dialog. Returns a function that tells
// whether the dialog was answered, and stops waiting when called.
inline std::function<bool()> answerNextFileDialog(std::function<bool(QFileDialog &)> answer)
{
    auto *timer = new QTimer(qApp);
    auto answered = std::make_shared<bool>(false);
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answered, answer, ticks] {
        QFileDialog *dialog = runningFileDialog();
        if (++*ticks > 3000) {
            ADD_FAILURE() << "no answer to the file dialog in time";
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                if (auto *stuck = qobject_cast<QFileDialog *>(widget))
                    stuck->reject();
            }
        } else if (!dialog || !answer(*dialog)) {
            return;
        } else {
            *answered = true;
        }
        timer->stop();
        timer->deleteLater();
    });
    timer->start(10);
    return [timer = QPointer<QTimer>(timer), answered] {
        delete timer.data();
        return *answered;
    };
}

// Selects `path` in the dialog and accepts it once the dialog reports that
// choice. Gives up by cancelling after a few seconds.
inline bool chooseFile(QFileDialog &dialog, const QString &path, int &ticks)
{
    const QString wanted = QFileInfo(path).absoluteFilePath();
    if (ticks++ == 0) {
        dialog.selectFile(wanted);
        // A shown dialog leaves its file name box alone while the box has the
        // focus: type the name there, as a user would.
        if (auto *name = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            name->setText(wanted);
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.size() == 1 && QFileInfo(chosen.front()).absoluteFilePath() == wanted) {
        static_cast<QDialog &>(dialog).accept();  // reaches QFileDialog::accept, protected there
        return true;
    }
    if (ticks > 500) {
        ADD_FAILURE() << "the file dialog did not take " << wanted.toStdString();
        dialog.reject();
        return true;
    }
    return false;
}

// Selects `path` in the next file dialog and accepts it.
inline std::function<bool()> chooseInNextFileDialog(const QString &path)
{
    return answerNextFileDialog([path, ticks = 0](QFileDialog &dialog) mutable {
        return chooseFile(dialog, path, ticks);
    });
}

// Cancels the next file dialog.
inline std::function<bool()> cancelNextFileDialog()
{
    return answerNextFileDialog([](QFileDialog &dialog) {
        dialog.reject();
        return true;
    });
}

}  // namespace apptest
