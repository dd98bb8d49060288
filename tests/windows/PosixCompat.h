#pragma once
// Forced into every test source of the Windows build: the few POSIX calls that the test suites
// use to set up their environment, on top of the C runtime's own.

#ifdef _WIN32
#include <cstdlib>

// The C runtime keeps its own copy of the environment; _putenv_s changes it and the process's.
// An empty value removes the variable there, so setenv cannot give a variable an empty value.
inline int setenv(const char* name, const char* value, int overwrite) {
    if (overwrite == 0 && std::getenv(name) != nullptr)
        return 0;
    return _putenv_s(name, value) == 0 ? 0 : -1;
}

inline int unsetenv(const char* name) {
    return _putenv_s(name, "") == 0 ? 0 : -1;
}
#endif
