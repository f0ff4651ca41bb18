// SPDX-License-Identifier: MIT
#include "ui/AppProfilesDialog.h"

#include "settings/ProfileSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace krv {

namespace {

// The colours of the program's window and menus: white on black, teal bars.
const QColor Background(0, 0, 0);
const QColor Foreground(255, 255, 255);
const QColor Bar(0, 120, 153);
const QColor Lit(0, 190, 255);
const QColor Problem(255, 96, 96);

struct Texts {
    QString enabled, rules, program, running, runningPlaceholder, profile, add, remove, noMatch, stay, close;
    QString profileN(int n) const { return profileWord + QString::number(n); }
    QString profileWord;
};

Texts textsOf(UiLanguage language) {
    if (language == UiLanguage::English)
        return {QStringLiteral("Switch profiles by the program in front"),
                QStringLiteral("Programs and their profiles:"),
                QStringLiteral("Program (file name, full path or window class):"),
                QStringLiteral("or a running program:"),
                QStringLiteral("choose…"),
                QStringLiteral("Profile:"),
                QStringLiteral("Add"),
                QStringLiteral("Remove"),
                QStringLiteral("Any other program:"),
                QStringLiteral("keeps the profile"),
                QStringLiteral("Close"),
                QStringLiteral("Profile ")};
    return {QStringLiteral("按前台程序切换配置"),
            QStringLiteral("程序及其配置："),
            QStringLiteral("程序（文件名、完整路径或窗口类）："),
            QStringLiteral("或运行中的程序："),
            QStringLiteral("选择…"),
            QStringLiteral("配置："),
            QStringLiteral("添加"),
            QStringLiteral("删除"),
            QStringLiteral("其他程序："),
            QStringLiteral("保持当前配置"),
            QStringLiteral("关闭"),
            QStringLiteral("配置")};
}

void paintInSkinColours(QWidget* widget) {
    QPalette palette = widget->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, Background);
        palette.setColor(group, QPalette::Base, Background);
        palette.setColor(group, QPalette::AlternateBase, Background);
        palette.setColor(group, QPalette::Button, Bar);
        palette.setColor(group, QPalette::Highlight, Bar);
        palette.setColor(group, QPalette::Light, Lit);
        for (QPalette::ColorRole role :
             {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::HighlightedText})
            palette.setColor(group, role, Foreground);
        palette.setColor(group, QPalette::PlaceholderText, QColor(160, 160, 160));
    }
    palette.setColor(QPalette::Disabled, QPalette::Window, Background);
    palette.setColor(QPalette::Disabled, QPalette::Base, Background);
    palette.setColor(QPalette::Disabled, QPalette::Button, QColor(0, 60, 76));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(150, 150, 150));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(150, 150, 150));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(150, 150, 150));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

QString AppProfilesDialog::Title(UiLanguage language) {
    return language == UiLanguage::English ? QStringLiteral("Profiles for programs") : QStringLiteral("程序配置");
}

AppProfilesDialog::AppProfilesDialog(Dependencies deps, QWidget* parent) : QDialog(parent), m_deps(std::move(deps)) {
    const Texts t = textsOf(m_deps.language);
    setWindowTitle(Title(m_deps.language));
    setFont(m_deps.font);
    paintInSkinColours(this);
    // The platform's own look of buttons and boxes would ignore the colours: Fusion follows the palette.
    setStyleSheet(QStringLiteral("QDialog { background: black; } QLabel, QCheckBox { color: white; }"
                                 "QLabel#problem { color: rgb(255,96,96); }"
                                 "QListWidget, QLineEdit, QComboBox { background: black; color: white; }"
                                 "QListWidget::item:selected, QComboBox QAbstractItemView { selection-background-color: "
                                 "rgb(0,120,153); selection-color: white; }"
                                 "QCheckBox::indicator { border: 1px solid rgb(0,190,255); width: 12px; height: 12px; }"
                                 "QCheckBox::indicator:checked { background: rgb(0,120,153); }"
                                 "QPushButton { background: rgb(0,120,153); color: white; border: 1px solid "
                                 "rgb(0,190,255); padding: 3px 14px; }"
                                 "QPushButton:disabled { background: rgb(0,60,76); color: rgb(150,150,150); }"
                                 "QListWidget, QLineEdit, QComboBox { border: 1px solid rgb(0,120,153); }"));

    m_enabled = new QCheckBox(t.enabled, this);
    m_rules = new QListWidget(this);
    m_program = new QLineEdit(this);
    m_running = new QComboBox(this);
    m_profile = new QComboBox(this);
    m_noMatch = new QComboBox(this);
    m_add = new QPushButton(t.add, this);
    m_remove = new QPushButton(t.remove, this);
    m_close = new QPushButton(t.close, this);
    m_problem = new QLabel(this);
    m_problem->setWordWrap(true);
    m_problem->setObjectName(QStringLiteral("problem"));
    QPalette problemPalette = m_problem->palette();
    problemPalette.setColor(QPalette::WindowText, Problem);
    m_problem->setPalette(problemPalette);
    for (int n = 1; n <= ProfileCount; ++n)
        m_profile->addItem(t.profileN(n), n);
    m_noMatch->addItem(t.stay, 0);
    for (int n = 1; n <= ProfileCount; ++n)
        m_noMatch->addItem(t.profileN(n), n);
    m_rules->setMinimumHeight(140);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enabled);
    layout->addWidget(new QLabel(t.rules, this));
    layout->addWidget(m_rules);
    layout->addWidget(m_remove, 0, Qt::AlignRight);
    layout->addWidget(new QLabel(t.program, this));
    layout->addWidget(m_program);
    auto* chooseRow = new QHBoxLayout;
    chooseRow->addWidget(new QLabel(t.running, this));
    chooseRow->addWidget(m_running, 1);
    layout->addLayout(chooseRow);
    auto* addRow = new QHBoxLayout;
    addRow->addWidget(new QLabel(t.profile, this));
    addRow->addWidget(m_profile, 1);
    addRow->addWidget(m_add);
    layout->addLayout(addRow);
    auto* noMatchRow = new QHBoxLayout;
    noMatchRow->addWidget(new QLabel(t.noMatch, this));
    noMatchRow->addWidget(m_noMatch, 1);
    layout->addLayout(noMatchRow);
    layout->addWidget(m_problem);
    layout->addWidget(m_close, 0, Qt::AlignRight);
    for (QWidget* child : findChildren<QWidget*>())
        child->setFont(m_deps.font);

    connect(m_enabled, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_filling)
            showOutcome(SetAppProfilesEnabled(m_deps.rulesFile, on));
    });
    connect(m_noMatch, &QComboBox::currentIndexChanged, this, [this](int) {
        if (!m_filling)
            showOutcome(SetAppProfileNoMatch(m_deps.rulesFile, m_noMatch->currentData().toInt()));
    });
    connect(m_running, &QComboBox::activated, this, [this](int index) {
        if (index > 0)
            m_program->setText(m_running->itemData(index).toString());
    });
    connect(m_program, &QLineEdit::textChanged, this, [this] { m_add->setEnabled(!m_program->text().isEmpty()); });
    connect(m_program, &QLineEdit::returnPressed, this, &AppProfilesDialog::add);
    connect(m_add, &QPushButton::clicked, this, &AppProfilesDialog::add);
    connect(m_remove, &QPushButton::clicked, this, &AppProfilesDialog::removeSelected);
    connect(m_rules, &QListWidget::currentRowChanged, this, [this](int row) { m_remove->setEnabled(row >= 0); });
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
    m_add->setEnabled(false);
    m_remove->setEnabled(false);
    fillRunning();
    reload();
}

void AppProfilesDialog::fillRunning() {
    const Texts t = textsOf(m_deps.language);
    m_running->clear();
    m_running->addItem(t.runningPlaceholder, QString());
    std::vector<std::string> programs = m_deps.runningPrograms ? m_deps.runningPrograms() : std::vector<std::string>{};
    // Windows paths have backslashes; its programs are named without ".exe", which a rule adds itself.
    const auto nameOf = [](const std::string& path) {
        QString name = QString::fromStdString(path.substr(path.find_last_of("/\\") + 1));
#ifdef _WIN32
        if (name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive) && name.size() > 4)
            name.chop(4);
#endif
        return name;
    };
    std::sort(programs.begin(), programs.end(),
              [&nameOf](const std::string& a, const std::string& b) { return nameOf(a) < nameOf(b); });
    programs.erase(std::unique(programs.begin(), programs.end()), programs.end());
    for (const std::string& path : programs) {
        const QString full = QString::fromStdString(path);
        const QString name = nameOf(path);
        // The rule names the file: the list shows the folder too, so that two of one name can be told apart.
        m_running->addItem(name + QStringLiteral("  (") + full + QStringLiteral(")"), name);
    }
}

void AppProfilesDialog::reload() {
    const AppProfileRulesRead read = ReadAppProfileRules(m_deps.rulesFile);
    const Texts t = textsOf(m_deps.language);
    m_filling = true;
    m_shown = read.rules;
    m_rules->clear();
    for (const AppProfileRule& rule : m_shown.rules)
        m_rules->addItem(QString::fromStdString(rule.program) + QStringLiteral("  →  ") + t.profileN(rule.profile));
    m_enabled->setChecked(m_shown.enabled);
    m_noMatch->setCurrentIndex(m_noMatch->findData(m_shown.noMatchProfile));
    m_remove->setEnabled(false);
    m_filling = false;
    // An unreadable file is shown as it is: nothing to change until it can be read.
    const bool usable = read.status.ok();
    for (QWidget* control : std::initializer_list<QWidget*>{m_enabled, m_rules, m_program, m_running, m_profile,
                                                            m_noMatch})
        control->setEnabled(usable);
    m_add->setEnabled(usable && !m_program->text().isEmpty());
    m_problem->setText(usable ? QString() : QString::fromStdString(read.status.message()));
}

void AppProfilesDialog::showOutcome(const FileStatus& status) {
    reload();
    if (!status)
        m_problem->setText(QString::fromStdString(status.message()));
}

void AppProfilesDialog::add() {
    const std::string program = m_program->text().toStdString();
    if (program.empty())
        return;
    const FileStatus saved = AddAppProfileRule(m_deps.rulesFile, program, m_profile->currentData().toInt());
    if (saved)
        m_program->clear();
    showOutcome(saved);
}

void AppProfilesDialog::removeSelected() {
    const int row = m_rules->currentRow();
    if (row < 0 || row >= static_cast<int>(m_shown.rules.size()))
        return;
    showOutcome(RemoveAppProfileRule(m_deps.rulesFile, m_shown.rules[static_cast<std::size_t>(row)].program));
}

} // namespace krv
