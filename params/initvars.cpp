// Every variable at its start value, and the controls' initial values in the standard block.
#include "params/initvars.h"

#include "link/com232.h"
#include "params/origin.h"
#include "params/status.h"
#include "params/panel.h"
#include "params/panels.h"
#include "platform/userint.h"
#include "sensor/vars.h"

void InitVars() {
    // 1, 2: the parameter words, the state and the identification as before any sensor answered
    SetStartValues();
    com = 1;
    graph_flag = 0;
    ident_flag = 0;
    PagesFromStartValues();

    // 3. texts (the shell draws the header after this)
    szStatus = "InitVars";
    ShowStatus(szStatus);
    szSoftVersion = "Version 3.09";
    szSoftName = "KRYTA-LT-Scope";

    // 5. pages
    for (int page : {pPara1, pPara2, pRec, pCalib}) SetPanelPos(page, 105, 8);

    // 6. the standard block takes the controls' initial values
    GetPanelValues();

    // 7. edge graph
    DeleteGraphPlot(pHandle, PANEL_GRAPHVideoBar, VAL_DELETE_ALL);
    SetGraphCursor(pHandle, PANEL_GRAPHVideoBar, 1, parameter[9], 1.0);
    SetGraphCursor(pHandle, PANEL_GRAPHVideoBar, 2, parameter[7], 1.0);
    SetGraphCursor(pHandle, PANEL_GRAPHVideoBar, 3, parameter[8], 1.0);
    const double sp = parameter[9], tl = parameter[10];
    PlotRectangle(pHandle, PANEL_GRAPHVideoBar, sp - tl, 0.0, sp + tl, 0.25, 0x00FF00, 0x00FF00);

    // 8. series (the threshold line after the controls gave word 17); 9. the table is clear
    FillLine(thdArray, uint16_t(int32_t(ADCMAX) * parameter[17] / 100));
}
