// cli/: kryta-lt, the sensor on the command line. main.cpp holds the option table, the help and
// the command table; each command is a Cmd function that returns the exit code:
//   info.cpp     info: who the sensor is
//   fleet.cpp    ports, scan and backup: the machine's ports and the sensors on them
//   sets.cpp     get, send and compare: the parameter set
//   measure.cpp  record, measure and video: measured data
// The commands of the plant network (publish, gateway) live in plant/, the commissioning record
// (report) in record/; what they all share (options, connect, confirmed reads, JSON, output files)
// in common/.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/common.h"

// The exit-code table, as kryta-lt --help prints it.
extern const char* const kExitCodeTable;

int CmdPorts(const Args& a);
int CmdInfo(const Args& a);
int CmdGet(const Args& a);
int CmdSend(const Args& a);
int CmdCompare(const Args& a);
int CmdRecord(const Args& a);
int CmdMeasure(const Args& a);
int CmdVideo(const Args& a);
int CmdScan(const Args& a);
int CmdBackup(const Args& a);

// RAM or EEPROM from its name (ram, eeprom); 0 for anything else.
int MemoryOf(const std::string& name);
// A backup: the parameter file at `path` (see OutputFile) and, beside a regular file, its
// companion PATH.json with the sensor's identification, the memory, the date and the port.
int WriteBackup(const std::string& path, bool force, int memTarget, const std::array<uint16_t, 30>& words,
                const std::string& port);
