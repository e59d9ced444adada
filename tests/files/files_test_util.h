// Helpers of the file tests: a temporary folder, reading and writing whole files.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/kryta-files-XXXXXX";
        const char* made = mkdtemp(tmpl);
        path = made ? made : "";
    }
    ~TempDir() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
    std::string File(const std::string& name) const { return path + "/" + name; }
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Lines of a text whose every line ends with CR LF; `ok` is false when a line lacks it or a
// bare LF or CR appears inside a line.
inline std::vector<std::string> SplitCrLf(const std::string& text, bool& ok) {
    std::vector<std::string> lines;
    ok = true;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            ok = false;
            lines.push_back(text.substr(pos));
            break;
        }
        std::string line = text.substr(pos, end - pos);
        if (line.find('\r') != std::string::npos || line.find('\n') != std::string::npos) ok = false;
        lines.push_back(line);
        pos = end + 2;
    }
    return lines;
}

inline std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t pos = 0;
    for (;;) {
        const size_t tab = line.find('\t', pos);
        fields.push_back(line.substr(pos, tab == std::string::npos ? std::string::npos : tab - pos));
        if (tab == std::string::npos) break;
        pos = tab + 1;
    }
    return fields;
}
