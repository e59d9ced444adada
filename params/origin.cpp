// The origin of the pages' values.
#include "params/origin.h"

#include "link/com232.h"
#include "params/panels.h"
#include "params/status.h"
#include "platform/userint.h"

const char* const kNotIdentifiedText = "Sensor not identified! - select the COM-port again";
const char* const kNotReadText = "Parameters not read from this sensor! - press GET first";

namespace {

PagesOrigin pages;

void NothingShownIsASensors();

}  // namespace

void PagesFromStartValues() {
    pages = {};
    NothingShownIsASensors();
}

void PagesFromSensor(int memTarget) { pages = {Origin::Sensor, memTarget, "", Connection()}; }

void PagesFromFile(const std::string& path) {
    pages = {Origin::File, 0, path, ident_flag == 1 ? Connection() : -1};
}

PagesOrigin CurrentOrigin() {
    PagesOrigin o = pages;
    if ((o.origin == Origin::Sensor || o.origin == Origin::File) && o.connection != Connection())
        o.origin = Origin::OtherSensor;
    return o;
}

bool RefuseUnidentified() {
    const Origin o = CurrentOrigin().origin;
    if (ident_flag == 1 && (o == Origin::Sensor || o == Origin::File)) return false;
    szStatus = ident_flag == 1 ? kNotReadText : kNotIdentifiedText;
    ShowStatus(szStatus);
    return true;
}

// ---------------------------------------------------------------------------------------------
// greyed values

namespace {

constexpr int kGreyText = 0x909090;
constexpr int kGreyBack = 0xE4E4E4;  // neither in nor out of tolerance

int displaysConnection = -1;     // the connection whose measurement the displays show
int designationConnection = -1;  // the connection whose sensor the calibration page names

// How a group of controls looks now; Unknown until the first look is set.
enum class Look { Unknown, AsEver, Greyed };
Look displaysLook = Look::Unknown, tolerancesLook = Look::Unknown, designationLook = Look::Unknown;

const int kMeasured[] = {PANEL_NUMLedge, PANEL_NUMRedge,  PANEL_NUMMvalue, PANEL_NUMumValue,
                         PANEL_NUManaOut, PANEL_NUManaMax, PANEL_NUManaMin};
const int kLengths[] = {PANEL_NUMTolUP, PANEL_NUMTol};

// The displays are white with black figures; greyed, the measured value loses its tolerance colour
// too (the next frame colours it again).
template <size_t N>
void LookOfDisplays(Look& now, bool thisSensors, const int (&displays)[N]) {
    const Look want = thisSensors ? Look::AsEver : Look::Greyed;
    if (now == want) return;
    now = want;
    for (int c : displays) {
        SetCtrlTextColor(pHandle, c, thisSensors ? 0x000000 : kGreyText);
        SetCtrlTextBgColor(pHandle, c, thisSensors ? 0xFFFFFF : kGreyBack);
    }
}

void NothingShownIsASensors() {
    displaysConnection = designationConnection = -1;
    displaysLook = tolerancesLook = designationLook = Look::Unknown;  // freshly loaded panels
}

// The sensor identified on this connection is still on its line.
bool SensorThere() { return ident_flag == 1 && LastOutcome() != Outcome::LineLost; }

}  // namespace

void DisplaysFromSensor() {
    displaysConnection = Connection();
    LookOfDisplays(displaysLook, true, kMeasured);
}

void DesignationFromSensor() { designationConnection = Connection(); }

void ShowOrigins() {
    const bool there = SensorThere();
    LookOfDisplays(displaysLook, there && displaysConnection == Connection(), kMeasured);
    const Origin values = CurrentOrigin().origin;
    LookOfDisplays(tolerancesLook, there && (values == Origin::Sensor || values == Origin::File), kLengths);
    const Look designation = there && designationConnection == Connection() ? Look::AsEver : Look::Greyed;
    if (designation != designationLook) {
        designationLook = designation;
        SetCtrlTextColor(pCalib, CALIB_TEXTBOXsensor, designation == Look::AsEver ? 0x000000 : kGreyText);
    }
}
