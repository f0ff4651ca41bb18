// SPDX-License-Identifier: MIT
#include "skin/SkinDescriptions.h"

#include "settings/IniDocument.h"
#include "settings/IniFile.h"

#include <string>

namespace krv {

namespace {

constexpr std::size_t SkinValueBuffer = 260;
constexpr int FunctionNamesRead = 54;

std::int32_t number(const std::string& field) { return leadingInt(field); }

SkinElement elementOf(const SkinEntry& entry) {
    return {number(entry.fields[1]), number(entry.fields[2]), number(entry.fields[3]), number(entry.fields[4]),
            entry.fields[5]};
}

SkinRect rectOf(const SkinEntry& entry) { return elementOf(entry).rect(); }

// Loads one description file, or reports it missing (the message is shown here, once).
bool openDescription(const std::filesystem::path& file, IniDocument& document, SkinLoadResult& result,
                     UiNotifier& notifier) {
    if (!IniFile::exists(file)) {
        notifier.showMessage(Messages::DataFileMissing);
        result.ok = false;
        result.missingFile = file;
        return false;
    }
    document = IniFile::load(file);
    return true;
}

void readLayout(SkinLayout& layout, const IniDocument& document, UiNotifier& notifier) {
    for (std::size_t k = 0; k < layout.size(); ++k)
        layout.at(k) = elementOf(ReadSkinEntry(document, "BUTTONPOS", static_cast<int>(k), notifier));
}

} // namespace

SkinEntry SplitSkinValue(std::string_view value) {
    SkinEntry entry;
    std::size_t commas = 0;
    for (char c : value)
        commas += c == ',' ? 1 : 0;
    entry.tooManyCommas = commas > 6;
    if (commas == 0) {
        entry.fields[0] = std::string(value);
        return entry;
    }
    // p is the position of the comma that ended the previous field; npos stands for "before the
    // start" (-1), so that p + 1 wraps to 0.
    std::size_t p = std::string_view::npos;
    bool field5FoundComma = false;
    for (int i = 0; i <= 5; ++i) {
        const std::size_t start = p + 1;
        const std::size_t comma = start < value.size() ? value.find(',', start) : std::string_view::npos;
        if (comma == std::string_view::npos) {
            entry.fields[static_cast<std::size_t>(i)].clear();
            p = std::string_view::npos;
        } else {
            entry.fields[static_cast<std::size_t>(i)] = std::string(value.substr(start, comma - start));
            p = comma;
        }
        if (i == 5)
            field5FoundComma = comma != std::string_view::npos;
    }
    entry.fields[6] = field5FoundComma ? std::string(value.substr(p + 1)) : std::string(value);
    return entry;
}

SkinEntry ReadSkinEntry(const IniDocument& document, std::string_view section, int number, UiNotifier& notifier) {
    SkinEntry entry = SplitSkinValue(document.read(section, std::to_string(number), {}, SkinValueBuffer));
    if (entry.tooManyCommas)
        notifier.showMessage(Messages::SkinValueMalformed);
    return entry;
}

std::optional<SkinEntry> ReadSkinEntry(const std::filesystem::path& file, std::string_view section, int number,
                                       UiNotifier& notifier) {
    if (!IniFile::exists(file)) {
        notifier.showMessage(Messages::DataFileMissing);
        return std::nullopt;
    }
    SkinEntry entry = SplitSkinValue(IniFile::readString(file, section, std::to_string(number), {}, SkinValueBuffer));
    if (entry.tooManyCommas)
        notifier.showMessage(Messages::SkinValueMalformed);
    return entry;
}

const std::string& SkinDescriptions::functionName(int code) const {
    static const std::string none;
    return code >= 0 && code < FunctionNameCount ? functionNames[static_cast<std::size_t>(code)] : none;
}

SkinLoadResult LoadMainLayout(SkinDescriptions& skin, const AppPaths& paths, UiLanguage language, UiNotifier& notifier) {
    SkinLoadResult result;
    IniDocument document;
    if (!openDescription(paths.mainSkinFile(language), document, result, notifier))
        return result;
    readLayout(skin.mainLayout, document, notifier);
    skin.functionNames[0].clear();
    for (int n = 1; n <= FunctionNamesRead; ++n)
        skin.functionNames[static_cast<std::size_t>(n)] = ReadSkinEntry(document, "FUN_STRING", n, notifier).fields[0];
    return result;
}

SkinLoadResult LoadColorLayout(SkinDescriptions& skin, const AppPaths& paths, UiLanguage language,
                               UiNotifier& notifier) {
    SkinLoadResult result;
    IniDocument document;
    if (openDescription(paths.colorSkinFile(language), document, result, notifier))
        readLayout(skin.colorLayout, document, notifier);
    return result;
}

SkinLoadResult LoadAdvancedLayout(SkinDescriptions& skin, const AppPaths& paths, UiLanguage language,
                                  UiNotifier& notifier) {
    SkinLoadResult result;
    IniDocument document;
    if (!openDescription(paths.advancedSkinFile(language), document, result, notifier))
        return result;
    readLayout(skin.advancedLayout, document, notifier);
    skin.repeatCountEditRect = rectOf(ReadSkinEntry(document, "EDIT", 3, notifier));
    skin.macroNameEditRect = rectOf(ReadSkinEntry(document, "EDIT", 4, notifier));
    skin.macroListRect = rectOf(ReadSkinEntry(document, "MACRODISPLAY", 1, notifier));
    skin.eventListRect = rectOf(ReadSkinEntry(document, "MACRODISPLAY", 2, notifier));
    return result;
}

SkinLoadResult LoadWarningLayout(SkinDescriptions& skin, const AppPaths& paths, UiLanguage language,
                                 UiNotifier& notifier) {
    SkinLoadResult result;
    IniDocument document;
    if (openDescription(paths.warningSkinFile(language), document, result, notifier))
        readLayout(skin.warningLayout, document, notifier);
    return result;
}

SkinLoadResult LoadSkinDescriptions(SkinDescriptions& skin, const AppPaths& paths, UiLanguage language,
                                    UiNotifier& notifier) {
    for (auto load : {&LoadMainLayout, &LoadColorLayout, &LoadAdvancedLayout, &LoadWarningLayout}) {
        SkinLoadResult result = load(skin, paths, language, notifier);
        if (!result)
            return result;
    }
    return {};
}

} // namespace krv
