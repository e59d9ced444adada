// Files and sensor memory: parameter file, data recorder, linearisation table and X-FLASH.
#pragma once

#include <cstdint>
#include <string>

#include "platform/userint.h"  // KRYTA_CB

extern std::string file_name;  // last chosen parameter or linearisation file
extern std::string rec_fname;  // the recorder's file name

// parameter file
void SendParaToFile();
// Loads a parameter file the operator chooses into the parameter words: 1 when it loaded.
int ReadParaFromFile();

// data recorder
KRYTA_CB(CC_CMDBTNrecfile);
KRYTA_CB(CC_CBTNStartRecord);
KRYTA_CB(CC_CBTNStopRecord);
KRYTA_CB(CC_NUMsample);
KRYTA_CB(CC_NUMinctime);
void writeFileHeader();
void CalcRecTime(int32_t seconds);

// linearisation table and X-FLASH
KRYTA_CB(CC_WriteXFLASH);
KRYTA_CB(CC_ReadXFLASH);
int ReadLinDataFromFile();
int ClearXFLASH();
void WriteXFLASH(uint16_t offset, uint16_t page);
