// record/: the commissioning record of a sensor.
//   report.cpp      kryta-lt report: who the sensor is, both memories (confirmed), the video signal
//                   and the trigger buffer, N measurement frames at the line's pace, their
//                   statistics and the type-1 gauge study, as one JSON object (the record)
//   window.h        the tolerance window of the frame just decoded, as the window's displays test it
//   report_pdf.cpp  kryta-lt-report, a program of its own: draws the record as a PDF, so that
//                   kryta-lt links nothing of Qt Gui; kryta-lt report runs it from beside itself
// It stands on common/ (connect, confirmed reads, JSON, output files) and on the sensor core.
#pragma once

#include "common/common.h"

int CmdReport(const Args& a);
