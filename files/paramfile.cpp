// The parameter file: the value words of the main and the extension parameter frame, 30 lines of
// one number each, so that a saved file reproduces exactly what SEND would transmit.
#include <array>
#include <string>

#include "files/files.h"
#include "link/com232.h"
#include "params/origin.h"
#include "params/status.h"
#include "params/panel.h"
#include "params/panels.h"
#include "platform/userint.h"
#include "sensor/codec.h"
#include "sensor/files.h"
#include "sensor/vars.h"

std::string file_name;

namespace {

constexpr int kParaWords = 15;  // value words per frame

// Status text of a parameter-file outcome, kept in szStatus as well: GET shows szStatus again
// after the file branch.
void ParaStatus(const std::string& text) {
    szStatus = text;
    ShowStatus(text);
}

}  // namespace

namespace {

// Where the saved values came from, when not from the sensor now connected.
std::string SavedFromText() {
    const PagesOrigin o = CurrentOrigin();
    switch (o.origin) {
    case Origin::Sensor: return "Parameter file saved!";
    case Origin::File: return "Parameter file saved - values of a loaded file!";
    case Origin::StartValues: return "Parameter file saved - start values, not read from a sensor!";
    case Origin::OtherSensor: break;
    }
    return "Parameter file saved - values not read from this sensor!";
}

}  // namespace

void SendParaToFile() {
    GetPanelValuesOfVariant();
    std::array<uint16_t, PARA_FILE_VALUES> values{};
    CopyVarsToPP(0);
    for (int i = 0; i < kParaWords; ++i) values[size_t(i)] = pp[size_t(i)];
    CopyVarsToPP(1);
    for (int i = 0; i < kParaWords; ++i) values[size_t(kParaWords + i)] = pp[size_t(i)];
    std::string reason;
    if (!WriteFileReplacing(file_name, FormatParaFile(values), reason))
        ParaStatus("Cannot write parameter file: " + reason + " - file unchanged!");
    else
        ParaStatus(SavedFromText());
}

int ReadParaFromFile() {
    std::string path;
    const int chosen = FileSelectPopup(proj_dir, "KRYTApara.cfg", "*.cfg", "KRYTA-LT-Series-Parameter-File",
                                       "Load", false, true, true, true, path);
    if (chosen != VAL_EXISTING_FILE_SELECTED && chosen != VAL_NEW_FILE_SELECTED) {
        ParaStatus("No file chosen - nothing loaded!");
        return 0;
    }
    file_name = path;

    std::array<uint16_t, PARA_FILE_VALUES> values{};
    const NumberFile f = ReadParaFile(file_name, values);
    if (f.status != NumberFile::Ok) {
        ParaStatus(ParaFileProblem(f));
        return 0;
    }
    for (int i = 0; i < kParaWords; ++i) pp[size_t(i)] = values[size_t(i)];
    CopyPPtoVars(0);
    for (int i = 0; i < kParaWords; ++i) pp[size_t(i)] = values[size_t(kParaWords + i)];
    CopyPPtoVars(1);
    // values the operator chose for this sensor: they may be written into it
    PagesFromFile(file_name);
    // a value above 65535: its low 16 bits are what the pages show; the status line says which
    if (f.wideLine == 0)
        ParaStatus("Parameter file loaded!");
    else
        ParaStatus("Parameter file loaded - line " + std::to_string(f.wideLine) + ": " + f.wideText + " taken as " +
                   std::to_string(f.wideTaken) + "!");
    return 1;
}
