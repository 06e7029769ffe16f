#include "app/program_options.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "app/version_text.h"

void ChoosePrefixOnCommandLine(const std::string& path) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    ::setenv("WINEPREFIX", (ec ? std::filesystem::path(path) : absolute).lexically_normal().c_str(), 1);
}

std::optional<int> TakeProgramOptions(const std::string& program, std::vector<std::string>& args) {
    std::vector<std::string> rest;
    bool version = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--version") {
            version = true;
        } else if (a == "--prefix" || a.rfind("--prefix=", 0) == 0) {
            std::string path;
            if (a == "--prefix") {
                if (i + 1 == args.size()) {
                    std::cerr << program << ": --prefix needs the prefix's folder\n";
                    return 2;
                }
                path = args[++i];
            } else {
                path = a.substr(9);
            }
            if (path.empty()) {
                std::cerr << program << ": --prefix needs the prefix's folder\n";
                return 2;
            }
            ChoosePrefixOnCommandLine(path);
        } else {
            rest.push_back(a);
        }
    }
    if (version) {
        std::cout << ProgramVersionLine(program) << "\n";
        return 0;
    }
    args = std::move(rest);
    return std::nullopt;
}
