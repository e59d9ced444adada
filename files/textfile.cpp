// Plain text files of the program: reading number lists, appending lines, writing reals.
#include <charconv>
#include <cstdio>

#include "files/files.h"

namespace {

bool IsBlank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// Closes the file on every way out.
struct CFile {
    std::FILE* f;
    explicit CFile(std::FILE* file) : f(file) {}
    ~CFile() { if (f) std::fclose(f); }
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
};

}  // namespace

NumFileResult ReadNumberFile(const std::string& path, int count, uint16_t* out, NumRange range) {
    CFile file(std::fopen(path.c_str(), "rb"));
    if (!file.f) return NumFileResult::Unreadable;
    std::FILE* f = file.f;
    for (int n = 0; n < count; ++n) {
        int c;
        do c = std::getc(f); while (c != EOF && IsBlank(c));
        if (c == EOF) return std::ferror(f) ? NumFileResult::Unreadable : NumFileResult::TooShort;
        bool negative = false;
        if (c == '-') {
            negative = true;
            c = std::getc(f);
        }
        int digits = 0;
        uint32_t low16 = 0;   // the value modulo 65536, exact for any length
        uint32_t exact = 0;   // the value while it is at most 65535, then anything above
        while (c != EOF && IsDigit(c)) {
            low16 = (low16 * 10 + uint32_t(c - '0')) & 0xFFFFu;
            if (exact <= 65535) exact = exact * 10 + uint32_t(c - '0');
            ++digits;
            c = std::getc(f);
        }
        if (c == EOF && std::ferror(f)) return NumFileResult::Unreadable;
        if (digits == 0 || (c != EOF && !IsBlank(c))) return NumFileResult::NotNumber;
        if (range == NumRange::Low16) {
            if (negative) return NumFileResult::NotNumber;
            out[n] = uint16_t(low16);
        } else {
            if ((negative && exact != 0) || exact > 65535) return NumFileResult::OutOfRange;
            out[n] = uint16_t(exact);
        }
    }
    return NumFileResult::Ok;
}

std::string FormatReal(double value) {
    char buf[512];  // room for any double in fixed notation
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
    if (ec != std::errc()) return "0.0";
    std::string s(buf, end);
    const auto point = s.find('.');
    if (point == std::string::npos) return s;
    while (s.size() > point + 2 && s.back() == '0') s.pop_back();
    return s;
}

bool AppendToFile(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    return written && closed;
}
