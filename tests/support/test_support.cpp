#include "test_support.h"

#include "clipboard_manager.h"
#include "memory/memory_pasteboard.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <QUuid>

#include <cstdio>
#include <cstring>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace TestSupport {

StoreFixture::StoreFixture()
    : pasteboard(std::make_unique<MemoryPasteboard>())
{
    reopen();
}

StoreFixture::~StoreFixture() = default;

QString StoreFixture::folderPath() const
{
    return folder.path() + QStringLiteral("/Tavorindle");
}

QString StoreFixture::historyPath() const
{
    return folderPath() + QStringLiteral("/history.json");
}

void StoreFixture::writeHistory(const QByteArray &bytes)
{
    QDir().mkpath(folderPath());
    writeFile(historyPath(), bytes);
    reopen();
}

QByteArray StoreFixture::saved() const
{
    if (!manager->waitForSaved(std::chrono::seconds(10)))
        qFatal("the history was not written within 10 s");
    return readFile(historyPath());
}

void StoreFixture::copy(const QString &text, const QStringList &types)
{
    pasteboard->simulateCopy(text, types);
    manager->checkForChanges();
    manager->finishCaptures();
}

void StoreFixture::reopen()
{
    manager.reset();
    manager = std::make_unique<ClipboardManager>(*pasteboard, HistoryStorage(folderPath()), clock);
}

ClipItemPtr makeItem(const QString &text, ClipContentType type, TimeInterval timestamp, bool pinned,
                     std::optional<QString> language)
{
    return std::make_shared<ClipItem>(QUuid::createUuid(), text, type, std::move(language), std::nullopt,
                                      timestamp, pinned);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

int fileMode(const QString &path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

QString captureStdout(const std::function<void()> &fn)
{
    std::fflush(stdout);
    QTemporaryFile capture;
    if (!capture.open())
        qFatal("cannot capture standard output");
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(capture.handle(), STDOUT_FILENO);
    fn();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    capture.seek(0);
    return QString::fromUtf8(capture.readAll());
}

FileModesEnforced::FileModesEnforced()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    static_assert(sizeof data == sizeof m_saved);
    if (::syscall(SYS_capget, &header, data) != 0)
        return;
    std::memcpy(m_saved, data, sizeof data);
    data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    m_changed = ::syscall(SYS_capset, &header, data) == 0;
}

FileModesEnforced::~FileModesEnforced()
{
    if (!m_changed)
        return;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    ::syscall(SYS_capset, &header, m_saved);
}

} // namespace TestSupport
