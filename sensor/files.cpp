// The program's files as bytes, read and written all or nothing.
#include "sensor/files.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "sensor/vars.h"

namespace {

bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// Closes the file on every way out.
struct CFile {
    std::FILE* f;
    explicit CFile(std::FILE* file) : f(file) {}
    ~CFile() {
        if (f) std::fclose(f);
    }
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
};

// Writes all bytes into the file opened in `mode`; false when any of them did not get there.
bool WriteAll(const std::string& path, const std::string& bytes, std::ios::openmode mode) {
    std::ofstream out(path, mode);
    if (!out.is_open()) return false;
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.flush();
    const bool written = out.good();
    out.close();
    return written && !out.fail();
}

std::string Plural(long n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

NumberFile ReadNumberFile(const std::string& path, int count, uint16_t* out, NumRange range) {
    NumberFile r;
    errno = 0;
    std::string bytes;
    {
        CFile file(std::fopen(path.c_str(), "rb"));
        if (!file.f) {
            r.reason = std::strerror(errno ? errno : ENOENT);
            return r;
        }
        char chunk[8192];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, file.f)) > 0) bytes.append(chunk, n);
        if (std::ferror(file.f)) {
            r.reason = std::strerror(errno ? errno : EIO);
            return r;
        }
    }
    // The values land here first; `out` changes only when the whole file is right.
    std::array<uint16_t, 4096> values{};
    if (count < 0 || count > int(values.size())) return r;
    const bool utf16 = bytes.size() >= 2 && ((uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xFE) ||
                                             (uint8_t(bytes[0]) == 0xFE && uint8_t(bytes[1]) == 0xFF));
    if (utf16 || bytes.find('\0') != std::string::npos) {
        r.status = NumberFile::NotPlainText;
        r.line = 1;
        return r;
    }
    size_t i = bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    size_t end = bytes.size();
    while (end > i && (IsBlank(uint8_t(bytes[end - 1])) || bytes[end - 1] == '\x1A')) --end;
    long line = 1;
    auto fault = [&](NumberFile::Status status, size_t from, size_t to) {
        r.status = status;
        r.line = line;
        r.text = bytes.substr(from, std::min<size_t>(to - from, 16));
        return r;
    };
    for (;;) {
        while (i < end && IsBlank(uint8_t(bytes[i]))) {
            if (bytes[i] == '\n') ++line;
            ++i;
        }
        if (i >= end) break;
        const size_t from = i;
        size_t to = i;
        while (to < end && !IsBlank(uint8_t(bytes[to]))) ++to;
        const bool negative = bytes[i] == '-';
        if (negative) ++i;
        uint32_t low16 = 0;  // the value modulo 65536, exact for any length
        uint32_t exact = 0;  // the value while it is at most 65535, then anything above
        const size_t digitsFrom = i;
        for (; i < to && IsDigit(uint8_t(bytes[i])); ++i) {
            low16 = (low16 * 10 + uint32_t(bytes[i] - '0')) & 0xFFFFu;
            if (exact <= 65535) exact = exact * 10 + uint32_t(bytes[i] - '0');
        }
        if (i == digitsFrom || i != to) return fault(NumberFile::NotNumber, from, to);
        if (range == NumRange::Low16 && negative) return fault(NumberFile::Negative, from, to);
        if (range == NumRange::Strict && ((negative && exact != 0) || exact > 65535))
            return fault(NumberFile::OutOfRange, from, to);
        if (exact > 65535 && r.wideLine == 0) {
            r.wideLine = line;
            r.wideText = bytes.substr(from, std::min<size_t>(to - from, 16));
            r.wideTaken = uint16_t(low16);
        }
        if (r.count < count) values[size_t(r.count)] = uint16_t(low16);
        else if (r.count == count) r.line = line;  // the first number too many
        ++r.count;
    }
    if (r.count != count) {
        if (r.count < count) r.line = 0;
        r.status = NumberFile::WrongCount;
        return r;
    }
    std::copy(values.begin(), values.begin() + count, out);
    r.status = NumberFile::Ok;
    return r;
}

std::string FormatParaFile(const std::array<uint16_t, PARA_FILE_VALUES>& values) {
    std::string text;
    for (uint16_t v : values) {
        char line[16];
        std::snprintf(line, sizeof line, "%6u\r\n", unsigned(v));
        text += line;
    }
    return text;
}

NumberFile ReadParaFile(const std::string& path, std::array<uint16_t, PARA_FILE_VALUES>& values) {
    return ReadNumberFile(path, PARA_FILE_VALUES, values.data(), NumRange::Low16);
}

std::string ParaFileProblem(const NumberFile& f) {
    switch (f.status) {
    case NumberFile::Ok: return "";
    case NumberFile::WrongCount:
        return "Parameter file holds " + Plural(f.count, "number", "numbers") + ", 30 are needed - nothing loaded!";
    case NumberFile::NotPlainText: return "Parameter file is not a plain-text file (UTF-16?) - nothing loaded!";
    case NumberFile::NotNumber:
    case NumberFile::OutOfRange: return "line " + std::to_string(f.line) + " holds '" + f.text + "' - nothing loaded!";
    case NumberFile::Negative:
        return "line " + std::to_string(f.line) + " holds a negative number, " + f.text + " - nothing loaded!";
    default: return "Cannot read parameter file: " + f.reason + " - nothing loaded!";
    }
}

std::string ParaFileWideNote(const NumberFile& f) {
    if (f.wideLine == 0) return "";
    return "line " + std::to_string(f.wideLine) + " holds " + f.wideText + ": its low 16 bits, " +
           std::to_string(f.wideTaken) + ", taken";
}

int LinTableSize() { return hwtype == 400 ? 1024 : 2048; }

NumberFile ReadLinFile(const std::string& path) {
    const int n = LinTableSize();
    std::array<uint16_t, 2048> values{};
    NumberFile r = ReadNumberFile(path, n, values.data(), NumRange::Strict);
    if (r.status == NumberFile::Ok)
        for (int i = 0; i < n; ++i) linArray[size_t(i)] = uint16_t((uint32_t(values[size_t(i)]) + 32767u) % 65536u);
    return r;
}

namespace {

// head + middle + tail in at most 72 characters (the status line's): the middle cut with "...".
std::string Fit72(const std::string& head, const std::string& middle, const std::string& tail) {
    constexpr size_t kMost = 72;
    if (head.size() + middle.size() + tail.size() <= kMost) return head + middle + tail;
    const size_t room = kMost > head.size() + tail.size() + 3 ? kMost - head.size() - tail.size() - 3 : 0;
    return head + middle.substr(0, room) + "..." + tail;
}

}  // namespace

std::string LinFileProblem(const NumberFile& f) {
    switch (f.status) {
    case NumberFile::Ok: return "";
    case NumberFile::WrongCount:
        return "Linearisation file holds " + Plural(f.count, "value", "values") + ", " +
               std::to_string(LinTableSize()) + " are needed - nothing written!";
    case NumberFile::NotPlainText: return "Linearisation file is not a plain-text file (UTF-16?) - nothing written!";
    case NumberFile::NotNumber:
    case NumberFile::Negative:
        return Fit72("Linearisation file line " + std::to_string(f.line) + " holds '", f.text, "' - nothing written!");
    case NumberFile::OutOfRange:
        return Fit72("Linearisation file line " + std::to_string(f.line) + ": ", f.text,
                     " not in 0...65535 - nothing written!");
    default: return Fit72("Cannot read linearisation file: ", f.reason, " - nothing written!");
    }
}

float RecorderSlope() {
    double divisor = 1024.0;
    if (hwtype != 500 && softversion < 303) divisor = 16384.0;
    return float(double(ScaleFactor()) / divisor);
}

std::string RecorderHeader(const std::string& date, const std::string& time, double increment,
                           uint16_t samples) {
    std::string h;
    h += "Date:\t" + date + "\r\n";
    h += "Time:\t" + time + "\r\n";
    h += "Time-Increment[s]:\t" + FormatReal(increment) + "\r\n";
    h += "Number of Samples:\t" + std::to_string(int16_t(samples)) + "\r\n";
    h += "Offset-Value [\xB5m]:\t" + std::to_string(CalOffset()) + "\r\n";
    h += "Slope-Value [\xB5m/pixel]:\t" + FormatReal(RecorderSlope()) + "\r\n";
    h += "E-LEFT\tE-RIGHT\tM-VALUE\tEDGES\tM-VAL[um]\r\n";
    return h;
}

std::string RecorderDataLine() {
    char line[96];
    std::snprintf(line, sizeof line, "%u\t%u\t%u\t%u\t%d\r\n", unsigned(Ledge), unsigned(Redge),
                  unsigned(Mvalue), unsigned(edcnt), int(int32_t(umValue)));
    return line;
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

bool WriteFileReplacing(const std::string& path, const std::string& bytes, std::string& reason) {
    namespace fs = std::filesystem;
    static unsigned serial = 0;
    const std::string beside = path + ".part" + std::to_string(++serial);
    errno = 0;
    bool ok = WriteAll(beside, bytes, std::ios::binary | std::ios::trunc);
    if (!ok) {
        reason = std::strerror(errno ? errno : EIO);
        std::error_code ignore;
        fs::remove(beside, ignore);
        return false;
    }
    std::error_code ec;
    fs::rename(beside, path, ec);
    if (ec) {
        reason = ec.message();
        fs::remove(beside, ec);
        return false;
    }
    return true;
}

bool AppendWhole(const std::string& path, const std::string& bytes) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const bool existed = fs::exists(path, ec);
    const auto before = existed ? fs::file_size(path, ec) : 0;
    if (ec) return false;
    bool ok = WriteAll(path, bytes, std::ios::binary | std::ios::app);
    if (!ok && fs::exists(path, ec)) fs::resize_file(path, before, ec);  // no torn line stays behind
    return ok;
}

bool RemoveFile(const std::string& path, std::string& reason) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (!ec) return true;
    reason = ec.message();
    return false;
}
