// SPDX-License-Identifier: MIT
#include "settings/ProfileSettings.h"

#include "settings/FileSystemCalls.h"
#include "settings/IniFile.h"

#include <algorithm>
#include <optional>
#include <type_traits>
#include <utility>

namespace krv {

namespace fs = std::filesystem;

namespace {
constexpr auto relaxed = std::memory_order_relaxed;
constexpr std::size_t ValueBuffer = 5;     // at most 4 characters of text
constexpr std::size_t DpiValueBuffer = 10; // the stage positions and enable flags: at most 9

std::string numbered(const char* prefix, int n) {
    return prefix + std::to_string(n);
}

// One stored field of a profile section, with the field in both records. A field of several entries
// is stored under its key followed by the entry's number, counted from 1 ("K1" .. "K8").
struct StoredField {
    const char* iniKey;
    int entries;
    std::size_t readBuffer; // characters a read takes, plus one
    bool flag;              // stored as 0 or 1; any other number reads as 1
    bool withNext;          // written entry by entry together with the next field
    std::int32_t (*value)(const ProfileValues&, int entry);
    void (*setValue)(ProfileValues&, int entry, std::int32_t value); // keeps the field's width
    std::int32_t (*shared)(const ProfileSettings&, int entry);
    void (*setShared)(ProfileSettings&, int entry, std::int32_t value);

    std::string key(int entry) const { return entries == 1 ? std::string(iniKey) : numbered(iniKey, entry + 1); }
    std::int32_t stored(std::int32_t v) const { return flag ? (v != 0 ? 1 : 0) : v; }
};

template <class T> struct EntryCount : std::integral_constant<int, 1> {};
template <class T, std::size_t N>
struct EntryCount<std::array<T, N>> : std::integral_constant<int, static_cast<int>(N)> {};

// Entry `entry` of a member: the member itself when it holds one value.
template <auto Member, class Record> auto& entryOf(Record& record, int entry) {
    auto& field = record.*Member;
    if constexpr (EntryCount<std::remove_cvref_t<decltype(field)>>::value == 1)
        return field;
    else
        return field[static_cast<std::size_t>(entry)];
}

enum class Kind { Number, Flag };
enum class Order { Alone, EntryByEntryWithNext };

template <auto PlainMember, auto SharedMember>
constexpr StoredField field(const char* iniKey, std::size_t readBuffer = ValueBuffer, Kind kind = Kind::Number,
                            Order order = Order::Alone) {
    constexpr int entries = EntryCount<std::remove_cvref_t<decltype(ProfileValues{}.*PlainMember)>>::value;
    using Value = std::remove_cvref_t<decltype(entryOf<PlainMember>(std::declval<ProfileValues&>(), 0))>;
    return {iniKey,
            entries,
            readBuffer,
            kind == Kind::Flag,
            order == Order::EntryByEntryWithNext,
            [](const ProfileValues& v, int e) -> std::int32_t { return entryOf<PlainMember>(v, e); },
            [](ProfileValues& v, int e, std::int32_t value) { entryOf<PlainMember>(v, e) = static_cast<Value>(value); },
            [](const ProfileSettings& s, int e) -> std::int32_t { return entryOf<SharedMember>(s, e).load(relaxed); },
            [](ProfileSettings& s, int e, std::int32_t value) {
                entryOf<SharedMember>(s, e).store(static_cast<Value>(value), relaxed);
            }};
}

constexpr const char* DpiStageKey = "DPI_LEVEL";

// The stored keys of a profile section, in the order they are written. "DPI_SET1", "DPI_SET_EN1",
// "DPI_SET2", ... alternate stage by stage.
using V = ProfileValues;
using S = ProfileSettings;
constexpr std::array StoredFields{
    field<&V::buttonCodes, &S::buttonCodes>("K"),
    field<&V::dpiStage, &S::dpiStage>(DpiStageKey),
    field<&V::wheelMode, &S::wheelMode>("WHEEL_STATUS"),
    field<&V::macroPlaybackMode, &S::macroPlaybackMode>("MACRO_MODE2"),
    field<&V::dpiStagePositions, &S::dpiStagePositions>("DPI_SET", DpiValueBuffer, Kind::Number,
                                                        Order::EntryByEntryWithNext),
    field<&V::dpiStageEnabled, &S::dpiStageEnabled>("DPI_SET_EN", DpiValueBuffer, Kind::Flag),
    field<&V::ledMode, &S::ledMode>("LED_STATUS"),
    field<&V::pointerSpeed, &S::pointerSpeed>("DPI_SPEED"),
    field<&V::wheelSpeed, &S::wheelSpeed>("WHEEL_SPEED"),
    field<&V::fireInterval, &S::fireInterval>("FIRE_TIME"),
};

// Calls visit(field, entry) for every stored key, in the order of the keys.
template <class Visit> void forEachStoredKey(Visit&& visit) {
    for (std::size_t first = 0; first < StoredFields.size();) {
        std::size_t last = first;
        while (StoredFields[last].withNext && last + 1 < StoredFields.size())
            ++last;
        for (int entry = 0; entry < StoredFields[first].entries; ++entry)
            for (std::size_t f = first; f <= last; ++f)
                visit(StoredFields[f], entry);
        first = last + 1;
    }
}
} // namespace

ProfileValues FactoryProfile() {
    ProfileValues v;
    v.buttonCodes = {1, 2, 3, 5, 4, 18, 17, 13};
    v.wheelMode = 0;
    v.dpiStage = 0;
    v.dpiStagePositions = {1, 2, 3, 0};
    v.dpiStageEnabled = {1, 1, 1, 1};
    v.ledMode = 0;
    v.pointerSpeed = 5;
    v.wheelSpeed = 2;
    v.fireInterval = 50;
    return v;
}

ProfileValues ProfileSettings::values() const {
    ProfileValues v;
    forEachStoredKey([&](const StoredField& f, int e) { f.setValue(v, e, f.shared(*this, e)); });
    return v;
}

void ProfileSettings::setValues(const ProfileValues& v) {
    forEachStoredKey([&](const StoredField& f, int e) { f.setShared(*this, e, f.stored(f.value(v, e))); });
    for (int s = 0; s < DpiStageCount; ++s)
        appliedDpiStagePositions[s].store(v.dpiStagePositions[s], relaxed);
}

ProfileValues OverlayEdits(const ProfileValues& base, const ProfileValues& edited, const ProfileValues& onFile) {
    ProfileValues result = onFile;
    forEachStoredKey([&](const StoredField& f, int e) {
        if (f.value(edited, e) != f.value(base, e))
            f.setValue(result, e, f.value(edited, e));
    });
    return result;
}

std::vector<std::string> DifferingKeys(const ProfileValues& a, const ProfileValues& b) {
    std::vector<std::string> keys;
    forEachStoredKey([&](const StoredField& f, int e) {
        if (f.value(a, e) != f.value(b, e))
            keys.push_back(f.key(e));
    });
    return keys;
}

int ProfileSettings::dpiStageIndex() const {
    return std::clamp(dpiStage.load(relaxed), 0, DpiStageCount - 1);
}

std::string ProfileSectionName(int n, bool fromDefaults, UiLanguage language) {
    if (!fromDefaults)
        return numbered("Config", n);
    if (n == 5 && language == UiLanguage::English)
        return "CfgReset_EN5";
    return numbered("CfgReset", n);
}

std::vector<std::pair<std::string, std::string>> ProfileKeyValues(const ProfileValues& v) {
    std::vector<std::pair<std::string, std::string>> keys;
    forEachStoredKey(
        [&](const StoredField& f, int e) { keys.emplace_back(f.key(e), std::to_string(f.stored(f.value(v, e)))); });
    return keys;
}

ProfileValues ReadProfileValues(const IniDocument& doc, int n, bool fromDefaults, UiLanguage language) {
    const std::string section = ProfileSectionName(n, fromDefaults, language);
    ProfileValues v;
    forEachStoredKey(
        [&](const StoredField& f, int e) { f.setValue(v, e, f.stored(doc.readInt(section, f.key(e), f.readBuffer))); });
    ClampProfileValues(v);
    return v;
}

bool IsAssignableButtonCode(std::int32_t code) {
    return code >= 0 && code <= 52 && !(code >= 7 && code <= 10) && code != 20;
}

void ClampProfileValues(ProfileValues& v) {
    const ProfileValues factory = FactoryProfile();
    for (std::size_t i = 0; i < v.buttonCodes.size(); ++i)
        if (!IsAssignableButtonCode(v.buttonCodes[i]))
            v.buttonCodes[i] = factory.buttonCodes[i];
    for (auto& position : v.dpiStagePositions)
        position = std::min<std::uint8_t>(position, 4);
    for (auto& enabled : v.dpiStageEnabled)
        enabled = enabled != 0 ? 1 : 0;
    const bool usable = v.dpiStage >= 0 && v.dpiStage < DpiStageCount &&
                        v.dpiStageEnabled[static_cast<std::size_t>(v.dpiStage)] != 0;
    if (!usable) {
        const auto first = std::find(v.dpiStageEnabled.begin(), v.dpiStageEnabled.end(), std::uint8_t{1});
        v.dpiStage = first == v.dpiStageEnabled.end() ? 0 : static_cast<std::int32_t>(first - v.dpiStageEnabled.begin());
    }
    v.wheelMode = std::clamp(v.wheelMode, 0, 1);
    v.macroPlaybackMode = std::clamp(v.macroPlaybackMode, 0, 1);
    v.ledMode = std::min<std::uint8_t>(v.ledMode, 3);
    v.pointerSpeed = std::min<std::uint8_t>(v.pointerSpeed, 9);
    v.wheelSpeed = std::min<std::uint8_t>(v.wheelSpeed, 9);
    v.fireInterval = std::clamp(v.fireInterval, 0, 300);
}

void WriteProfileValues(IniDocument& doc, const ProfileValues& values, int n) {
    const std::string section = ProfileSectionName(n);
    for (const auto& [key, value] : ProfileKeyValues(values))
        doc.write(section, key, value);
}

FileStatus LoadProfile(ProfileSettings& settings, const fs::path& file, int n, bool fromDefaults, UiLanguage language) {
    const IniRead read = IniFile::read(file);
    if (read.unreadable())
        return read.status();
    settings.setValues(ReadProfileValues(read.document, n, fromDefaults, language));
    return FileStatus::success();
}

FileStatus ReadImportedProfile(const fs::path& file, ProfileValues& out) {
    const IniRead read = IniFile::read(file);
    if (read.unreadable())
        return read.status();
    const std::string name = fsys::Utf8Of(file);
    if (read.state != FileState::Readable)
        return FileStatus::failure(name + ": No such file or directory");
    const std::string section = ProfileSectionName(ExchangeProfileSection);
    if (!read.document.hasSection(section))
        return FileStatus::failure(name + " holds no profile (no section " + section + ")");
    for (const auto& [key, unused] : ProfileKeyValues(ProfileValues{})) {
        const std::optional<std::string> text = read.document.value(section, key);
        const bool number = text && !text->empty() &&
                            std::all_of(text->begin() + ((*text)[0] == '-' ? 1 : 0), text->end(),
                                        [](char c) { return c >= '0' && c <= '9'; }) &&
                            *text != "-";
        if (!number)
            return FileStatus::failure(name + " holds an incomplete profile: " + section + " has no number for " + key);
    }
    out = ReadProfileValues(read.document, ExchangeProfileSection, false, UiLanguage::English);
    return FileStatus::success();
}

FileStatus SaveProfileValues(const ProfileValues& values, const fs::path& file, int n, FileLock locking) {
    return IniFile::update(
        file,
        [&](IniDocument& doc) {
            WriteProfileValues(doc, values, n);
            return FileStatus::success();
        },
        nullptr, locking);
}

FileStatus SaveProfile(const ProfileSettings& settings, const fs::path& file, int n, FileLock locking) {
    return SaveProfileValues(settings.values(), file, n, locking);
}

FileStatus SaveDpiLevel(const ProfileSettings& settings, const fs::path& file, int n) {
    return IniFile::writeString(file, ProfileSectionName(n), DpiStageKey,
                                std::to_string(settings.dpiStage.load(relaxed)));
}

int ReadCurConfig(const IniDocument& doc) {
    return doc.readInt("Init", "CurConfig", ValueBuffer);
}

int ReadCurConfig(const fs::path& configPath) {
    return ReadCurConfig(IniFile::load(configPath));
}

void WriteCurConfig(IniDocument& doc, int curConfig) {
    doc.write("Init", "CurConfig", std::to_string(curConfig));
}

FileStatus WriteCurConfig(const fs::path& configPath, int curConfig) {
    return IniFile::update(configPath, [&](IniDocument& doc) {
        WriteCurConfig(doc, curConfig);
        return FileStatus::success();
    });
}

} // namespace krv
