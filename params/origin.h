// Where the values on the pages came from. Every operation that changes the pages' parameter
// values says so here; what SEND, teach, the reset and the X-FLASH write put into a sensor must
// have come from this sensor or from a file the operator loaded for it.
#pragma once

#include <string>

enum class Origin {
    StartValues,  // the program's start values (or those of a failed connect)
    Sensor,       // a whole set read from the sensor of this connection
    File,         // a parameter file loaded after this sensor was identified
    OtherSensor,  // a set read on an earlier connection, or a file loaded before this sensor answered
};
struct PagesOrigin {
    Origin origin = Origin::StartValues;
    int memory = 0;        // Sensor: RAM or EEPROM
    std::string file;      // File: its path
    int connection = -1;   // the connection the values belong to
};

// The pages now hold the start values (and nothing the window shows is a sensor's) / a whole set of
// this sensor's memory / a loaded file.
void PagesFromStartValues();
void PagesFromSensor(int memTarget);
void PagesFromFile(const std::string& path);
// Where the pages' values came from, as seen from the connection in use now.
PagesOrigin CurrentOrigin();

extern const char* const kNotIdentifiedText;
extern const char* const kNotReadText;
// Refuses an operation that writes into the sensor while it is not identified or the pages do not
// hold its values (read from it, or a file loaded since it was identified): shows why and returns
// true.
bool RefuseUnidentified();

// ---- what the window shows of the sensor ----
// The measurement displays show a frame of this connection's sensor (as ever from now on) / the
// calibration page names the sensor identified on this connection (as ever from the ShowOrigins
// that ends the connect sequence).
void DisplaysFromSensor();
void DesignationFromSensor();
// Greys what is no longer this sensor's, keeping the values: the measurement displays and the
// designation once another connection began or the line was lost, the tolerance lengths once the
// pages do not hold this sensor's values (see CurrentOrigin); shows them as ever again when they
// are this sensor's. After every connect sequence and every sensor operation.
void ShowOrigins();
