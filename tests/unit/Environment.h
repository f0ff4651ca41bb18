// SPDX-License-Identifier: MIT
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace krv::test {

// Sets an environment variable (unsets it for nullopt) in this process, on every system.
inline void setEnvironment(const char* name, const std::optional<std::string>& value) {
#ifdef _WIN32
    // The wide environment is the one the program reads there; values here are ASCII paths.
    const std::wstring wideName(name, name + std::char_traits<char>::length(name));
    const std::wstring wideValue = value ? std::wstring(value->begin(), value->end()) : std::wstring{};
    _wputenv_s(wideName.c_str(), wideValue.c_str()); // an empty value removes the variable
#else
    value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
#endif
}

// Sets an environment variable for the scope (unset for nullopt), then restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        setEnvironment(name, value);
    }
    ~ScopedEnv() { setEnvironment(m_name, m_old); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

} // namespace krv::test
