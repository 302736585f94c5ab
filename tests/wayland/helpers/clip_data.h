#pragma once

// What the clipboard stand-ins share: the content named on their command
// line, and serving it to a reader.
#include <QByteArray>
#include <QList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>

// DATA is b64:<base64>, or fill:<bytes> for the alphabet over and over.
inline std::string clipContent(const std::string &data)
{
    if (data.rfind("fill:", 0) == 0) {
        std::string content(std::stoul(data.substr(5)), 'a');
        for (size_t i = 0; i < content.size(); ++i)
            content[i] = char('a' + i % 26);
        return content;
    }
    return QByteArray::fromBase64(QByteArray::fromStdString(data.substr(data.find(':') + 1))).toStdString();
}

inline void say(const std::string &line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Writes all of data to fd and closes it: at once, or (slow) 1 KiB every
// 20 ms; in a thread of its own, so that other readers and events are not
// held up.
inline void serveInThread(int fd, std::string data, bool slow)
{
    std::thread([fd, data = std::move(data), slow] {
        for (size_t offset = 0; offset < data.size();) {
            const size_t length = slow ? std::min<size_t>(1024, data.size() - offset) : data.size() - offset;
            const ssize_t count = write(fd, data.data() + offset, length);
            if (count <= 0)
                break;
            offset += size_t(count);
            if (slow)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        close(fd);
    }).detach();
}
