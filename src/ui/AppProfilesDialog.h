// SPDX-License-Identifier: MIT
#pragma once

#include "settings/AppProfileRules.h"
#include "settings/UiLanguage.h"

#include <QDialog>
#include <QFont>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace krv {

// "Profiles for programs": the rules of appprofiles.ini in the program's colours. Every change is
// saved at once (one locked replace of the file); a refused or failed one is said in the dialog and
// leaves the file as it was. The list always shows the file as it now is.
class AppProfilesDialog : public QDialog {
    Q_OBJECT
public:
    struct Dependencies {
        std::filesystem::path rulesFile;
        UiLanguage language;
        QFont font;
        // The executables of the user's running programs (full paths), for the chooser.
        std::function<std::vector<std::string>()> runningPrograms;
    };

    explicit AppProfilesDialog(Dependencies deps, QWidget* parent = nullptr);

    static QString Title(UiLanguage language);

    // The controls, for tests that click them.
    QCheckBox* enabledBox() const { return m_enabled; }
    QListWidget* ruleList() const { return m_rules; }
    QLineEdit* programEdit() const { return m_program; }
    QComboBox* runningChooser() const { return m_running; }
    QComboBox* profileChooser() const { return m_profile; }
    QComboBox* noMatchChooser() const { return m_noMatch; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* removeButton() const { return m_remove; }
    QLabel* problemLabel() const { return m_problem; }

private:
    void reload();
    void fillRunning();
    void showOutcome(const FileStatus& status);
    void add();
    void removeSelected();

    Dependencies m_deps;
    AppProfileRules m_shown;
    bool m_filling = false;
    QCheckBox* m_enabled = nullptr;
    QListWidget* m_rules = nullptr;
    QLineEdit* m_program = nullptr;
    QComboBox* m_running = nullptr;
    QComboBox* m_profile = nullptr;
    QComboBox* m_noMatch = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_close = nullptr;
    QLabel* m_problem = nullptr;
};

} // namespace krv
