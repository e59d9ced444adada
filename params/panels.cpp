// The panel handles and the program's folder.
#include "params/panels.h"

int pHandle = 0;
int pPara1 = 0;
int pPara2 = 0;
int pRec = 0;
int pCalib = 0;

std::string proj_dir;
