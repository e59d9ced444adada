// libFuzzer target: any bytes, any length, as a parameter file and as a linearisation file, read
// through the program's own file readers with the real panels loaded headless. A file that is read
// must give exactly the numbers it holds; a file that fails must load nothing. Aborts otherwise.
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app.h"
#include "fuzz/fuzz_program.h"
#include "files/files.h"
#include "link/com232.h"
#include "params/status.h"
#include "sensor/vars.h"
#include "support/testing.h"
#include "platform/userint.h"

namespace {

bool Blank(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// What a correct reader makes of a file of exactly `count` numbers: false when the file does not
// hold them (too few or too many, not a plain decimal number, or out of range for a strict reader).
// A UTF-8 byte-order mark before the numbers and Ctrl-Z among the blanks at the end are passed over,
// as editors on the operators' computers write them.
// `wide` is the low 16 bits of the first number above 65535 that a lenient reader took, or -1.
bool Expected(const uint8_t* d, size_t n, int count, bool strict, std::vector<uint16_t>& out, long& wide) {
    out.clear();
    wide = -1;
    size_t i = n >= 3 && d[0] == 0xEF && d[1] == 0xBB && d[2] == 0xBF ? 3 : 0;
    while (n > i && (Blank(d[n - 1]) || d[n - 1] == 0x1A)) --n;
    while (int(out.size()) < count) {
        while (i < n && Blank(d[i])) ++i;
        if (i == n) return false;
        const size_t start = i;
        while (i < n && !Blank(d[i])) ++i;
        std::string token(reinterpret_cast<const char*>(d + start), i - start);
        const bool negative = token[0] == '-';
        const std::string digits = negative ? token.substr(1) : token;
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return false;
        uint64_t exact = 0;
        uint32_t low16 = 0;
        for (char c : digits) {
            low16 = (low16 * 10 + uint32_t(c - '0')) & 0xFFFF;
            exact = exact > 65535 ? exact : exact * 10 + uint64_t(c - '0');
        }
        if (strict ? (exact > 65535 || (negative && exact != 0)) : negative) return false;
        if (exact > 65535 && wide < 0) wide = long(low16);
        out.push_back(uint16_t(strict ? exact : low16));
    }
    while (i < n && Blank(d[i])) ++i;
    return i == n;
}

std::string g_path;

void WriteFile(const uint8_t* d, size_t n) {
    std::FILE* f = std::fopen(g_path.c_str(), "wb");
    Check(f != nullptr);
    if (n) Check(std::fwrite(d, 1, n, f) == n);
    Check(std::fclose(f) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartProgramHeadless();
    const char* tmp = std::getenv("TMPDIR");
    g_path = std::string(tmp && *tmp ? tmp : "/tmp") + "/kryta-fuzz-file-" + std::to_string(getpid()) + ".dat";
    // the file under test goes when the fuzzer ends, however many inputs it ran
    std::atexit([] { std::remove(g_path.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    WriteFile(data, size);
    std::vector<uint16_t> want;
    long wide = -1;

    if (mode & 1) {
        // the linearisation table: 1024 values for hardware code 400, else 2048, 0 to 65535
        hwtype = (mode & 2) ? 400 : 37;
        const int n = hwtype == 400 ? 1024 : 2048;
        const auto before = linArray;
        TestQueueFileSelect(VAL_EXISTING_FILE_SELECTED, g_path);
        const int result = ReadLinDataFromFile();
        if (Expected(data, size, n, true, want, wide)) {
            Check(result == 0);
            for (int i = 0; i < n; ++i) Check(linArray[i] == uint16_t((want[i] + 32767u) % 65536u));
            for (int i = n; i < int(linArray.size()); ++i) Check(linArray[i] == before[i]);
        } else {
            Check(result != 0);
            Check(linArray == before);
        }
    } else {
        // the parameter file: 30 values, taken as their low 16 bits
        hwtype = (mode & 2) ? 20250 : 37;
        softversion = (mode & 4) ? 303 : 302;
        const auto before = parameter;
        TestQueueFileSelect(VAL_EXISTING_FILE_SELECTED, g_path);
        ReadParaFromFile();
        if (Expected(data, size, 30, false, want, wide)) {
            // a number above 65535 is loaded as its low 16 bits, and the status line says so
            const std::string taken = " taken as " + std::to_string(wide) + "!";
            Check(wide < 0 ? szStatus == "Parameter file loaded!"
                           : szStatus.rfind("Parameter file loaded - line ", 0) == 0 && szStatus.size() > taken.size() &&
                                 szStatus.compare(szStatus.size() - taken.size(), taken.size(), taken) == 0);
            const int b = BlockStart(ParamVariant());
            for (int i = 0; i < 15; ++i) Check(parameter[b + i] == want[i]);
            for (int i = 0; i < 11; ++i) Check(parameter[48 + i] == want[15 + i]);
            for (int i = 0; i < 4; ++i) Check(parameter[60 + i] == want[26 + i]);
            Check(parameter[59] == before[59]);
        } else {
            Check(szStatus.rfind("Parameter file loaded", 0) != 0);
            Check(parameter == before);
        }
    }
    Check(TestPendingDialogAnswers() == 0);
    ProcessSystemEvents();  // as the program does between operations
    return 0;
}
