// kryta-lt's JSON objects: the sensor's identification, a parameter set and one measurement frame,
// with the same names wherever they appear. Numbers are JSON numbers; a name carries its unit
// (_px pixel positions, _um micrometres) or the value has none.
#pragma once

#include <QJsonObject>

#include <array>
#include <cstdint>
#include <string>

// The identified sensor: port, designation, description texts, pixels, CCD family, hardware code,
// firmware number, variant and text.
QJsonObject IdentityJson(const std::string& portDevice, const std::string& firmwareText);
// A parameter set of RAM or EEPROM, 30 words (frame 0 then frame 1), named as the variant's pages
// name them: {"memory", "variant", "parameters": {NAME: {"word", "value", "unit"}}}.
QJsonObject ParametersJson(int memTarget, const std::array<uint16_t, 30>& words);
// The measurement frame last decoded.
QJsonObject MeasurementJson();

// The object as one line of compact JSON, ended by a line break.
std::string JsonLine(const QJsonObject& object);
