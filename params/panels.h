// Which loaded panel is which, and the program's folder. The shell loads the panels and fills
// these at start-up; the parts below the shell read them.
#pragma once

#include <string>

extern int pHandle;  // main panel, resource 2
extern int pPara1;   // parameter page 1, resource 3
extern int pPara2;   // parameter page 2, resource 4
extern int pRec;     // recorder page, resource 5
extern int pCalib;   // calibration page, resource 1

extern std::string proj_dir;  // the directory that holds the program (the home folder when the
                              // program's own is not writable, as when installed)
