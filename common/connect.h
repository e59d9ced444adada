// The sensor as kryta-lt's commands reach it: the port that -p names, the connection as the
// window's connect sequence makes it, the texts of exchanges that did not succeed, and the
// parameter set as 30 words (frame 0 then frame 1), read once or until two reads agree.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/common.h"

// What the connection to the sensor reached.
enum class Reach { Line, Identified, Parameters };
// Opens the port of -p, checks the line and asks for the identification; with Parameters also
// reads both RAM frames, as the window's connect sequence does. kExitOk or the failure's code
// (printed). An unidentified sensor is reported as a warning unless `mustIdentify`.
int Connect(const Args& a, Reach reach, bool mustIdentify);
// Connect's first steps without a word on standard error, for trying a port: the open, the echo
// check and the identification. kExitOk when a sensor is identified (the line stays open), else
// the failure's code and in `found` why: "silent", "in use by NAME (pid N)" (the port left
// alone), "cannot open: ..."
int Probe(const Args& a, std::string& found);
// Whether a scan (scan, backup DIR, gateway --scan) tries the machine's serial device `device`
// unasked: not a built-in port (/dev/ttyS*), which may be a console or wired to other equipment;
// a port that KRYTA_COM<n> names is tried whatever its device.
bool ScannedUnasked(const std::string& device);
// The device that -p stands for ("port N" when the number names none).
std::string PortDevice(const Args& a);
// The device the sub-command talks to, as its messages name it (set by Connect and Probe).
const std::string& ShownDevice();
// Exit code and message of an exchange that did not succeed: `what` tells what was asked.
int ExchangeFailed(const std::string& what);
// As ExchangeFailed, but the text (without its hint) is given back instead of printed.
int ExchangeFailedText(const std::string& what, std::string& text);
// The sensor's firmware text, as info shows it: kExitOk, with "" and a warning on standard error
// when it did not come, or the failure's code (printed) when the line went away.
int ReadFirmwareText(std::string& text);
// Reads both parameter frames of the sensor's RAM or EEPROM: the 30 words, frame 0 then frame 1.
int ReadSet(int memTarget, std::array<uint16_t, 30>& words);
// Reads the set until two reads agree word for word, at most three times; a read that fails
// counts as one. kExitOk, or the failure's code (printed): kExitRefused when the reads disagree.
// A Ctrl-C ends it after the read in progress unless `holdInterruption`.
int ReadConfirmedSet(int memTarget, std::array<uint16_t, 30>& words, bool holdInterruption = false);
// As ReadConfirmedSet, but the failure's text (without its hint) is given back instead of printed.
int ReadConfirmedSetText(int memTarget, std::array<uint16_t, 30>& words, std::string& text);
// Puts 30 words, frame 0 then frame 1, into the sensor's variant's block and the extension words.
void LoadSet(const std::array<uint16_t, 30>& words);
// The 30 words of the parameter words in frame order.
std::array<uint16_t, 30> StoredSet();
