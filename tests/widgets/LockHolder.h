// SPDX-License-Identifier: MIT
#pragma once

// Another program in the middle of a save: a process of its own (util-linux's flock) holds the lock
// every program of ours takes to change a file, until release() or the end of the test.

#include "settings/IniFile.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>

namespace krv::test {

class LockHolder {
public:
    // Starts holding file's lock; held() says when it is held.
    explicit LockHolder(const QString& file) : m_file(file) {
        const QFileInfo info(file);
        // The lock file beside the file, as IniFile names it.
        m_process.start(QStringLiteral("flock"),
                        {QStringLiteral("-x"), info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                                                   QStringLiteral(".lock"),
                         QStringLiteral("cat")});
    }
    ~LockHolder() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    // Waits (bounded) until the lock is taken.
    [[nodiscard]] bool held() {
        return m_process.waitForStarted(5000) &&
               QTest::qWaitFor([this] { return !IniFile::lockFree(m_file.toStdString()); }, 10000);
    }
    bool holding() const { return m_process.state() == QProcess::Running; }
    // Lets go: the holder ends when its input closes.
    [[nodiscard]] bool release() {
        m_process.closeWriteChannel();
        return m_process.waitForFinished(10000) && IniFile::lockFree(m_file.toStdString()).ok();
    }

private:
    QString m_file;
    QProcess m_process;
};

} // namespace krv::test
