// Moves values between the parameter words and pp, and decodes measurement frames.
#pragma once

#include <cstdint>

void CopyVarsToPP(uint16_t frameSelect);
void CopyPPtoVars(uint16_t frameSelect);
void CopyPPtoRAWVars();
