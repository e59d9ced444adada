// The program's start values, set once at start-up before the port is opened.
#pragma once

void InitVars();
