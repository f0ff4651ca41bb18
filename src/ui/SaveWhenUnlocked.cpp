// SPDX-License-Identifier: MIT
#include "ui/SaveWhenUnlocked.h"

#include "settings/IniFile.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <deque>

namespace krv {

namespace {

constexpr int RetryMs = 20;

struct PendingSave {
    QPointer<QObject> context;
    std::vector<std::filesystem::path> files;
    std::function<void()> save;
    std::function<void(const FileStatus&)> gaveUp;
    std::chrono::steady_clock::time_point giveUpAt;
};

// Only the window's thread asks for saves.
std::deque<PendingSave>& pendingSaves() {
    static std::deque<PendingSave> queue;
    return queue;
}
bool g_retryScheduled = false;

// The first file whose lock is held now; success when all are free.
FileStatus firstBusy(const std::vector<std::filesystem::path>& files) {
    for (const auto& file : files)
        if (FileStatus free = IniFile::lockFree(file); !free)
            return free;
    return FileStatus::success();
}

void runPendingSaves() {
    g_retryScheduled = false;
    auto& queue = pendingSaves();
    while (!queue.empty()) {
        PendingSave& next = queue.front();
        if (!next.context) {
            queue.pop_front();
            continue;
        }
        const FileStatus busy = firstBusy(next.files);
        if (busy.ok() || std::chrono::steady_clock::now() >= next.giveUpAt) {
            PendingSave ready = std::move(next);
            queue.pop_front();
            if (busy.ok()) {
                ready.save();
            } else if (ready.gaveUp) {
                std::size_t i = 0;
                while (i + 1 < ready.files.size() && IniFile::lockFree(ready.files[i]))
                    ++i;
                ready.gaveUp(IniFile::lockedTooLong(ready.files[i]));
            }
            continue;
        }
        g_retryScheduled = true;
        QTimer::singleShot(RetryMs, QCoreApplication::instance(), &runPendingSaves);
        return;
    }
}

} // namespace

void SaveWhenUnlocked(QObject* context, std::vector<std::filesystem::path> files, std::function<void()> save,
                      std::function<void(const FileStatus&)> gaveUp) {
    auto& queue = pendingSaves();
    if (queue.empty() && firstBusy(files).ok()) {
        save();
        return;
    }
    queue.push_back(PendingSave{context, std::move(files), std::move(save), std::move(gaveUp),
                                std::chrono::steady_clock::now() + IniFile::LockPatience});
    if (!g_retryScheduled) {
        g_retryScheduled = true;
        QTimer::singleShot(RetryMs, QCoreApplication::instance(), &runPendingSaves);
    }
}

} // namespace krv
