// SPDX-License-Identifier: MIT
#pragma once

#include "settings/FileStatus.h"

#include <QObject>

namespace krv {

class Companion;

// What the companion does when its files may have changed under it (another program saved
// config.ini or the macro file): it reads them again and serves, shows and applies what they hold.
class FileReload : public QObject {
    Q_OBJECT
public:
    explicit FileReload(Companion& companion, QObject* parent = nullptr);

    // Reads the current profile and the macros from the files again and applies the profile. Fails
    // with the line that names the file when one cannot be read, or while the companion is not running.
    FileStatus reload();

private:
    Companion& m_companion;
};

} // namespace krv
