#pragma once

#include <cstdlib>
#include <string>

// A fresh, empty directory under the system's temporary folder.
inline std::string make_temp_dir(const std::string& name) {
    std::string pattern = std::string("/tmp/tagloomsmith_") + name + "_XXXXXX";
    char* made = mkdtemp(pattern.data());
    return made ? std::string(made) : std::string();
}
