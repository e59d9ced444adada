// The origin of the pages' values.
#include "params/origin.h"

#include "link/com232.h"
#include "params/status.h"

const char* const kNotIdentifiedText = "Sensor not identified! - select the COM-port again";
const char* const kNotReadText = "Parameters not read from this sensor! - press GET first";

namespace {

PagesOrigin pages;

}  // namespace

void PagesFromStartValues() { pages = {}; }

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
