#include "AnswerReader.h"

#include <unistd.h>

#include <QEventLoop>
#include <QSocketNotifier>
#include <cerrno>

bool AnswerReader::ReadLine(int fd, std::string& line) {
    line.clear();
    QEventLoop loop;
    QSocketNotifier input(fd, QSocketNotifier::Read);
    bool ended = false;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        // A wake-up with nothing to read (a non-blocking terminal) or a signal waits on.
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (n <= 0 || c == '\n') {
            ended = n > 0;
            loop.quit();
        } else if (line.size() < kMaxAnswerBytes) {
            line.push_back(c);
        }
    });
    loop_ = &loop;
    if (!interrupted_)
        loop.exec();
    loop_ = nullptr;
    return ended;
}

void AnswerReader::Interrupt() {
    interrupted_ = true;
    if (loop_ != nullptr)
        loop_->quit();
}
