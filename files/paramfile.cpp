// The parameter file: the value words of the main and the extension parameter frame, 30 lines of
// one number each, so that a saved file reproduces exactly what SEND would transmit.
#include <array>
#include <cstdio>
#include <string>

#include "app/app.h"
#include "files/files.h"
#include "link/com232.h"
#include "params/codec.h"
#include "params/panel.h"
#include "params/vars.h"
#include "platform/userint.h"

std::string file_name;

namespace {

constexpr int kParaWords = 15;           // value words per frame
constexpr int kParaValues = 2 * kParaWords;

// Status text of a parameter-file outcome, kept in szStatus as well: GET shows szStatus again
// after the file branch.
void ParaStatus(const std::string& text) {
    szStatus = text;
    ShowStatus(text);
}

}  // namespace

void SendParaToFile() {
    GetPanelValuesOfVariant();
    std::array<uint16_t, kParaValues> values{};
    CopyVarsToPP(0);
    for (int i = 0; i < kParaWords; ++i) values[i] = pp[i];
    CopyVarsToPP(1);
    for (int i = 0; i < kParaWords; ++i) values[kParaWords + i] = pp[i];

    // Each value right-aligned in a field of six characters, CR LF after it.
    std::string text;
    for (uint16_t v : values) {
        char line[16];
        std::snprintf(line, sizeof line, "%6u\r\n", unsigned(v));
        text += line;
    }
    std::FILE* f = std::fopen(file_name.c_str(), "wb");
    bool ok = f != nullptr;
    if (f) {
        ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
        ok = (std::fclose(f) == 0) && ok;
    }
    if (!ok) ParaStatus("Cannot write parameter file!");
}

void ReadParaFromFile() {
    std::string path;
    const int chosen = FileSelectPopup(proj_dir, "KRYTApara.cfg", "*.cfg", "KRYTA-LT-Series-Parameter-File",
                                       "Load", false, true, true, true, path);
    if (chosen != VAL_EXISTING_FILE_SELECTED && chosen != VAL_NEW_FILE_SELECTED) return;
    file_name = path;

    std::array<uint16_t, kParaValues> values{};
    switch (ReadNumberFile(file_name, kParaValues, values.data(), NumRange::Low16)) {
    case NumFileResult::Ok:
        break;
    case NumFileResult::TooShort:
        ParaStatus("Parameter file holds less than 30 values - nothing loaded!");
        return;
    case NumFileResult::NotNumber:
    case NumFileResult::OutOfRange:
        ParaStatus("Parameter file holds a non-number - nothing loaded!");
        return;
    case NumFileResult::Unreadable:
    default:
        ParaStatus("Cannot read parameter file - nothing loaded!");
        return;
    }
    for (int i = 0; i < kParaWords; ++i) pp[i] = values[i];
    CopyPPtoVars(0);
    for (int i = 0; i < kParaWords; ++i) pp[i] = values[kParaWords + i];
    CopyPPtoVars(1);
    ParaStatus("Parameter file loaded!");
}
