// The program's entry: everything happens in WinMain.
#include "app/app.h"

int main(int argc, char** argv) { return WinMain(argc, argv); }
