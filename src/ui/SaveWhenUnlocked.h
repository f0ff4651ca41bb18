// SPDX-License-Identifier: MIT
#pragma once

#include "settings/FileStatus.h"

#include <QObject>

#include <filesystem>
#include <functional>
#include <vector>

namespace krv {

// Runs a save of the window's files without ever blocking the window on their locks. When no other
// save holds any of the files' locks (and no earlier save waits), save runs at once; otherwise it
// waits in a queue, looked at again every few milliseconds by a timer while the window goes on
// handling input, and runs once the locks are free. A lock held past IniFile::LockPatience drops the
// save and calls gaveUp with the failure that names the file; the files stay as they were. Saves run
// in the order they were asked for. Nothing runs once context is gone.
void SaveWhenUnlocked(QObject* context, std::vector<std::filesystem::path> files, std::function<void()> save,
                      std::function<void(const FileStatus&)> gaveUp);

} // namespace krv
