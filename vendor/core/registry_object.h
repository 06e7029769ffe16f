// Base of the registry checkers of the core library.
#pragma once

#include <string>

class CRegistryObject {
public:
    virtual ~CRegistryObject() = default;

    // Non-zero when the file that a registry string names exists. Understands the command
    // strings registries hold: quoted paths with arguments, unquoted paths with spaces and
    // arguments, environment variables, "rundll32.exe file,entry", resource suffixes
    // (",-101") and bare file names searched as Windows searches them.
    static int FileVerified(const std::string& text);
};
